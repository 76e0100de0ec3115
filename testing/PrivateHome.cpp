#include "PrivateHome.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

namespace vorelantest {

PrivateHome::PrivateHome() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/vorelan-test-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (!mkdtemp(name.data())) {
    std::fprintf(stderr, "Cannot make a private test folder from %s: %s\n", pattern.c_str(), std::strerror(errno));
    std::exit(2);
  }
  path_ = name.data();
  // mkdtemp makes the folder 0700, which XDG_RUNTIME_DIR requires.
  const struct {
    const char* variable;
    const char* folder;
  } places[] = {{"XDG_CONFIG_HOME", "config"},
                {"XDG_DATA_HOME", "data"},
                {"XDG_CACHE_HOME", "cache"},
                {"XDG_STATE_HOME", "state"},
                {"XDG_RUNTIME_DIR", "runtime"}};
  for (const auto& place : places) {
    const std::string folder = path_ + "/" + place.folder;
    if (mkdir(folder.c_str(), 0700) != 0) {
      std::fprintf(stderr, "Cannot make %s: %s\n", folder.c_str(), std::strerror(errno));
      std::exit(2);
    }
    setenv(place.variable, folder.c_str(), 1);
  }
}

PrivateHome::~PrivateHome() {
  std::error_code error;
  std::filesystem::remove_all(path_, error);
  if (error) std::fprintf(stderr, "Cannot remove %s: %s\n", path_.c_str(), error.message().c_str());
}

}  // namespace vorelantest
