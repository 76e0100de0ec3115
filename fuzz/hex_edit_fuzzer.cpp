// The hex edit's input filter: what typed, pasted, dropped, composed or
// programmatically set text becomes in a THexEdit, on the offscreen platform.
//
// Input: the digit count (first byte, taken into 1..16), then operations
// separated by NUL bytes, each a code and its payload:
//   t<text>  typed, one key per character     p<text>  pasted with Ctrl+V
//   d<x><text> dropped at x                    i<text>  committed by an input method
//   s<text>  setText                           n<d><text> normalizedText alone, d digits
//   v<8 bytes> setValue                        g<d>     setDigits
//   k<i>     a key of the editing keys below   c<a><b>  setSelection(a, b - a)
//   m<x>     a left click at x                 f        SendFocusCtrl set to a neighbour
//
// Broken when: the field holds anything but Digits upper-case hexadecimal
// digits; value() is not what the field shows; a typed hexadecimal character
// does not overwrite exactly the digit at the caret; a paste does not
// overwrite exactly the digits from the caret on with the text's
// hexadecimal characters; normalizedText breaks its rule.
#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QWidget>

#include <algorithm>
#include <cstring>
#include <memory>

#include "FuzzSupport.h"
#include "GuiFuzzSupport.h"
#include "HexEdit.h"

namespace {

struct Key {
  int key;
  Qt::KeyboardModifiers modifiers;
};
const Key kKeys[] = {
    {Qt::Key_Backspace, Qt::NoModifier},      {Qt::Key_Delete, Qt::NoModifier},
    {Qt::Key_Left, Qt::NoModifier},           {Qt::Key_Right, Qt::NoModifier},
    {Qt::Key_Home, Qt::NoModifier},           {Qt::Key_End, Qt::NoModifier},
    {Qt::Key_Left, Qt::ShiftModifier},        {Qt::Key_Right, Qt::ShiftModifier},
    {Qt::Key_End, Qt::ShiftModifier},         {Qt::Key_A, Qt::ControlModifier},
    {Qt::Key_C, Qt::ControlModifier},         {Qt::Key_X, Qt::ControlModifier},
    {Qt::Key_V, Qt::ControlModifier},         {Qt::Key_Z, Qt::ControlModifier},
    {Qt::Key_Y, Qt::ControlModifier},         {Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier},
    {Qt::Key_Backspace, Qt::ControlModifier}, {Qt::Key_Delete, Qt::ControlModifier},
    {Qt::Key_K, Qt::ControlModifier},         {Qt::Key_U, Qt::ControlModifier},
    {Qt::Key_Insert, Qt::ShiftModifier},      {Qt::Key_Delete, Qt::ShiftModifier},
    {Qt::Key_Return, Qt::NoModifier},         {Qt::Key_Escape, Qt::NoModifier},
};

bool IsHex(QChar c) {
  const char16_t u = c.unicode();
  return (u >= '0' && u <= '9') || (u >= 'A' && u <= 'F') || (u >= 'a' && u <= 'f');
}

QChar Upper(QChar c) {
  const char16_t u = c.unicode();
  return (u >= 'a' && u <= 'f') ? QChar(char16_t(u - 'a' + 'A')) : c;
}

QString HexCharsOf(const QString& text) {
  QString out;
  for (QChar c : text)
    if (IsHex(c)) out.append(Upper(c));
  return out;
}

void CheckShown(const THexEdit& edit) {
  const QString text = edit.text();
  FUZZ_CHECK(text.size() == edit.digits(), "the field holds Digits characters");
  for (QChar c : text) FUZZ_CHECK(IsHex(c) && Upper(c) == c, "the field holds upper-case hexadecimal digits");
  FUZZ_CHECK(static_cast<quint64>(edit.value()) == text.toULongLong(nullptr, 16), "value() is what the field shows");
}

int Caret(const THexEdit& edit) {
  return edit.hasSelectedText() ? edit.selectionStart() : edit.cursorPosition();
}

void SendKey(THexEdit& edit, int key, Qt::KeyboardModifiers modifiers, const QString& text) {
  QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
  QApplication::sendEvent(&edit, &press);
  QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
  QApplication::sendEvent(&edit, &release);
}

void Type(THexEdit& edit, const QString& text) {
  for (QChar c : text) {
    const QString before = edit.text();
    const int at = std::clamp(Caret(edit), 0, edit.digits() - 1);
    const char16_t u = Upper(c).unicode();
    SendKey(edit, u < 0x80 && u >= 0x20 ? int(QChar(u).toUpper().unicode()) : int(Qt::Key_unknown), Qt::NoModifier,
            QString(c));
    if (!c.isPrint() || !IsHex(c)) continue;
    QString expected = before;
    expected[at] = Upper(c);
    FUZZ_CHECK(edit.text() == expected, "a typed digit overwrites the digit at the caret");
  }
}

void Paste(THexEdit& edit, const QString& text) {
  QGuiApplication::clipboard()->setText(text);
  if (QGuiApplication::clipboard()->text() != text) return;  // a platform without a clipboard
  const QString before = edit.text();
  const int at = std::clamp(Caret(edit), 0, edit.digits());
  SendKey(edit, Qt::Key_V, Qt::ControlModifier, QString());
  const QString digits = HexCharsOf(text).left(edit.digits() - at);
  const QString expected = before.left(at) + digits + before.mid(at + digits.size());
  FUZZ_CHECK(edit.text() == expected, "a paste overwrites the digits from the caret on");
}

void Normalized(std::string_view payload) {
  const int digits = payload.empty() ? 0 : static_cast<std::int8_t>(payload[0]);
  const QString text = QString::fromUtf8(payload.substr(std::min<std::size_t>(1, payload.size())));
  const QString out = THexEdit::normalizedText(text, digits);
  const int want = std::clamp(digits, THexEdit::MinDigits, THexEdit::MaxDigits);
  QString expected = HexCharsOf(text).left(want);
  expected += QString(want - expected.size(), u'0');
  FUZZ_CHECK(out == expected, "normalizedText keeps the first hexadecimal characters, upper-case, padded with 0");
}

struct Gui {
  std::unique_ptr<QWidget> window;
  QWidget* neighbour = nullptr;
};

// Made once and never destroyed: Qt's own globals may be gone by the time
// static destructors run at exit.
Gui& TheGui() {
  static Gui& gui = *[] {
    fuzz::StartOffscreenApplication();
    auto* g = new Gui;
    g->window = std::make_unique<QWidget>();
    g->window->resize(300, 60);
    g->neighbour = new QWidget(g->window.get());
    g->neighbour->setFocusPolicy(Qt::StrongFocus);
    g->window->show();
    QApplication::setActiveWindow(g->window.get());
    return g;
  }();
  return gui;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Gui& gui = TheGui();
  const std::vector<std::string_view> ops = fuzz::Split(fuzz::AsText(data, size), '\0');
  auto edit = std::make_unique<THexEdit>(gui.window.get());
  edit->setDigits(size > 0 ? data[0] % THexEdit::MaxDigits + 1 : 2);
  edit->show();
  edit->setFocus(Qt::TabFocusReason);
  CheckShown(*edit);

  for (std::size_t i = 1; i < ops.size(); ++i) {
    if (ops[i].empty()) continue;
    const char code = ops[i][0];
    const std::string_view payload = ops[i].substr(1);
    const QString text = QString::fromUtf8(payload.data(), static_cast<qsizetype>(payload.size()));
    const int first = payload.empty() ? 0 : static_cast<std::uint8_t>(payload[0]);
    const int second = payload.size() < 2 ? 0 : static_cast<std::uint8_t>(payload[1]);
    switch (code) {
      case 't':
        Type(*edit, text);
        break;
      case 'p':
        Paste(*edit, text);
        break;
      case 'd': {
        QMimeData mime;
        mime.setText(text.mid(1));
        QDropEvent drop(QPointF(first % 40, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(edit.get(), &drop);
        break;
      }
      case 'i': {
        QInputMethodEvent event;
        event.setCommitString(text);
        QApplication::sendEvent(edit.get(), &event);
        break;
      }
      case 's':
        edit->setText(text);
        break;
      case 'n':
        Normalized(payload);
        break;
      case 'v': {
        qint64 v = 0;
        std::memcpy(&v, payload.data(), std::min(payload.size(), sizeof v));
        edit->setValue(v);
        break;
      }
      case 'g':
        edit->setDigits(static_cast<std::int8_t>(first));
        break;
      case 'k': {
        const Key& key = kKeys[first % std::size(kKeys)];
        SendKey(*edit, key.key, key.modifiers, QString());
        break;
      }
      case 'c':
        edit->setSelection(first % 20, second % 20 - first % 20);
        break;
      case 'm': {
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(first % 40, 5), QPointF(first % 40, 5), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(edit.get(), &press);
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(first % 40, 5), QPointF(first % 40, 5), Qt::LeftButton,
                            Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(edit.get(), &release);
        break;
      }
      case 'f':
        edit->setSendFocusCtrl(gui.neighbour);
        break;
      default:
        break;
    }
    CheckShown(*edit);
  }
  return 0;
}
