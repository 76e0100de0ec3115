#include "ComponentSetup.h"

#include "ComRuntime.h"
#include "Identities.h"
#include "LibraryTrust.h"

#include <cstdlib>
#include <filesystem>

const std::vector<ComponentSetup::NodeLibrary>& ComponentSetup::nodeLibraries() {
  static const std::vector<NodeLibrary> libraries{
      {"librs232.so", CLSID_RS232Node},
      {"libtavarnel.so", CLSID_TavarnelNode},
  };
  return libraries;
}

std::vector<std::string> ComponentSetup::ensureRegistered(const std::string& programFolder) {
  const char* chosen = std::getenv("VORELAN_COMPONENT_REGISTRY");
  if (chosen && *chosen) return {};
  const std::filesystem::path folder = (std::filesystem::path(programFolder) / ".." / "lib").lexically_normal();
  std::vector<std::string> unusable;
  for (const NodeLibrary& library : nodeLibraries()) {
    const std::string path = (folder / library.name).string();
    PinClassLibrary(library.clsid, path);
    if (const LibraryCheck check = CheckLibrary(path); check.verdict != LibraryCheck::Trusted)
      unusable.push_back(check.message);
  }
  return unusable;
}

std::string ComponentSetup::programFolder(const char* argv0) {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) return self.parent_path().string();
  return std::filesystem::absolute(argv0, error).parent_path().string();
}
