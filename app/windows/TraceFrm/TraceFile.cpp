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
const QString kTime = QStringLiteral("Time");

// An upper bound of the file's text lines, whatever its line ends.
qsizetype TextLineBound(const TProfileFile& file) {
  const QByteArray bytes = file.contents();
  return bytes.count('\n') + bytes.count('\r') + 1;
}
}  // namespace

namespace TraceFile {

QString LineSection(int k) {
  return QStringLiteral("Line") + QString::number(k);
}

QString TimeText(std::chrono::system_clock::time_point time) {
  const long long micros = std::chrono::duration_cast<std::chrono::microseconds>(time.time_since_epoch()).count();
  return QStringLiteral("%1.%2").arg(micros / 1000000).arg(micros % 1000000, 6, 10, QLatin1Char('0'));
}

std::optional<std::chrono::system_clock::time_point> TimeOf(const QString& text) {
  // Whole seconds since 1970 (at most 12 digits, some 30,000 years), a point
  // and six digits of microseconds.
  const qsizetype point = text.indexOf(QLatin1Char('.'));
  if (point < 1 || point > 12 || text.size() != point + 7) return std::nullopt;
  for (qsizetype i = 0; i < text.size(); ++i)
    if (i != point && !text[i].isDigit()) return std::nullopt;
  const long long seconds = text.left(point).toLongLong();
  const long long micros = text.mid(point + 1).toLongLong();
  return std::chrono::system_clock::time_point(std::chrono::microseconds(seconds * 1000000 + micros));
}

void Write(const std::vector<TTraceLine>& lines, const std::vector<TTraceListing>& listings, TProfileFile& file) {
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
    const std::size_t row = static_cast<std::size_t>(k - 1);
    if (row < listings.size() && listings[row].timed) file.writeString(section, kTime, TimeText(listings[row].listed));
  }
}

Contents Read(const TProfileFile& file, std::chrono::system_clock::time_point loaded) {
  const qint32 count = file.readInt(kGeneral, kNbLines, 0);
  if (count <= 0) return {};
  const int n =
      count <= kAlwaysHonoured
          ? count
          : static_cast<int>(std::min<qsizetype>(count, std::max<qsizetype>(kAlwaysHonoured, TextLineBound(file))));
  const QString question = QStringLiteral("?");
  const QString zero = QStringLiteral("0");
  Contents contents;
  contents.lines.reserve(static_cast<std::size_t>(n));
  contents.listings.reserve(static_cast<std::size_t>(n));
  for (int k = 1; k <= n; ++k) {
    const QString section = LineSection(k);
    TTraceLine line{file.readString(section, kId, question), file.readString(section, kDlc, zero),
                    file.readString(section, kData, QString()), file.readString(section, kFilter, question),
                    file.readString(section, kBuffer, question)};
    const std::optional<std::chrono::system_clock::time_point> time = TimeOf(file.readString(section, kTime, {}));
    contents.listings.push_back(TTraceListing{time.value_or(loaded), line.isRemote(), time.has_value()});
    contents.lines.push_back(std::move(line));
  }
  return contents;
}

QString DialogFilter() {
  return QStringLiteral("Trace File (*.trc)|*.trc|All (*.*)|*.*");
}

}  // namespace TraceFile
