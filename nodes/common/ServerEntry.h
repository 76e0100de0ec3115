// The four entry points of an in-process server library, built from the
// library's ServerDescription. A node library exports them with
// DEFINE_NODE_SERVER_ENTRY_POINTS(itsDescription).
#pragma once

#include "NodeTypeInfo.h"

// Live objects and factory locks of this library, for DllCanUnloadNow.
void ServerObjectCreated();
void ServerObjectDestroyed();

HRESULT ServerGetClassObject(const ServerDescription& server, REFCLSID clsid, REFIID riid, void** object);
HRESULT ServerCanUnloadNow();
// Writes the class, its programmatic identifiers, the application, the type
// library and the interfaces with their type information into the component
// registry, with this library's own path.
HRESULT ServerRegister(const ServerDescription& server);
HRESULT ServerUnregister(const ServerDescription& server);

#define NODE_SERVER_EXPORT extern "C" __attribute__((visibility("default")))
#define DEFINE_NODE_SERVER_ENTRY_POINTS(description)                                         \
  NODE_SERVER_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** object) { \
    return ServerGetClassObject(description, clsid, riid, object);                           \
  }                                                                                          \
  NODE_SERVER_EXPORT HRESULT DllCanUnloadNow() {                                             \
    return ServerCanUnloadNow();                                                             \
  }                                                                                          \
  NODE_SERVER_EXPORT HRESULT DllRegisterServer() {                                           \
    return ServerRegister(description);                                                      \
  }                                                                                          \
  NODE_SERVER_EXPORT HRESULT DllUnregisterServer() {                                         \
    return ServerUnregister(description);                                                    \
  }
