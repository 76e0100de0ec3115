#include "ChoiceGroup.h"

#include <QButtonGroup>
#include <QRadioButton>
#include <QVBoxLayout>

TChoiceGroup::TChoiceGroup(const QString& name, const QString& title, const QStringList& captions, QWidget* parent)
    : QGroupBox(title, parent), buttons_(new QButtonGroup(this)) {
  setObjectName(name);
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(8, 4, 8, 4);
  column->setSpacing(2);
  for (int i = 0; i < captions.size(); ++i) {
    auto* button = new QRadioButton(captions[i], this);
    button->setObjectName(name + QString::number(i));
    // A caption is never cut: the window grows rather than squeeze a choice.
    button->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Fixed);
    buttons_->addButton(button, i);
    column->addWidget(button);
  }
  if (QAbstractButton* first = buttons_->button(0)) first->setChecked(true);
  connect(buttons_, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
    if (checked) emit selected(id);
  });
}

int TChoiceGroup::itemIndex() const {
  return buttons_->checkedId();
}

void TChoiceGroup::setItemIndex(int index) {
  if (QAbstractButton* button = buttons_->button(index)) button->setChecked(true);
}

QRadioButton* TChoiceGroup::button(int index) const {
  return qobject_cast<QRadioButton*>(buttons_->button(index));
}

int TChoiceGroup::count() const {
  return static_cast<int>(buttons_->buttons().size());
}
