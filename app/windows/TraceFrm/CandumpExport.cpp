#include "CandumpExport.h"

#include <string>

#include "AppError.h"
#include "CandumpLine.h"
#include "WholeFileWriter.h"

namespace CandumpExport {
namespace {

constexpr std::size_t kChunk = 64 * 1024;  // bytes handed to the file at once

[[noreturn]] void Fail(const QString& path) {
  throw EAppError(TWholeFileWriter::failureMessage(path).toStdString());
}

void Flush(TWholeFileWriter& file, std::string& chunk, const QString& path) {
  if (chunk.empty()) return;
  if (!file.write(chunk.data(), static_cast<qint64>(chunk.size()))) Fail(path);
  chunk.clear();
}

}  // namespace

Result Write(const QString& path, const std::vector<TTraceLine>& lines, const std::vector<TTraceListing>& listings) {
  TWholeFileWriter file(path);
  if (!file.open()) Fail(path);

  Result result;
  std::string chunk;
  chunk.reserve(kChunk + 64);
  for (std::size_t k = 0; k < lines.size(); ++k) {
    const TTraceListing listing = k < listings.size() ? listings[k] : TTraceListing{};
    const std::optional<Candump::Frame> frame = Candump::FrameOf(lines[k], listing.remote);
    if (!frame) {
      if (result.leftOut++ == 0) result.firstLeftOut = k + 1;
      continue;
    }
    Candump::AppendLine(chunk, listing.listed, *frame);
    ++result.written;
    if (chunk.size() >= kChunk) Flush(file, chunk, path);
  }
  Flush(file, chunk, path);
  if (!file.commit()) Fail(path);  // an unfinished writer removes its temporary file
  return result;
}

QString DialogFilter() {
  return QStringLiteral("candump log (*.log)|*.log|All (*.*)|*.*");
}

QString LeftOutMessage(const Result& result, const QString& path) {
  if (result.leftOut == 0) return {};
  if (result.leftOut == 1)
    return QStringLiteral("Line %1 of the trace is not a CAN frame and was left out of %2")
        .arg(result.firstLeftOut)
        .arg(path);
  return QStringLiteral("%1 lines of the trace are not CAN frames (the first is line %2) and were left out of %3")
      .arg(result.leftOut)
      .arg(result.firstLeftOut)
      .arg(path);
}

}  // namespace CandumpExport
