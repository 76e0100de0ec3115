// The type information of the node interfaces, compiled into each node
// library: names, DISPIDs, description strings and parameter directions.
// Registration writes it out; IDispatch and class information serve it.
#pragma once

#include <span>

#include "Interfaces.h"

struct InterfaceDescription {
  IID iid;
  const char* name;
  const char* docString;
  TYPEKIND kind;  // TKIND_INTERFACE for the dual INode, TKIND_DISPATCH for the events
  std::span<const FuncDesc> functions;
};

// What a node library says about itself: its co-class, type library and
// application identities, with their names and descriptions.
struct ServerDescription {
  CLSID clsid;
  const char* coclassName;               // "TavarnelNode"
  const char* classDescription;          // "Tavarnel Class"
  const char* progId;                    // "Tavarnel.Node.1"
  const char* versionIndependentProgId;  // "Tavarnel.Node"
  const char* progIdDescription;         // "TavarnelNode Class"
  GUID libid;
  const char* libName;  // "TavarnelLib"
  const char* libDescription;
  std::uint16_t libMajor, libMinor;
  LCID libLcid;
  GUID appid;
  const char* appName;          // "Tavarnel"
  const char* appExecutable;    // "Tavarnel.EXE", or null when the application has none
  IUnknown* (*createObject)();  // a new node with one reference
};

const InterfaceDescription& INodeDescription();
const InterfaceDescription& INodeEventsDescription();

// ITypeInfo over an interface description (a static object: its reference
// count is fixed, like the platform's cached type information).
ITypeInfo* InterfaceTypeInfo(const InterfaceDescription& description);
// ITypeInfo of a co-class: implements INode (default) and _INodeEvents (default, source).
// A new object with one reference.
ITypeInfo* CoClassTypeInfo(const ServerDescription& server);

// DISPID of an INode operation by name, without regard to letter case; DISPID_UNKNOWN if none.
DISPID FindDispId(const InterfaceDescription& description, std::string_view name);
const FuncDesc* FindFunction(const InterfaceDescription& description, DISPID member);
