#include "TraceFile.h"

#include "ProfileFile.h"

#include <algorithm>

namespace {
const QString kGeneral = QStringLiteral("General");
const QString kNbLines = QStringLiteral("NbLines");
const QString kId = QStringLiteral("ID");
const QString kDlc = QStringLiteral("DLC");
const QString kData = QStringLiteral("Data");
const QString kFilter = QStringLiteral("Filter");
const QString kBuffer = QStringLiteral("Buffer");

// An upper bound of the file's text lines, whatever its line ends.
qsizetype TextLineBound(const ProfileFile& file) {
  const QByteArray bytes = file.contents();
  return bytes.count('\n') + bytes.count('\r') + 1;
}
}  // namespace

namespace TraceFile {

QString LineSection(int k) {
  return QStringLiteral("Line") + QString::number(k);
}

void Write(const std::vector<TTraceLine>& lines, ProfileFile& file) {
  const int n = static_cast<int>(lines.size());
  file.writeInt(kGeneral, kNbLines, n);
  for (int k = 1; k <= n; ++k) {
    const TTraceLine& line = lines[static_cast<std::size_t>(k - 1)];
    const QString section = LineSection(k);
    file.writeString(section, kId, line.id);
    file.writeString(section, kDlc, line.dlc);
    file.writeString(section, kData, line.data);
    file.writeString(section, kFilter, line.filter);
    file.writeString(section, kBuffer, line.buffer);
  }
}

std::vector<TTraceLine> Read(const ProfileFile& file) {
  const qint32 count = file.readInt(kGeneral, kNbLines, 0);
  if (count <= 0) return {};
  const int n =
      count <= kAlwaysHonoured
          ? count
          : static_cast<int>(std::min<qsizetype>(count, std::max<qsizetype>(kAlwaysHonoured, TextLineBound(file))));
  const QString question = QStringLiteral("?");
  const QString zero = QStringLiteral("0");
  std::vector<TTraceLine> lines;
  lines.reserve(static_cast<std::size_t>(n));
  for (int k = 1; k <= n; ++k) {
    const QString section = LineSection(k);
    lines.push_back(TTraceLine{file.readString(section, kId, question), file.readString(section, kDlc, zero),
                               file.readString(section, kData, QString()), file.readString(section, kFilter, question),
                               file.readString(section, kBuffer, question)});
  }
  return lines;
}

QString DialogFilter() {
  return QStringLiteral("Trace File (*.trc)|*.trc|All (*.*)|*.*");
}

}  // namespace TraceFile
