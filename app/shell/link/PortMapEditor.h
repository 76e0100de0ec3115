#pragma once

#include <QString>
#include <QStringList>

#include <map>

// Reading and editing the per-user port map, with the serial node's own parser
// (nodes/rs232/PortMapFile.h, which fixes the format), and finding the serial
// devices of the machine to offer in it.
//
// A map's text is held as one character per byte of the file (Latin-1), so
// that the lines the user does not touch are written back byte for byte,
// whatever their encoding; device paths are file names (QFile::decodeName,
// encodeName) where they meet the dialog.
//
// Threads: GUI thread (file access only; no shared state).
namespace PortMapEditor {

// The map's file, or empty when neither XDG_CONFIG_HOME nor HOME is set.
QString filePath();

// The device the text maps port n to, or empty when it has no entry.
QString entry(const QString& mapText, int port);

// The text with the given ports set (a port whose device is the one the text
// already names is left alone): a port's first line is rewritten in place
// (dropped for an empty device) and its later lines dropped; ports without a
// line get one at the end. Every other line stays as it was. A new text starts
// with a comment saying who wrote it. Throws EAppError for a device the map
// cannot hold (a line end in it).
QString withEntries(const QString& mapText, const std::map<int, QString>& devices);

// Reads the map's text; empty when the file does not exist. Throws EAppError
// when it is no regular file of at most portmap::kMaxFileSize bytes (a FIFO
// or a device is never read) or cannot be read.
QString load(const QString& path);
// Writes the text whole or not at all (WholeFileWriter.h), creating the
// folder. Throws EAppError ("Unable to write to <path>") on failure.
void save(const QString& path, const QString& text);

// The serial devices under devRoot: serial/by-id/* (stable names of USB
// adapters), ttyUSB*, ttyACM* and ttyS*, each group sorted by number.
QStringList findSerialDevices(const QString& devRoot = QStringLiteral("/dev"));

}  // namespace PortMapEditor
