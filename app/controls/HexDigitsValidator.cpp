#include "HexDigitsValidator.h"

#include <algorithm>

#include "HexEdit.h"

HexDigitsValidator::HexDigitsValidator(THexEdit *edit) : QValidator(edit), m_edit(edit) {}

QValidator::State HexDigitsValidator::validate(QString &input, int &pos) const {
  input = THexEdit::normalizedText(input, m_edit->digits());
  pos = std::clamp(pos, 0, int(input.size()));
  return Acceptable;
}

void HexDigitsValidator::fixup(QString &input) const {
  input = THexEdit::normalizedText(input, m_edit->digits());
}
