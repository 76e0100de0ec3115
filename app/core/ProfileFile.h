#pragma once

#include <QByteArray>
#include <QString>

#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

// A failed save (message "Unable to write to " + file name) or a name or value
// that a profile file cannot hold.
class EProfileFile : public std::runtime_error {
 public:
  explicit EProfileFile(const QString& message);
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
// Loading, reading and saving cost time linear in the file's size, and a
// loaded file holds memory in proportion to it: its bytes, and for each
// section header and key line (the first of its name) 17 to 23 bytes of
// index, for no other line. A file of nothing but short keys ("k1=") takes
// at most about six times its size; one of empty lines or comments, its size.
//
// Threads: an object is used by one thread at a time.
class TProfileFile {
 public:
  static constexpr int kMaxValueLength = 2047;
  // A larger file is not loaded: it reads as empty and refuses to be saved.
  static constexpr qsizetype kMaxFileSize = 256 * 1024 * 1024;

  // Loads the file. A file that does not exist is an empty profile and is
  // created by save(). A file that exists but cannot be read (no permission, a
  // directory, a device, too large) reads as empty; save() then fails rather than
  // replace content it never saw.
  explicit TProfileFile(const QString& path);

  QString path() const { return path_; }
  // Empty when the file was loaded or did not exist; else why it could not be read.
  QString loadError() const { return loadError_; }
  bool isModified() const { return modified_; }

  QString readString(const QString& section, const QString& key, const QString& defaultValue) const;
  qint32 readInt(const QString& section, const QString& key, qint32 defaultValue) const;
  bool contains(const QString& section, const QString& key) const;

  // Throw EProfileFile for a name or value the file format cannot hold:
  // an empty name, a line break anywhere, '=' or a leading '[' or ';' in a key,
  // ']' in a section name, blanks at the ends of a name.
  void writeString(const QString& section, const QString& key, const QString& value);
  void writeInt(const QString& section, const QString& key, qint32 value);  // in decimal

  // Writes the file if anything changed or the file does not exist yet.
  // Throws EProfileFile("Unable to write to " + path) on failure.
  void save();

  // The file as save() would write it.
  QByteArray contents() const;

 private:
  enum class Eol : quint8 { None, Lf, CrLf, Cr };

  // A line is named by a reference: a line of the file as loaded by the
  // offset where it starts in data_ (>= 0), a line of ours by ~index into
  // added_ (< 0). Only section headers and key lines are ever named: the
  // index holds nothing for any other line (an empty line, a comment).
  using LineRef = qint32;

  struct Section {
    LineRef header;
    // The loaded line after which new keys go (its last key line, else its
    // header); -1 for a section of ours, whose new keys follow its header.
    qint32 anchor;
    quint32 hash;  // of its folded name
  };
  // The first key of each name in a section (the one that counts).
  struct Key {
    qint32 section;
    LineRef line;
    quint32 hash;  // of the section and the folded name
  };

  // An open-addressing hash table of entry numbers (into sections_ or keys_),
  // 4 bytes a slot, at most three quarters full; the names are compared
  // through the entries' lines, so the index holds no copy of any name.
  class EntryTable {
   public:
    // The entry with this hash that `matches`, or -1.
    template <typename Matches>
    qint32 find(quint32 hash, const Matches& matches) const;
    // Adds an entry; `hashOf(entry)` gives the hash of any entry held.
    template <typename HashOf>
    void add(quint32 hash, qint32 entry, const HashOf& hashOf);

   private:
    void place(quint32 hash, qint32 slot);

    std::vector<qint32> slots_;  // entry + 1; 0 for a free slot
    qsizetype count_ = 0;
  };

  void parse();
  // A line's bytes without its line end.
  std::string_view lineAt(LineRef line) const;
  std::string_view sectionNameAt(LineRef line) const;
  std::string_view keyNameAt(LineRef line) const;
  qint32 findSection(const std::string& folded, quint32 hash) const;
  qint32 findKey(qint32 section, const std::string& folded, quint32 hash) const;
  // The entry in keys_ of a key, or -1.
  qint32 keyEntry(const QString& section, const QString& key) const;
  qint32 addSection(LineRef header, qint32 anchor, quint32 hash);
  void addKey(qint32 section, LineRef line, quint32 hash);
  LineRef addLine(const QByteArray& text);
  static quint32 hashName(const std::string& folded);
  static quint32 keyHash(qint32 section, quint32 nameHash);
  // Names as the index compares them: folded to one letter case, as UTF-8
  // (short names need no heap memory).
  static std::string foldName(std::string_view name);
  static std::string foldName(const QString& name);
  static bool sameName(std::string_view name, const std::string& folded);
  qint32 sectionIndex(const QString& section) const;

  QString path_;
  QString loadError_;
  bool fileExists_ = false;
  bool modified_ = false;

  QByteArray data_;  // the file as loaded
  Eol style_ = Eol::Lf;

  std::vector<Section> sections_;
  std::vector<Key> keys_;
  EntryTable sectionTable_;
  EntryTable keyTable_;

  // What was written: the text of every line of ours, the loaded lines it
  // replaces (offset, line of ours), the new keys of each section in order,
  // and the sections of ours in the order they were made (after the file).
  std::vector<QByteArray> added_;
  std::vector<std::pair<qint32, qint32>> rewritten_;
  std::unordered_map<qint32, std::vector<qint32>> newKeys_;
  std::vector<qint32> newSections_;

  // The section found last: callers read and write one section's keys in a
  // row. Section indexes never change, so the entry never goes stale.
  mutable QString lastSection_;
  mutable qint32 lastSectionIndex_ = -1;
};
