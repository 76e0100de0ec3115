#include "Gallery.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "BitPanel.h"
#include "ChoiceGroup.h"
#include "Filters.h"
#include "HexEdit.h"
#include "NumberEntry.h"
#include "ThrTimer.h"

namespace {

THexEdit* hexEdit(const QString& name, int digits, qint64 value) {
  auto* edit = new THexEdit;
  edit->setObjectName(name);
  edit->setDigits(digits);
  edit->setValue(value);
  edit->setFixedSize(edit->sizeHint());
  return edit;
}

}  // namespace

TGalleryWindow::TGalleryWindow(QWidget* parent) : QWidget(parent) {
  setWindowTitle(QStringLiteral("Vorelan controls gallery"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(createHexEdits());
  layout->addWidget(createBitPanels());
  layout->addWidget(createRangeView(), 1);
  layout->addWidget(createChoices());
  layout->addWidget(createTimer());
}

QWidget* TGalleryWindow::createHexEdits() {
  auto* group = new QGroupBox(QStringLiteral("Hex edit: type to overwrite; the last digit moves the focus on"));
  auto* form = new QFormLayout(group);
  isr_ = hexEdit(QStringLiteral("ISR"), 2, 0xA5);
  auto* id = hexEdit(QStringLiteral("ID0"), 3, 0x7FF);
  auto* counter = hexEdit(QStringLiteral("CntMax"), 16, 0x0123456789ABCDEFLL);
  auto* minusOne = hexEdit(QStringLiteral("CntMin"), 16, -1);
  isr_->setSendFocusCtrl(id);
  id->setSendFocusCtrl(counter);
  counter->setSendFocusCtrl(minusOne);  // CntMin wraps to its own first digit
  form->addRow(QStringLiteral("2 digits (ISR):"), isr_);
  form->addRow(QStringLiteral("3 digits (ID0):"), id);
  form->addRow(QStringLiteral("16 digits (CntMax):"), counter);
  form->addRow(QStringLiteral("16 digits, value -1:"), minusOne);
  hexEvents_ = new QLabel(QStringLiteral("Events appear here."));
  form->addRow(QStringLiteral("Last event:"), hexEvents_);
  for (THexEdit* edit : {isr_, id, counter, minusOne}) {
    connect(edit, &THexEdit::change, this, [this](THexEdit* sender) {
      hexEvents_->setText(QStringLiteral("change: %1 = %2").arg(sender->objectName(), sender->text()));
    });
  }
  connect(isr_, &THexEdit::change, this, [this] {
    if (isrPanel_) isrPanel_->setValue(int(isr_->value() & 0xFF));
  });
  return group;
}

TBitPanel* TGalleryWindow::createBitPanel(const QString& title, const QStringList& captions, const QStringList& hints,
                                          int value) {
  auto* panel = new TBitPanel(title);
  panel->setObjectName(QStringLiteral("BitPanel") + QString(title).remove(QLatin1Char('&')));
  panel->setButtons(captions);
  panel->setButtonsHint(hints);
  panel->setUpMargin(11);
  panel->setValue(value);
  panel->setFixedSize(337, 56);
  return panel;
}

QWidget* TGalleryWindow::createBitPanels() {
  auto* group =
      new QGroupBox(QStringLiteral("Bit panels: bit 0 on the right; click a bit to flip it; \"0\" bits are fixed"));
  auto* column = new QVBoxLayout(group);
  isrPanel_ =
      createBitPanel(QStringLiteral("&ISR"), {"EPND", "TEIF", "ORIF", "SCIF", "TXIF", "RXIF1", "RXIF2", "RXIF3"},
                     {"Error interrupt PeNdinG", "Transmit Error Interrupt Flag", "OverRun Interrupt Flag",
                      "Status Change Interrupt Flag", "Transmit Interrupt Flag", "Receive Interrupt Flag For buffer 1",
                      "Receive Interrupt Flag For buffer 2", "Receive Interrupt Flag For buffer 3"},
                     0xA5);
  auto* icr = createBitPanel(QStringLiteral("I&CR"), {"ETX", "TEIE", "ORIE", "SCIE", "TXIE", "RXIE", "ESCI", "0"},
                             {"Early Transmit Interrupt", "Transmit Error Interrupt Enable", "OverRun Interrupt Enable",
                              "Status Change Interrupt Enable", "Transmit Interrupt Enable", "Receive Interrupt Enable",
                              "Extended Status Change Interrupt", "Always Zero"},
                             0xFF);
  auto* csr =
      createBitPanel(QStringLiteral("C&SR"), {"RUN", "WKPS", "FSYN", "NRTX", "SRTE", "EPSV", "BOFF", "0"},
                     {"CAN Enable", "WaKe-up PulSe", "Fast SYNchronization", "No ReTransmission",
                      "Simultaneous Receive/Transmit Enable", "Error PaSsiVe state", "Bus-Off state", "Always Zero"},
                     0x01);
  column->addWidget(isrPanel_);
  column->addWidget(icr);
  column->addWidget(csr);
  connect(isrPanel_, &TBitPanel::change, this, [this](TBitPanel* panel) { isr_->setValue(panel->value()); });
  return group;
}

QWidget* TGalleryWindow::createRangeView() {
  auto* group =
      new QGroupBox(QStringLiteral("Identifier range view: Filter 0 = 0x123 / 0x7F0, Filter 1 = 0x001 / 0x001"));
  auto* column = new QVBoxLayout(group);
  filters_ = new TFilters;
  filters_->setObjectName(QStringLiteral("Filters1"));
  filters_->setPaintEnabled(false);
  filters_->setColor(palette().color(QPalette::Button));
  filters_->setFilterColor(1, QColor(103, 180, 180));
  filters_->setFilterColor(2, QColor(102, 179, 255));
  filters_->setFilterVisible(1, true);
  filters_->setFilterVisible(2, true);
  filters_->setFilterName(1, QStringLiteral("Filter 0"));
  filters_->setFilterName(2, QStringLiteral("Filter 1"));
  filters_->setFilterID(1, 0x123);
  filters_->setFilterMask(1, 0x7F0);
  filters_->setFilterID(2, 0x001);
  filters_->setFilterMask(2, 0x001);
  filters_->setPaintEnabled(true);
  filters_->setMinimumSize(600, 110);
  pointedRange_ = new QLabel;
  connect(filters_, &TFilters::mouseMove, this,
          [this](TFilters* view, Qt::KeyboardModifiers, Qt::MouseButtons, int, int, int filter, int begin, int end) {
            if (filter == 0) {
              pointedRange_->clear();
              return;
            }
            pointedRange_->setText(QString::asprintf("Pointed Range for %s : %3X - %3X",
                                                     qUtf8Printable(view->getFilterName(filter)), begin, end));
          });
  column->addWidget(filters_, 1);
  column->addWidget(pointedRange_);

  // The same filters zoomed in on 0x100..0x13F: the block and the odd values
  // get columns of their own.
  auto* zoomed = new TFilters;
  zoomed->setObjectName(QStringLiteral("FiltersZoomed"));
  zoomed->setColor(palette().color(QPalette::Button));
  zoomed->setMinValue(0x100);
  zoomed->setMaxValue(0x13F);
  zoomed->setScaleSteps(4);
  zoomed->setScaleLittleSteps(4);
  for (int i = 1; i <= 2; ++i) {
    zoomed->setFilterVisible(i, true);
    zoomed->setFilterColor(i, filters_->filterColor(i));
    zoomed->setFilterName(i, filters_->getFilterName(i));
    zoomed->setFilterID(i, filters_->filterID(i));
    zoomed->setFilterMask(i, filters_->filterMask(i));
  }
  zoomed->setMinimumSize(600, 90);
  column->addWidget(new QLabel(QStringLiteral("The same filters over 0x100..0x13F:")));
  column->addWidget(zoomed, 1);
  return group;
}

QWidget* TGalleryWindow::createChoices() {
  auto* group = new QGroupBox(QStringLiteral("Choice group and number entry: the number changes by its arrows only"));
  auto* row = new QHBoxLayout(group);
  auto* repetition =
      new TChoiceGroup(QStringLiteral("Repetition"), QStringLiteral("Repetition"),
                       {QStringLiteral("&Manual Transmission"), QStringLiteral("&Automatic Transmission")});
  auto* period = new TNumberEntry(1, 60, 1);
  period->setObjectName(QStringLiteral("Period"));
  auto* chosen = new QLabel(QStringLiteral("Choice 0"));
  connect(repetition, &TChoiceGroup::selected, chosen,
          [chosen](int index) { chosen->setText(QStringLiteral("Choice %1").arg(index)); });
  row->addWidget(repetition);
  row->addWidget(period);
  row->addWidget(chosen);
  row->addStretch(1);
  return group;
}

QWidget* TGalleryWindow::createTimer() {
  auto* group = new QGroupBox(QStringLiteral("Threaded timer, 500 ms"));
  auto* row = new QHBoxLayout(group);
  ticks_ = new QLabel(QStringLiteral("Ticks: 0"));
  row->addWidget(ticks_);
  timer_ = new TThreadedTimer(this);
  timer_->setInterval(500);
  timer_->setOnTimer([this](TThreadedTimer*) { ticks_->setText(QStringLiteral("Ticks: %1").arg(++tickCount_)); });
  return group;
}
