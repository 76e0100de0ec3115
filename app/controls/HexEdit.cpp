#include "HexEdit.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionFrame>
#include <algorithm>

#include "HexDigitsValidator.h"

namespace {

// QLineEdit keeps this many pixels between its contents rectangle and the text.
constexpr int LineEditTextMargin = 2;

bool isHexChar(QChar c) {
  const char16_t u = c.unicode();
  return (u >= '0' && u <= '9') || (u >= 'A' && u <= 'F') || (u >= 'a' && u <= 'f');
}

// Upper-cases ASCII letters only; QChar::toUpper would also map other scripts.
QChar asciiUpper(QChar c) {
  const char16_t u = c.unicode();
  return (u >= 'a' && u <= 'z') ? QChar(char16_t(u - 'a' + 'A')) : c;
}

}  // namespace

THexEdit::THexEdit(QWidget* parent) : QLineEdit(parent), validator_(new THexDigitsValidator(this)) {
  setValidator(validator_);
  setMaxLength(digits_);
  // Digits need no input method, and its pre-edit text would bypass the
  // one-digit overwrite rule.
  setAttribute(Qt::WA_InputMethodEnabled, false);
  setCursor(Qt::ArrowCursor);
  connect(this, &QLineEdit::textChanged, this, &THexEdit::onTextChanged);
  setText(formatValue(value_, digits_));
  setCursorPosition(0);  // typing starts at the first digit
  resize(21, 21);
}

THexEdit::~THexEdit() = default;

QString THexEdit::formatValue(qint64 v, int digits) {
  digits = std::clamp(digits, MinDigits, MaxDigits);
  quint64 bits = quint64(v);
  if (digits < MaxDigits) bits &= (quint64(1) << (4 * digits)) - 1;
  return QString::number(bits, 16).toUpper().rightJustified(digits, QLatin1Char('0'));
}

QString THexEdit::normalizedText(const QString& text, int digits) {
  digits = std::clamp(digits, MinDigits, MaxDigits);
  QString out;
  out.reserve(digits);
  for (QChar c : text) {
    if (out.size() == digits) break;
    if (isHexChar(c)) out.append(asciiUpper(c));
  }
  while (out.size() < digits) out.append(QLatin1Char('0'));
  return out;
}

void THexEdit::setDigits(int digits) {
  digits = std::clamp(digits, MinDigits, MaxDigits);
  if (digits == digits_) return;
  const QString before = text();
  digits_ = digits;
  {
    // The intermediate texts of this change are not values of the field.
    const QSignalBlocker blocker(this);
    setMaxLength(digits);
    setText(formatValue(value_, digits));
    setCursorPosition(0);
  }
  if (text() != before) onTextChanged(text());
}

void THexEdit::setValue(qint64 v) {
  const QString formatted = formatValue(v, digits_);
  if (formatted == text()) return;
  // Keep the caret where it was, so that a window that corrects the value
  // while the user types (from nibbleChange) does not disturb the typing.
  const int selStart = selectionStart();
  const int selLength = selectionLength();
  const int cursor = cursorPosition();
  setText(formatted);
  if (selLength > 0)
    setSelection(selStart, selLength);
  else
    setCursorPosition(cursor);
}

void THexEdit::onTextChanged(const QString& newText) {
  if (newText.size() != digits_) return;
  bool ok = false;
  const quint64 bits = newText.toULongLong(&ok, 16);
  if (!ok) return;
  value_ = qint64(bits);
  emit nibbleChange(this);
}

QSize THexEdit::sizeHint() const {
  ensurePolished();
  const QFontMetrics fm(font());
  int digitWidth = 0;
  for (QChar c : QStringLiteral("0123456789ABCDEF")) digitWidth = std::max(digitWidth, fm.horizontalAdvance(c));
  const QMargins tm = textMargins();
  const int w = digitWidth * digits_ + 2 * LineEditTextMargin + tm.left() + tm.right() + 1;
  const int h = QLineEdit::sizeHint().height();
  QStyleOptionFrame opt;
  initStyleOption(&opt);
  return style()
      ->sizeFromContents(QStyle::CT_LineEdit, &opt, QSize(w, fm.height()), this)
      .expandedTo(QSize(0, h))
      .boundedTo(QSize(QWIDGETSIZE_MAX, h));
}

QSize THexEdit::minimumSizeHint() const {
  return sizeHint();
}

int THexEdit::caretPosition() const {
  return hasSelectedText() ? selectionStart() : cursorPosition();
}

void THexEdit::selectCharAt(int pos) {
  const int last = int(text().size()) - 1;
  if (last < 0) return;
  setSelection(std::clamp(pos, 0, last), 1);
}

int THexEdit::charIndexAt(int x) const {
  const QString shown = text();
  if (shown.isEmpty()) return 0;
  QStyleOptionFrame opt;
  initStyleOption(&opt);
  const QRect contents = style()->subElementRect(QStyle::SE_LineEditContents, &opt, this).marginsRemoved(textMargins());
  const QFontMetrics fm(font());
  const int lineLeft = contents.left() + LineEditTextMargin;
  const int lineWidth = contents.width() - 2 * LineEditTextMargin;
  const int used = fm.horizontalAdvance(shown) + 1;
  // Where QLineEdit draws the first character, for each horizontal alignment.
  int origin = lineLeft;
  if (used <= lineWidth) {
    const Qt::Alignment align = QStyle::visualAlignment(layoutDirection(), alignment()) & Qt::AlignHorizontal_Mask;
    if (align == Qt::AlignRight)
      origin = lineLeft + lineWidth - used - 1;
    else if (align == Qt::AlignHCenter)
      origin = lineLeft + (lineWidth - used) / 2;
  }
  int sum = origin;
  for (int i = 0; i < shown.size(); ++i) {
    sum += fm.horizontalAdvance(shown.at(i));
    if (sum >= x) return i;
  }
  return int(shown.size()) - 1;
}

bool THexEdit::typeChar(QChar c) {
  const QChar upper = asciiUpper(c);
  if (!isHexChar(upper)) return false;
  selectCharAt(caretPosition());
  insert(QString(upper));  // replaces the selected digit: typing overwrites
  selectNextDigit();
  return true;
}

void THexEdit::overwriteAt(int pos, const QString& newText) {
  QString digitsOnly;
  for (QChar c : newText)
    if (isHexChar(c)) digitsOnly.append(asciiUpper(c));
  pos = std::clamp(pos, 0, digits_);
  const int count = std::min(int(digitsOnly.size()), digits_ - pos);
  if (count <= 0) return;
  setSelection(pos, count);
  insert(digitsOnly.left(count));
  selectNextDigit();
}

void THexEdit::selectNextDigit() {
  // Shows which digit the next key overwrites. After the last digit the
  // caret stays behind it, which is what completes the value on key-up.
  if (!hasSelectedText() && cursorPosition() < digits_) selectCharAt(cursorPosition());
}

void THexEdit::zeroSelection() {
  int start = caretPosition();
  int count = hasSelectedText() ? selectionLength() : 1;
  start = std::clamp(start, 0, digits_);
  count = std::min(count, digits_ - start);
  if (count <= 0) return;
  setSelection(start, count);
  insert(QString(count, QLatin1Char('0')));
  selectCharAt(start);
}

void THexEdit::pasteFrom(bool fromSelectionClipboard) {
  const QClipboard* clipboard = QGuiApplication::clipboard();
  if (!clipboard) return;
  const QString pasted = clipboard->text(fromSelectionClipboard ? QClipboard::Selection : QClipboard::Clipboard);
  overwriteAt(caretPosition(), pasted);
}

void THexEdit::cutToClipboard() {
  if (!hasSelectedText()) return;
  copy();
  zeroSelection();
}

void THexEdit::keyPressEvent(QKeyEvent* event) {
  // Character keys: hexadecimal ones overwrite a digit, all others (Backspace
  // included) are discarded.
  const QString typed = event->text();
  const bool commandKey = event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier);
  if (event->key() == Qt::Key_Backspace || (!commandKey && !typed.isEmpty() && typed.at(0).isPrint())) {
    for (QChar c : typed)
      if (c.isPrint()) typeChar(c);
    event->accept();
    return;
  }
  // Shift with one digit selected: the selection never grows beyond one digit.
  if ((event->modifiers() & Qt::ShiftModifier) && selectionLength() == 1) {
    event->accept();
    return;
  }
  if (event->matches(QKeySequence::Paste)) {
    pasteFrom(false);
  } else if (event->matches(QKeySequence::Cut)) {
    cutToClipboard();
  } else if (event->matches(QKeySequence::Delete)) {
    zeroSelection();
  } else if (event->matches(QKeySequence::DeleteEndOfWord) || event->matches(QKeySequence::DeleteStartOfWord) ||
             event->matches(QKeySequence::DeleteEndOfLine) || event->matches(QKeySequence::DeleteCompleteLine)) {
    // Deleting ranges makes no sense in a fixed-width field.
  } else {
    QLineEdit::keyPressEvent(event);  // caret movement, copy, select all, undo, redo, Return
    return;
  }
  event->accept();
}

void THexEdit::keyReleaseEvent(QKeyEvent* event) {
  if (caretPosition() == digits_) {
    QWidget* next = sendFocusCtrl_;
    if (next && next != this && next->isEnabled() && next->isVisible() && next->focusPolicy() != Qt::NoFocus)
      next->setFocus(Qt::TabFocusReason);
    else
      selectCharAt(0);
    emit change(this);
  }
  QLineEdit::keyReleaseEvent(event);
}

void THexEdit::focusInEvent(QFocusEvent* event) {
  QLineEdit::focusInEvent(event);
  // A caret after the last digit (the value was just completed) starts over
  // at the first digit.
  const int caret = caretPosition();
  selectCharAt(caret >= digits_ ? 0 : caret);
}

void THexEdit::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) selectCharAt(charIndexAt(event->position().toPoint().x()));
  event->accept();  // no caret placement, word selection or drag start
}

void THexEdit::mouseMoveEvent(QMouseEvent* event) {
  if (event->buttons() & Qt::LeftButton) selectCharAt(charIndexAt(event->position().toPoint().x()));
  event->accept();
}

void THexEdit::mouseDoubleClickEvent(QMouseEvent* event) {
  mousePressEvent(event);
}

void THexEdit::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::MiddleButton) {
    // The X11 selection paste, as overwrite like every other paste.
    if (QGuiApplication::clipboard() && QGuiApplication::clipboard()->supportsSelection()) {
      selectCharAt(charIndexAt(event->position().toPoint().x()));
      pasteFrom(true);
    }
    event->accept();
    return;
  }
  QLineEdit::mouseReleaseEvent(event);
}

void THexEdit::contextMenuEvent(QContextMenuEvent* event) {
  // Our own menu, so that cut, paste and delete overwrite like the keys do.
  QMenu menu(this);
  QAction* action = menu.addAction(QStringLiteral("&Undo"), this, &QLineEdit::undo);
  action->setEnabled(isUndoAvailable());
  action = menu.addAction(QStringLiteral("&Redo"), this, &QLineEdit::redo);
  action->setEnabled(isRedoAvailable());
  menu.addSeparator();
  action = menu.addAction(QStringLiteral("Cu&t"), this, &THexEdit::cutToClipboard);
  action->setEnabled(hasSelectedText());
  action = menu.addAction(QStringLiteral("&Copy"), this, &QLineEdit::copy);
  action->setEnabled(hasSelectedText());
  action = menu.addAction(QStringLiteral("&Paste"), this, [this] { pasteFrom(false); });
  const QClipboard* clipboard = QGuiApplication::clipboard();
  action->setEnabled(clipboard && !clipboard->text().isEmpty());
  action = menu.addAction(QStringLiteral("Delete"), this, &THexEdit::zeroSelection);
  action->setEnabled(hasSelectedText());
  menu.addSeparator();
  menu.addAction(QStringLiteral("Select All"), this, &QLineEdit::selectAll);
  menu.exec(event->globalPos());
}

void THexEdit::dropEvent(QDropEvent* event) {
  if (!event->mimeData() || !event->mimeData()->hasText()) {
    event->ignore();
    return;
  }
  event->acceptProposedAction();
  overwriteAt(cursorPositionAt(event->position().toPoint()), event->mimeData()->text());
  setFocus(Qt::OtherFocusReason);
  update();
}

void THexEdit::inputMethodEvent(QInputMethodEvent* event) {
  // Input methods are switched off; should one still commit text, it is typed
  // character by character and pre-edit text is never shown.
  for (QChar c : event->commitString())
    if (c.isPrint()) typeChar(c);
  event->accept();
}
