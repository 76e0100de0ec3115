// The test driver's requests (TestDriver.h, TestDriverCommands.h): the lines
// cut from what a client sends, each run as a command against a small window
// (a field, a button, a list, a table), its input given as the driver gives
// it.
//
// Input: the bytes a client sends.
//
// Broken when: a line longer than the limit is taken, or the lines taken are
// not the bytes sent; an answer is not one line; a number overflows (UBSan).
// Not run: grab (it writes files), filedialog and menu (they wait for windows
// that never open). Typed text is cut to 64 characters, one key event each.
#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <deque>
#include <memory>

#include "FuzzSupport.h"
#include "GuiFuzzSupport.h"
#include "TestDriver.h"
#include "TestDriverCommands.h"

namespace {

// Made once and never destroyed, as the application object is.
QWidget& Window() {
  static QWidget& window = *[] {
    fuzz::StartOffscreenApplication();
    auto* w = new QWidget;
    w->setObjectName(QStringLiteral("Desk"));
    auto* column = new QVBoxLayout(w);
    auto* field = new QLineEdit(w);
    field->setObjectName(QStringLiteral("Field"));
    auto* button = new QPushButton(QStringLiteral("&Go"), w);
    button->setObjectName(QStringLiteral("Go"));
    auto* list = new QListWidget(w);
    list->setObjectName(QStringLiteral("List"));
    list->addItems({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
    auto* table = new QTableWidget(4, 3, w);
    table->setObjectName(QStringLiteral("Table"));
    for (QWidget* control : std::initializer_list<QWidget*>{field, button, list, table}) column->addWidget(control);
    w->resize(400, 400);
    w->show();
    return w;
  }();
  return window;
}

bool Runs(const QString& command) {
  return command != QLatin1String("grab") && command != QLatin1String("filedialog") && command != QLatin1String("menu");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  QWidget& window = Window();
  const QByteArray sent(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  QByteArray pending = sent;
  std::deque<QString> requests;
  const bool taken = TTestDriver::takeRequests(pending, requests);
  // The lines as the protocol defines them: each ends with a line feed.
  QList<QByteArray> lines = sent.split('\n');
  const QByteArray rest = lines.takeLast();
  bool withinLimit = rest.size() <= TTestDriver::kMaxRequestLength;
  for (const QByteArray& line : lines) withinLimit = withinLimit && line.size() <= TTestDriver::kMaxRequestLength;
  FUZZ_CHECK(taken == withinLimit, "lines are taken exactly when none is longer than the limit");
  if (taken) {
    FUZZ_CHECK(requests.size() == static_cast<std::size_t>(lines.size()) && pending == rest,
               "every complete line is a request, and the rest waits");
    for (std::size_t i = 0; i < requests.size(); ++i)
      FUZZ_CHECK(requests[i] == QString::fromUtf8(lines[static_cast<qsizetype>(i)]), "a request is its line");
  }
  for (const QString& request : requests) {
    QStringList fields = request.split(QLatin1Char('\t'));
    if (!Runs(fields.value(0))) continue;
    for (QString& field : fields) field.truncate(64);
    const TestDriverCommands::Reply reply = TestDriverCommands::run(fields);
    const QString answer = TTestDriver::answerLine(reply);
    FUZZ_CHECK(!answer.contains(u'\n') && !answer.contains(u'\r'), "an answer is one line");
    if (reply.act) reply.act();
    // The next request meets the window as a person left it.
    window.showNormal();
    window.setGeometry(0, 0, 400, 400);
    QApplication::setActiveWindow(&window);
  }
  return 0;
}
