#include "NumberEntry.h"

#include <QLineEdit>

TNumberEntry::TNumberEntry(int minimum, int maximum, int value, QWidget* parent) : QSpinBox(parent) {
  setRange(minimum, maximum);
  setValue(value);
  lineEdit()->setReadOnly(true);
  setAlignment(Qt::AlignRight);
}
