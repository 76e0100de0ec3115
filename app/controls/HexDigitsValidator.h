// Validator that turns any text a line edit is about to hold into exactly the
// number of upper-case hexadecimal digits its THexEdit shows. QLineEdit runs
// it after every change (typing, paste from any menu, drop, undo, input
// method, programmatic text), so it is the last guard of the field's format.
#pragma once

#include <QValidator>

class THexEdit;

class THexDigitsValidator : public QValidator {
  Q_OBJECT

 public:
  explicit THexDigitsValidator(THexEdit* edit);

  State validate(QString& input, int& pos) const override;
  void fixup(QString& input) const override;

 private:
  THexEdit* edit_;
};
