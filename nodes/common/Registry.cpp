#include "Registry.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <strings.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "RegularFile.h"

bool ComponentRegistry::NoCase::operator()(const std::string& a, const std::string& b) const {
  return strcasecmp(a.c_str(), b.c_str()) < 0;
}

std::string ComponentRegistry::Path() {
  if (const char* env = std::getenv("VORELAN_COMPONENT_REGISTRY"); env && *env) return env;
  std::string base;
  // A relative XDG_DATA_HOME is to be ignored (XDG base directory rules).
  if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data == '/') {
    base = data;
  } else {
    std::string home;
    if (const char* env = std::getenv("HOME"); env && *env) {
      home = env;
    } else if (const passwd* user = getpwuid(getuid()); user && user->pw_dir && *user->pw_dir) {
      home = user->pw_dir;
    } else {
      return {};  // never a shared folder such as /tmp, where another user could put a registry first
    }
    base = home + "/.local/share";
  }
  return base + "/vorelan/components.reg";
}

namespace {
std::string Clean(const std::string& text) {
  std::string out = text;
  for (char& c : out)
    if (c == '\n' || c == '\r') c = ' ';
  return out;
}

// Creates every missing folder on the way to `path`'s parent.
bool MakeParents(const std::string& path, std::string* error) {
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
    const std::string dir = path.substr(0, slash);
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
      if (error) *error = "Cannot create folder " + dir + ": " + std::strerror(errno);
      return false;
    }
  }
  return true;
}
}  // namespace

std::string ComponentRegistry::Serialize() const {
  std::string out = "; Component registry: written by vorelan-regsvr and by the node libraries' registration\n";
  for (const auto& [key, values] : keys_) {
    out += "[" + Clean(key) + "]\n";
    for (const auto& [name, value] : values) out += (name.empty() ? "@" : Clean(name)) + "=" + Clean(value) + "\n";
  }
  return out;
}

ComponentRegistry ComponentRegistry::Parse(const std::string& text) {
  ComponentRegistry registry;
  std::istringstream in(text);
  std::string line, key;
  bool inKey = false;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    // A carriage return inside a line is read as the space Serialize writes
    // for it, so that two keys or names differing only there do not become
    // one when the registry is written back.
    for (char& c : line)
      if (c == '\r') c = ' ';
    if (line.empty() || line[0] == ';') continue;
    if (line.front() == '[' && line.back() == ']') {
      key = line.substr(1, line.size() - 2);
      registry.keys_[key];
      inKey = true;
      continue;
    }
    const auto eq = line.find('=');
    if (!inKey || eq == std::string::npos) continue;
    std::string name = line.substr(0, eq);
    if (name == "@") name.clear();
    registry.keys_[key][name] = line.substr(eq + 1);
  }
  return registry;
}

ComponentRegistry ComponentRegistry::Load(std::string* error) {
  const std::string path = Path();
  if (path.empty()) return {};
  std::string why;
  const std::optional<std::string> text = ReadRegularFile(path, kMaxFileSize, &why);
  if (!text) {
    if (error && !why.empty()) *error = "Cannot read component registry: " + why;
    return {};
  }
  return Parse(*text);
}

bool ComponentRegistry::Edit(const std::function<void(ComponentRegistry&)>& change, std::string* error) {
  const std::string path = Path();
  if (path.empty()) {
    if (error) *error = "No place for the component registry: neither XDG_DATA_HOME nor a home folder is known";
    return false;
  }
  if (!MakeParents(path, error)) return false;
  const std::string lockPath = path + ".lock";
  const int lockFd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (lockFd < 0) {
    if (error) *error = "Cannot lock component registry " + lockPath + ": " + std::strerror(errno);
    return false;
  }
  // Blocks until any other registration has finished.
  while (flock(lockFd, LOCK_EX) != 0 && errno == EINTR) {
  }
  std::string readError;
  ComponentRegistry registry = Load(&readError);
  bool ok = readError.empty();
  if (!ok && error) *error = readError;
  if (ok) {
    change(registry);
    const std::string temp = path + ".tmp." + std::to_string(getpid());
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out << registry.Serialize();
    out.close();
    if (!out || std::rename(temp.c_str(), path.c_str()) != 0) {
      if (error) *error = "Unable to write to " + path + ": " + std::strerror(errno);
      std::remove(temp.c_str());
      ok = false;
    }
  }
  flock(lockFd, LOCK_UN);
  close(lockFd);
  return ok;
}

std::optional<std::string> ComponentRegistry::Get(const std::string& key, const std::string& name) const {
  const auto k = keys_.find(key);
  if (k == keys_.end()) return std::nullopt;
  const auto v = k->second.find(name);
  if (v == k->second.end()) return std::nullopt;
  return v->second;
}

void ComponentRegistry::Set(const std::string& key, const std::string& name, const std::string& value) {
  keys_[key][name] = value;
}

void ComponentRegistry::DeleteTree(const std::string& key) {
  const std::string prefix = key + "\\";
  for (auto it = keys_.begin(); it != keys_.end();) {
    if (strcasecmp(it->first.c_str(), key.c_str()) == 0 ||
        (it->first.size() > prefix.size() && strncasecmp(it->first.c_str(), prefix.c_str(), prefix.size()) == 0))
      it = keys_.erase(it);
    else
      ++it;
  }
}
