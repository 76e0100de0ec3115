#include "PortMap.h"

#include <strings.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "PortMapFile.h"

namespace {

std::string_view Trim(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

// The port number of a name "COM<n>" (any letter case), or -1.
int PortOfName(std::string_view name) {
  if (name.size() < 4 || strncasecmp(name.data(), "com", 3) != 0) return -1;
  int value = 0;
  for (char c : name.substr(3)) {
    if (c < '0' || c > '9' || value > 100000) return -1;
    value = value * 10 + (c - '0');
  }
  return value;
}

}  // namespace

std::string FindPortMapEntry(std::string_view mapText, int portNumber) {
  while (!mapText.empty()) {
    const std::size_t end = mapText.find('\n');
    std::string_view line = Trim(mapText.substr(0, end));
    mapText = end == std::string_view::npos ? std::string_view{} : mapText.substr(end + 1);
    if (line.empty() || line.front() == '#') continue;
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    if (PortOfName(Trim(line.substr(0, equals))) != portNumber) continue;
    const std::string_view path = Trim(line.substr(equals + 1));
    if (!path.empty()) return std::string(path);
  }
  return {};
}

PortDevice ResolvePortDevice(int portNumber) {
  const std::string variable = portmap::kEnvironmentPrefix + std::to_string(portNumber);
  if (const char* path = std::getenv(variable.c_str()); path && *path) return {path, "set by " + variable};

  if (const std::string file = portmap::FilePath(); !file.empty()) {
    std::ifstream in(file, std::ios::binary);
    if (in) {
      std::ostringstream text;
      text << in.rdbuf();
      if (std::string path = FindPortMapEntry(text.str(), portNumber); !path.empty())
        return {path, "from the port map " + file};
    }
  }
  return {portmap::DefaultDevice(portNumber), "the default device of COM" + std::to_string(portNumber)};
}
