#include "HexDigitsValidator.h"

#include <algorithm>

#include "HexEdit.h"

HexDigitsValidator::HexDigitsValidator(THexEdit* edit) : QValidator(edit), edit_(edit) {}

QValidator::State HexDigitsValidator::validate(QString& input, int& pos) const {
  input = THexEdit::normalizedText(input, edit_->digits());
  pos = std::clamp(pos, 0, int(input.size()));
  return Acceptable;
}

void HexDigitsValidator::fixup(QString& input) const {
  input = THexEdit::normalizedText(input, edit_->digits());
}
