// THexEdit: entry field for a hexadecimal number of a fixed number of digits.
//
// The field always holds exactly `Digits` upper-case hexadecimal characters.
// Typing overwrites one digit at a time; after the last digit the field
// announces the completed value (signal change) and hands the focus to
// `SendFocusCtrl`, or wraps to its first digit. Pasting, deleting, dropping,
// undoing and input methods all go through the same normalisation, so the text
// can never hold anything else.
#pragma once

#include <QLineEdit>
#include <QPointer>
#include <QtGlobal>

class QValidator;

class THexEdit : public QLineEdit {
  Q_OBJECT
  Q_PROPERTY(int Digits READ digits WRITE setDigits)
  Q_PROPERTY(qint64 Value READ value WRITE setValue)
  Q_PROPERTY(QWidget* SendFocusCtrl READ sendFocusCtrl WRITE setSendFocusCtrl)

 public:
  // Digits are kept within 1..16: a 64-bit value has 16 hexadecimal digits.
  static constexpr int MinDigits = 1;
  static constexpr int MaxDigits = 16;

  explicit THexEdit(QWidget* parent = nullptr);
  ~THexEdit() override;

  int digits() const { return digits_; }
  void setDigits(int digits);

  qint64 value() const { return value_; }
  // Shows v. A value wider than the field keeps its low-order digits, and
  // value() then reads what is shown. Raises nibbleChange when the text
  // changes, never change.
  void setValue(qint64 v);

  QWidget* sendFocusCtrl() const { return sendFocusCtrl_; }
  void setSendFocusCtrl(QWidget* control) { sendFocusCtrl_ = control; }

  // Text of v as the field shows it with the given number of digits.
  static QString formatValue(qint64 v, int digits);
  // The text made to hold exactly `digits` upper-case hexadecimal characters:
  // other characters dropped, cut to length, padded with "0" on the right.
  static QString normalizedText(const QString& text, int digits);

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 signals:
  // OnChange: the user has completed the value (a key went up with the caret
  // after the last digit). Never raised by setValue.
  void change(THexEdit* sender);
  // OnNibbleChange: the text changed, for any reason; value() is up to date.
  void nibbleChange(THexEdit* sender);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void inputMethodEvent(QInputMethodEvent* event) override;

 private:
  // Where typing goes: the start of the selection, else the caret.
  int caretPosition() const;
  // Selects the one character at position pos (clamped into the text).
  void selectCharAt(int pos);
  // Index of the character under horizontal widget position x.
  int charIndexAt(int x) const;
  // Types one character: hexadecimal ones overwrite the digit at the caret,
  // anything else is discarded. Returns whether the character was taken.
  bool typeChar(QChar c);
  // After an overwrite: selects the digit at the caret, if there is one.
  void selectNextDigit();
  // Overwrites digits from pos on with the hexadecimal characters of text.
  void overwriteAt(int pos, const QString& text);
  // Replaces the selected digits, or the one at the caret, by "0".
  void zeroSelection();
  void pasteFrom(bool fromSelectionClipboard);
  void cutToClipboard();
  void onTextChanged(const QString& text);

  int digits_ = 2;
  qint64 value_ = 0;
  QPointer<QWidget> sendFocusCtrl_;
  QValidator* validator_;
};
