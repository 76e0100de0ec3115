#include "LibraryTrust.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

// Why `path` (of this status) is not safe, or "" when it is. `aboveTheFile`:
// a folder higher up than the library's own, where the sticky bit protects
// what the user owns.
std::string Unsafe(const std::string& path, const struct stat& status, bool aboveTheFile) {
  const uid_t user = ::geteuid();
  if (status.st_uid != user && status.st_uid != 0) return path + " belongs to another user";
  const bool sticky = aboveTheFile && S_ISDIR(status.st_mode) && (status.st_mode & S_ISVTX);
  if ((status.st_mode & (S_IWGRP | S_IWOTH)) && !sticky) return path + " may be written by other users";
  return {};
}

}  // namespace

LibraryCheck CheckLibrary(const std::string& path) {
  const auto refused = [&path](const std::string& why) {
    return LibraryCheck{LibraryCheck::Refused, "The component library " + path + " is refused: " + why, {}};
  };
  const auto missing = [&path] {
    return LibraryCheck{LibraryCheck::Missing, "Cannot load " + path + ": " + std::strerror(errno), {}};
  };
  if (path.empty() || path.front() != '/') return refused("its path is not absolute");
  char real[PATH_MAX];
  if (!::realpath(path.c_str(), real)) return missing();
  std::string current = real;
  bool aboveTheFile = false;
  for (int level = 0;; ++level) {
    struct stat status {};
    if (::stat(current.c_str(), &status) != 0) return missing();
    if (std::string why = Unsafe(current, status, aboveTheFile); !why.empty()) return refused(why);
    if (current == "/") break;
    const std::size_t slash = current.find_last_of('/');
    current = slash == 0 ? "/" : current.substr(0, slash);
    aboveTheFile = level >= 1;  // the file (level 0) and its own folder (level 1) have no excuse
  }
  return {LibraryCheck::Trusted, {}, real};
}
