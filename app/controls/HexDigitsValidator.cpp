#include "HexDigitsValidator.h"

#include <algorithm>

#include "HexEdit.h"

THexDigitsValidator::THexDigitsValidator(THexEdit* edit) : QValidator(edit), edit_(edit) {}

QValidator::State THexDigitsValidator::validate(QString& input, int& pos) const {
  input = THexEdit::normalizedText(input, edit_->digits());
  pos = std::clamp(pos, 0, int(input.size()));
  return Acceptable;
}

void THexDigitsValidator::fixup(QString& input) const {
  input = THexEdit::normalizedText(input, edit_->digits());
}
