#include "ComponentSetup.h"

#include "ComRuntime.h"
#include "Identities.h"
#include "Registry.h"

#include <cstdlib>
#include <filesystem>

namespace {

std::string classKeyOf(const CLSID& clsid) {
  return "CLSID\\" + GuidToString(clsid) + "\\InprocServer32";
}

}  // namespace

const std::vector<ComponentSetup::NodeLibrary>& ComponentSetup::nodeLibraries() {
  static const std::vector<NodeLibrary> libraries{
      {"librs232.so", classKeyOf(CLSID_RS232Node)},
      {"libtavarnel.so", classKeyOf(CLSID_TavarnelNode)},
  };
  return libraries;
}

std::string ComponentSetup::registeredLibrary(const std::string& classKey) {
  const ComponentRegistry registry = ComponentRegistry::Load();
  return registry.Get(classKey).value_or(std::string());
}

std::vector<std::string> ComponentSetup::registerMissing(const std::string& libraryFolder) {
  std::vector<std::string> failures;
  for (const NodeLibrary& library : nodeLibraries()) {
    const std::string registered = registeredLibrary(library.classKey);
    std::error_code error;
    if (!registered.empty() && std::filesystem::exists(registered, error)) continue;
    const std::filesystem::path candidate = std::filesystem::path(libraryFolder) / library.name;
    if (!std::filesystem::exists(candidate, error))
      continue;  // nothing to register: creating the node reports what is missing
    std::string message;
    const HRESULT status = RegisterServerLibrary(candidate.lexically_normal().string(), false, &message);
    if (FAILED(status)) failures.push_back("Cannot register " + candidate.string() + ": " + message);
  }
  return failures;
}

std::vector<std::string> ComponentSetup::ensureRegistered(const std::string& programFolder) {
  const char* chosen = std::getenv("VORELAN_COMPONENT_REGISTRY");
  if (chosen && *chosen) return {};
  return registerMissing((std::filesystem::path(programFolder) / ".." / "lib").lexically_normal().string());
}
