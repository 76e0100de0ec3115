// The per-user component registry: keys ("CLSID\{...}\InprocServer32") holding
// named text values ("" is the key's default value), kept in one text file.
// Its location is $VORELAN_COMPONENT_REGISTRY if set, else
// $XDG_DATA_HOME/vorelan/components.reg (XDG_DATA_HOME defaulting to
// ~/.local/share, the home folder taken from the user database when HOME is
// unset); never a shared folder.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>

#include "ComTypes.h"

class COMRT_API ComponentRegistry {
 public:
  // Key and value names compare without regard to letter case, like the platform's registry.
  struct NoCase {
    bool operator()(const std::string& a, const std::string& b) const;
  };
  using Values = std::map<std::string, std::string, NoCase>;
  using Keys = std::map<std::string, Values, NoCase>;

  // A larger file is not read: it is no registry of ours.
  static constexpr std::size_t kMaxFileSize = 1 << 20;

  // Empty when no home folder is known.
  static std::string Path();

  // Reads the whole registry (empty when the file does not exist, or is no
  // regular file of at most kMaxFileSize bytes, which `error` then names).
  static ComponentRegistry Load(std::string* error = nullptr);
  // Reads, lets `change` edit and writes back, under an exclusive file lock so
  // that concurrent registrations (parallel build steps) do not lose each
  // other's keys. The file is replaced atomically. False with a message on failure.
  static bool Edit(const std::function<void(ComponentRegistry&)>& change, std::string* error);

  std::optional<std::string> Get(const std::string& key, const std::string& name = "") const;
  void Set(const std::string& key, const std::string& name, const std::string& value);
  // Removes the key and every key below it.
  void DeleteTree(const std::string& key);
  const Keys& keys() const { return keys_; }

  std::string Serialize() const;
  static ComponentRegistry Parse(const std::string& text);

 private:
  Keys keys_;
};
