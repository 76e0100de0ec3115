// The profile-file reader on arbitrary bytes: register files (.rgr), trace
// files (.trc) and anything else a user may open as one.
//
// Input: the file's bytes. Every section and key the bytes seem to name is
// looked up, as text, as an integer, and in the other letter case.
//
// Broken when: the loaded file does not reproduce its bytes exactly; a value
// holds a line break or more than kMaxValueLength characters; a name matches
// in one letter case but not in another; a missing key does not give the
// default; an integer differs from the decimal / 0x reading of its text.
#include <QString>

#include "ProfileFile.h"
#include "ProfileFuzzSupport.h"

namespace {

void CheckKey(const TProfileFile& file, const QString& section, const QString& key) {
  static const QString kDefault = QStringLiteral("\n(default)");  // no value can hold a line break
  const QString value = file.readString(section, key, kDefault);
  const bool present = file.contains(section, key);
  FUZZ_CHECK(present == (value != kDefault), "contains() agrees with readString()");
  FUZZ_CHECK(file.readString(fuzz::FlipCase(section), fuzz::FlipCase(key), kDefault) == value,
             "names match in any letter case");
  if (!present) {
    FUZZ_CHECK(file.readInt(section, key, -7) == -7, "a missing integer gives the default");
    return;
  }
  FUZZ_CHECK(value.size() <= TProfileFile::kMaxValueLength, "a value is cut at the length limit");
  FUZZ_CHECK(!value.contains(u'\n') && !value.contains(u'\r'), "a value ends at its line");
  const std::optional<std::int32_t> expected = fuzz::ExpectedInt(value);
  const std::int32_t first = file.readInt(section, key, 11);
  const std::int32_t second = file.readInt(section, key, -13);
  if (expected) {
    FUZZ_CHECK(first == *expected && second == *expected, "an integer reads as its text says");
  } else {
    FUZZ_CHECK(first == 11 && second == -13, "an unreadable integer gives the default");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const QString path = fuzz::ScratchFile("read.ini");
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  fuzz::WriteFile(path, bytes);
  const TProfileFile file(path);
  FUZZ_CHECK(file.loadError().isEmpty(), "a regular file loads");
  FUZZ_CHECK(!file.isModified(), "loading changes nothing");
  FUZZ_CHECK(file.contents() == bytes, "the file reads back byte for byte");

  const fuzz::Names names = fuzz::HarvestNames(bytes);
  for (const QString& section : names.sections)
    for (const QString& key : names.keys) CheckKey(file, section, key);
  // A key looked up in a section the file does not have.
  if (!names.keys.isEmpty()) CheckKey(file, QStringLiteral("\x01no such section"), names.keys.front());
  return 0;
}
