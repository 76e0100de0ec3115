// TChoiceGroup: a titled group of exclusive choices, one radio button each,
// exactly one of them selected (a frame kind, a repetition, a direction).
//
// Threads: GUI thread only.
#pragma once

#include <QGroupBox>
#include <QStringList>

class QButtonGroup;
class QRadioButton;

class TChoiceGroup : public QGroupBox {
  Q_OBJECT
  Q_PROPERTY(int ItemIndex READ itemIndex WRITE setItemIndex)

 public:
  // The choices in order, the first one selected. The group's component
  // name is `name`; its buttons are named after it with their index
  // ("Repetition0", "Repetition1"), so that they can be found by name.
  TChoiceGroup(const QString& name, const QString& title, const QStringList& captions, QWidget* parent = nullptr);

  int itemIndex() const;
  // Selects a choice; selecting another one than before has the effects of
  // the user choosing it (selected is emitted).
  void setItemIndex(int index);
  QRadioButton* button(int index) const;
  int count() const;

 signals:
  // Another choice has been selected, by the user or the program.
  void selected(int index);

 private:
  QButtonGroup* buttons_;
};
