// What the fuzz targets share: a check that stops the run with a message
// (libFuzzer then saves the input that broke it), splitting an input into
// its parts, and a private scratch folder for targets that work on files.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

// Stops the run when `condition` is false: the invariant it names was broken.
#define FUZZ_CHECK(condition, what)                                                           \
  do {                                                                                        \
    if (!(condition)) {                                                                       \
      std::fprintf(stderr, "%s:%d: broken: %s (%s)\n", __FILE__, __LINE__, what, #condition); \
      std::abort();                                                                           \
    }                                                                                         \
  } while (false)

namespace fuzz {

inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// The parts of `text` between the separators (an empty text is one empty part).
inline std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  for (;;) {
    const std::size_t at = text.find(separator);
    parts.push_back(text.substr(0, at));
    if (at == std::string_view::npos) return parts;
    text.remove_prefix(at + 1);
  }
}

// A folder of this process's own, removed when the process ends.
inline const std::filesystem::path& ScratchFolder() {
  struct Folder {
    std::filesystem::path path;
    Folder() {
      const std::filesystem::path base =
          std::filesystem::exists("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path();
      path = base / ("vorelan-fuzz-" + std::to_string(::getpid()));
      std::filesystem::create_directories(path);
    }
    ~Folder() {
      std::error_code ignored;
      std::filesystem::remove_all(path, ignored);
    }
  };
  static const Folder folder;
  return folder.path;
}

}  // namespace fuzz
