// The component registry file (Registry.h) on arbitrary bytes: a user's
// registry, or whatever stands in its place, may hold anything.
//
// Input: the file's text.
//
// Broken when: a key, name or value read spans lines; a value listed is not
// found by its key and name, in either letter case; the registry written out
// does not read back as written.
#include <string>

#include "FuzzSupport.h"
#include "Registry.h"

namespace {

std::string FlipCase(std::string text) {
  for (char& c : text)
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) c = static_cast<char>(c ^ 0x20);
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const ComponentRegistry read = ComponentRegistry::Parse(std::string(fuzz::AsText(data, size)));
  for (const auto& [key, values] : read.keys()) {
    FUZZ_CHECK(key.find('\n') == std::string::npos, "a key is one line");
    for (const auto& [name, value] : values) {
      FUZZ_CHECK((name + value).find('\n') == std::string::npos, "a value is one line");
      FUZZ_CHECK(read.Get(key, name) == value, "a value is found by its key and name");
      FUZZ_CHECK(read.Get(FlipCase(key), FlipCase(name)) == value, "in either letter case");
    }
  }
  const std::string written = read.Serialize();
  const ComponentRegistry again = ComponentRegistry::Parse(written);
  FUZZ_CHECK(again.Serialize() == written, "the registry written out reads back as written");
  FUZZ_CHECK(again.keys().size() == read.keys().size(), "writing keeps every key");
  return 0;
}
