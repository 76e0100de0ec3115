#include "HelpIndex.h"

#include <QFile>
#include <QRegularExpression>

namespace {

const QString kPagesMarker = QStringLiteral("<!--tool windows: pages-->");
const QString kKeysMarker = QStringLiteral("<!--tool windows: keys-->");

QString compiledPage(const QString& page) {
  QFile file(QStringLiteral(":/help/") + page);
  return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QString firstCapture(const QString& html, const QRegularExpression& pattern) {
  return pattern.match(html).captured(1).trimmed();
}

}  // namespace

QString HelpIndex::fillIn(const QString& indexHtml, const ToolWindowTable& table) {
  static const QRegularExpression title(QStringLiteral("<title>([^<]*)</title>"),
                                        QRegularExpression::CaseInsensitiveOption);
  static const QRegularExpression description(QStringLiteral(R"re(<meta\s+name="description"\s+content="([^"]*)")re"),
                                              QRegularExpression::CaseInsensitiveOption);
  QString pages, keys;
  for (const TToolWindowEntry& tool : table) {
    const QString page = compiledPage(tool.helpPage);
    const QString name = firstCapture(page, title);
    pages += QStringLiteral("<tr><td><a href=\"%1\">%2</a></td><td>%3</td></tr>\n")
                 .arg(tool.helpPage, name, firstCapture(page, description));
    if (!tool.shortcut.isEmpty())
      keys += QStringLiteral("<tr><td>%1</td><td>%2</td></tr>\n")
                  .arg(tool.shortcut.toString(QKeySequence::PortableText).toHtmlEscaped(), name);
  }
  QString html = indexHtml;
  html.replace(kPagesMarker + QLatin1Char('\n'), pages);
  html.replace(kKeysMarker + QLatin1Char('\n'), keys);
  return html;
}
