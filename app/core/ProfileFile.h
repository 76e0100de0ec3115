#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

// A failed save (message "Unable to write to " + file name) or a name or value
// that a profile file cannot hold.
class ProfileFileError : public std::runtime_error {
 public:
  explicit ProfileFileError(const QString& message);
  QString message() const { return QString::fromStdString(what()); }
};

// A sectioned text file of register files (.rgr) and trace files (.trc):
//
//   [Section]
//   Key=Value
//
// Reading: LF, CRLF or CR line ends; section and key names are matched without
// regard to letter case; blanks around names and values are trimmed and one
// surrounding pair of double or single quotes is taken off a value; ';' starts a
// comment only as the first character of a line (after blanks); a line without
// '=' holds no key; of duplicate sections or keys the first one counts; a value
// reads at most 2047 characters. A missing value gives the caller's default, and
// so does an integer that is neither decimal nor "0x"/"0X" hexadecimal.
//
// Writing: a changed key is rewritten on its own line, a new key goes after the
// last key of its section, a new section at the end of the file. Every other line
// keeps its bytes and its line end; new lines take the file's line-end style (LF
// for a new file; CR LF where a lone CR would join the LF of an empty line after
// it). Changes stay in memory until save(), which replaces the file
// atomically (temporary file, then rename, keeping the file's mode), so a failed
// save leaves the previous file whole. A value that would not read back as
// written (blanks at its ends, or quotes around it) is written between double
// quotes.
//
// Loading, reading and saving cost time linear in the file's size.
//
// Threads: an object is used by one thread at a time.
class ProfileFile {
 public:
  static constexpr int kMaxValueLength = 2047;
  // A larger file is not loaded: it reads as empty and refuses to be saved.
  static constexpr qsizetype kMaxFileSize = 256 * 1024 * 1024;

  // Loads the file. A file that does not exist is an empty profile and is
  // created by save(). A file that exists but cannot be read (no permission, a
  // directory, a device, too large) reads as empty; save() then fails rather than
  // replace content it never saw.
  explicit ProfileFile(const QString& path);

  QString path() const { return path_; }
  // Empty when the file was loaded or did not exist; else why it could not be read.
  QString loadError() const { return loadError_; }
  bool isModified() const { return modified_; }

  QString readString(const QString& section, const QString& key, const QString& defaultValue) const;
  qint32 readInt(const QString& section, const QString& key, qint32 defaultValue) const;
  bool contains(const QString& section, const QString& key) const;

  // Throw ProfileFileError for a name or value the file format cannot hold:
  // an empty name, a line break anywhere, '=' or a leading '[' or ';' in a key,
  // ']' in a section name, blanks at the ends of a name.
  void writeString(const QString& section, const QString& key, const QString& value);
  void writeInt(const QString& section, const QString& key, qint32 value);  // in decimal

  // Writes the file if anything changed or the file does not exist yet.
  // Throws ProfileFileError("Unable to write to " + path) on failure.
  void save();

  // The file as save() would write it.
  QByteArray contents() const;

 private:
  enum class Eol : quint8 { None, Lf, CrLf, Cr };

  // One line of the file, in a singly linked list so that inserting a line
  // costs O(1). An unchanged line refers to its bytes in data_; a rewritten
  // or new line holds its text in ownText_.
  struct Line {
    qsizetype start = 0;
    qsizetype length = 0;
    int ownText = -1;  // index into ownText_, or -1
    int next = -1;
    Eol eol = Eol::None;
  };

  // A section's keys, the first of each name only. A section holds few keys
  // as a rule, and scanning a short list beats a hash lookup; one that grows
  // beyond kScanLimit keys gets a hash, so that no file costs more than linear
  // time.
  class SectionKeys {
   public:
    static constexpr size_t kScanLimit = 16;
    int find(const std::string& foldedKey) const;
    // Adds the key unless it is there; returns its line either way.
    int add(std::string&& foldedKey, int line);

   private:
    std::vector<std::pair<std::string, int>> list_;
    std::unique_ptr<std::unordered_map<std::string, int>> hash_;
  };

  struct Section {
    int lastLine;  // the header or the last key line: new keys go after it
    SectionKeys keys;
  };

  void parse();
  QByteArray lineText(int line) const;
  int findKeyLine(const QString& section, const QString& key) const;
  int insertLineAfter(int after, const QByteArray& text);
  void setLineText(int line, const QByteArray& text);
  // Names as the index compares them: folded to one letter case, as UTF-8
  // (short names need no heap memory).
  static std::string foldName(const char* data, qsizetype size);
  static std::string foldName(const QString& name);
  int sectionIndex(const QString& section) const;

  QString path_;
  QString loadError_;
  bool fileExists_ = false;
  bool modified_ = false;

  QByteArray data_;  // the file as loaded
  std::vector<Line> lines_;
  std::vector<QByteArray> ownText_;
  int head_ = -1;
  int tail_ = -1;
  Eol style_ = Eol::Lf;

  std::vector<Section> sections_;
  std::unordered_map<std::string, int> sectionIds_;  // folded section name -> index in sections_
  // The section found last: callers read and write one section's keys in a
  // row. Section indexes never change, so the entry never goes stale.
  mutable QString lastSection_;
  mutable int lastSectionIndex_ = -1;
};
