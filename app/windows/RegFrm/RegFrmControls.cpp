// TRegFrm's controls: the general registers with their bit panels, the
// register pages, and the order the focus takes through them, built once by
// the constructor (RegFrm.cpp holds the handlers).
#include "RegFrm.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QTabWidget>
#include <QVBoxLayout>

#include "BitPanel.h"
#include "HexEdit.h"
#include "HintPanel.h"

using namespace CanReg;

namespace {

// Height of a bit panel: its title, the buttons from UpMargin + 8 down to
// Margin above the bottom edge.
constexpr int BitPanelUpMargin = 11;
constexpr int BitPanelMargin = 8;
constexpr int BitPanelHeight = 48;

QLabel* caption(const QString& text) {
  auto* label = new QLabel(text);
  label->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
  return label;
}

// A column per field: its register name above it.
void addLabelledField(QGridLayout* grid, int column, const QString& name, QWidget* field) {
  QLabel* label = caption(name);
  label->setBuddy(field);
  grid->addWidget(label, 0, column, Qt::AlignHCenter);
  grid->addWidget(field, 1, column, Qt::AlignHCenter);
}

}  // namespace

TRegFrm::TRegFrm(IToolWindowHost& host) : TToolWindowOf(host) {
  setObjectName(QStringLiteral("RegFrm"));
  setWindowTitle(QStringLiteral("Registers"));

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->setSpacing(4);
  layout->addWidget(buildGeneralGroup());
  layout->addWidget(buildPagedGroup(), 1);

  // Where the focus goes after a field's last digit, and the Tab order.
  chainFocus({isr_, icr_, csr_, brpr_, btr_, psr_, pageControl_});
  std::vector<QWidget*> tabOrder{isr_, icr_, csr_, brpr_, btr_, psr_, pageControl_};
  for (const auto& fields : pageFields_) {
    std::vector<QWidget*> chain;
    for (const PageField& f : fields) chain.push_back(f.field);
    tabOrder.insert(tabOrder.end(), chain.begin(), chain.end());
    chain.push_back(pageControl_);
    chainFocus(chain);
  }
  setTabOrderFrom(tabOrder);
  // The window opens with the focus on the page control rather than on ISR,
  // the first field: a focused field is not refreshed, and nobody types yet.
  pageControl_->setFocus(Qt::OtherFocusReason);

  setMinimumSize(DesignWidth, DesignHeight);
  resize(DesignWidth, DesignHeight);

  timer_ =
      AddTimer(QStringLiteral("ReadThreadTimer"), TimerInterval, TimerState::Enabled, [this] { ReadThreadTimer(); });
}

THexEdit* TRegFrm::makeField(const QString& name, std::uint8_t address, const QString& hint) {
  auto* field = new THexEdit;
  field->setObjectName(name);
  field->setDigits(2);
  field->setProperty(TagProperty, int(address));
  if (!hint.isEmpty()) Hint::apply(field, hint);
  field->setFixedSize(field->sizeHint());
  connect(field, &THexEdit::change, this, &TRegFrm::RegChange);
  return field;
}

TBitPanel* TRegFrm::makeBitPanel(const QString& name, const QString& title, const QString& hint,
                                 const QStringList& captions, const QStringList& hints) {
  auto* panel = new TBitPanel(title);
  panel->setObjectName(name);
  panel->setButtons(captions);
  panel->setButtonsHint(hints);
  panel->setMargin(BitPanelMargin);
  panel->setUpMargin(BitPanelUpMargin);
  panel->setFixedHeight(BitPanelHeight);
  Hint::apply(panel, hint);
  // Its title's accelerator focuses the register's field (see eventFilter).
  panel->installEventFilter(this);
  return panel;
}

QWidget* TRegFrm::buildGeneralGroup() {
  auto* group = new QGroupBox(QStringLiteral("&General Purpose Registers"));
  group->setObjectName(QStringLiteral("GeneralGroup"));
  auto* grid = new QGridLayout(group);
  grid->setContentsMargins(6, 4, 6, 6);
  grid->setHorizontalSpacing(6);
  grid->setVerticalSpacing(2);

  bitPanelISR_ = makeBitPanel(
      QStringLiteral("BitPanelISR"), QStringLiteral("&ISR"), QStringLiteral("Interrupt Status Register"),
      {"EPND", "TEIF", "ORIF", "SCIF", "TXIF", "RXIF1", "RXIF2", "RXIF3"},
      {QStringLiteral("Error interrupt PeNdinG"), QStringLiteral("Transmit Error Interrupt Flag"),
       QStringLiteral("OverRun Interrupt Flag"), QStringLiteral("Status Change Interrupt Flag"),
       QStringLiteral("Transmit Interrupt Flag"), QStringLiteral("Receive Interrupt Flag For buffer 1"),
       QStringLiteral("Receive Interrupt Flag For buffer 2"), QStringLiteral("Receive Interrupt Flag For buffer 3")});
  isr_ = makeField(QStringLiteral("ISR"), ISR, QStringLiteral("Interrupt Status Register"));
  bitPanelICR_ =
      makeBitPanel(QStringLiteral("BitPanelICR"), QStringLiteral("I&CR"), QStringLiteral("Interrupt Control Register"),
                   {"ETX", "TEIE", "ORIE", "SCIE", "TXIE", "RXIE", "ESCI", "0"},
                   {QStringLiteral("Early Transmit Interrupt"), QStringLiteral("Transmit Error Interrupt Enable"),
                    QStringLiteral("OverRun Interrupt Enable"), QStringLiteral("Status Change Interrupt Enable"),
                    QStringLiteral("Transmit Interrupt Enable"), QStringLiteral("Receive Interrupt Enable"),
                    QStringLiteral("Extended Status Change Interrupt"), QStringLiteral("Always Zero")});
  icr_ = makeField(QStringLiteral("ICR"), ICR, QStringLiteral("Interrupt Control Register"));
  bitPanelCSR_ = makeBitPanel(
      QStringLiteral("BitPanelCSR"), QStringLiteral("C&SR"), QStringLiteral("Control Status Register"),
      {"RUN", "WKPS", "FSYN", "NRTX", "SRTE", "EPSV", "BOFF", "0"},
      {QStringLiteral("CAN Enable"), QStringLiteral("WaKe-up PulSe"), QStringLiteral("Fast SYNchronization"),
       QStringLiteral("No ReTransmission"), QStringLiteral("Simultaneous Receive/Transmit Enable"),
       QStringLiteral("Error PaSsiVe state"), QStringLiteral("Bus-Off state"), QStringLiteral("Always Zero")});
  csr_ = makeField(QStringLiteral("CSR"), CSR, QStringLiteral("Control Status Register"));

  connect(bitPanelISR_, &TBitPanel::change, this, &TRegFrm::BitPanelISRChange);
  connect(bitPanelICR_, &TBitPanel::change, this, &TRegFrm::BitPanelICRChange);
  connect(bitPanelCSR_, &TBitPanel::change, this, &TRegFrm::BitPanelCSRChange);

  const std::pair<TBitPanel*, THexEdit*> rows[] = {{bitPanelISR_, isr_}, {bitPanelICR_, icr_}, {bitPanelCSR_, csr_}};
  int row = 0;
  for (const auto& [panel, field] : rows) {
    grid->addWidget(panel, row, 0);
    // Level with the panel's buttons, which sit below its title.
    auto* cell = new QVBoxLayout;
    cell->addSpacing(BitPanelUpMargin + 8 - BitPanelMargin);
    cell->addWidget(field, 0, Qt::AlignCenter);
    grid->addLayout(cell, row, 1);
    ++row;
  }

  brpr_ = makeField(QStringLiteral("BRPR"), BRPR, QStringLiteral("Baud Rate Prescaler Register"));
  btr_ = makeField(QStringLiteral("BTR"), BTR, QStringLiteral("Bit Timing Register"));
  psr_ = makeField(QStringLiteral("PSR"), PSR, QStringLiteral("Page Selection Register"));
  auto* line = new QHBoxLayout;
  line->setContentsMargins(0, 4, 0, 0);
  const std::pair<QString, THexEdit*> labelled[] = {
      {QStringLiteral("&BRPR"), brpr_}, {QStringLiteral("B&TR"), btr_}, {QStringLiteral("&PSR"), psr_}};
  bool first = true;
  for (const auto& [text, field] : labelled) {
    if (!first) line->addStretch(1);
    first = false;
    auto* label = new QLabel(text);
    label->setObjectName(QStringLiteral("Label") + field->objectName());
    label->setBuddy(field);
    line->addWidget(label);
    line->addWidget(field);
  }
  line->addStretch(1);
  grid->addLayout(line, row, 0, 1, 2);
  grid->setColumnStretch(0, 1);
  return group;
}

QWidget* TRegFrm::buildPagedGroup() {
  auto* group = new QGroupBox(QStringLiteral("Paged &Registers"));
  group->setObjectName(QStringLiteral("PagedGroup"));
  auto* layout = new QVBoxLayout(group);
  layout->setContentsMargins(6, 4, 6, 6);

  pageControl_ = new QTabWidget;
  pageControl_->setObjectName(QStringLiteral("PageControl"));
  const QString hints[PageCount] = {QStringLiteral("Diagnosis Page"), QStringLiteral("Buffer 1"),
                                    QStringLiteral("Buffer 2"), QStringLiteral("Buffer 3"), QStringLiteral("Filters")};
  for (int page = 0; page < PageCount; ++page) {
    QWidget* sheet = page == DiagnosisPage ? buildDiagnosisPage()
                     : page == FilterPage  ? buildFilterPage()
                                           : buildBufferPage(page);
    sheet->setObjectName(QStringLiteral("TabSheet%1").arg(page));
    Hint::apply(sheet, hints[page]);
    pageControl_->addTab(sheet, QStringLiteral("Page &%1").arg(page));
    pageControl_->setTabToolTip(page, Hint::shortPart(hints[page]));
  }
  connect(pageControl_, &QTabWidget::currentChanged, this, &TRegFrm::PageControlChange);
  layout->addWidget(pageControl_);
  return group;
}

QWidget* TRegFrm::buildDiagnosisPage() {
  auto* sheet = new QWidget;
  auto* grid = new QGridLayout(sheet);
  grid->setHorizontalSpacing(10);
  const struct {
    const char* name;
    std::uint8_t address;
    QString hint;
  } fields[] = {{"LIDHR", LIDHR, QStringLiteral("Last IDentifier High Register")},
                {"LIDLR", LIDLR, QStringLiteral("Last IDentifier Low Register")},
                {"TECR", TECR, QStringLiteral("Transmit Error CounteR")},
                {"RECR", RECR, QStringLiteral("Receive Error Counter")}};
  int column = 0;
  for (const auto& f : fields) {
    THexEdit* field = makeField(QString::fromLatin1(f.name), f.address, f.hint);
    pageFields_[DiagnosisPage].push_back({field, PageIndex(f.address)});
    if (column == 2) grid->setColumnMinimumWidth(column++, 24);  // identifier apart from the counters
    addLabelledField(grid, column++, QString::fromLatin1(f.name), field);
  }
  grid->setColumnStretch(column, 1);
  grid->setRowStretch(2, 1);
  return sheet;
}

QWidget* TRegFrm::buildBufferPage(int page) {
  auto* sheet = new QWidget;
  auto* layout = new QVBoxLayout(sheet);
  const QString n = QString::number(page);

  auto* top = new QHBoxLayout;
  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(10);
  THexEdit* idhr = makeField(QStringLiteral("IDHR") + n, IDHR, QStringLiteral("IDentifier High Register"));
  THexEdit* idlr = makeField(QStringLiteral("IDLR") + n, IDLR, QStringLiteral("IDentifier Low Register"));
  THexEdit* bcsr = makeField(QStringLiteral("BCSR") + n, BCSR, QStringLiteral("Buffer Control/Status Register"));
  addLabelledField(grid, 0, QStringLiteral("IDHR"), idhr);
  addLabelledField(grid, 1, QStringLiteral("IDLR"), idlr);
  addLabelledField(grid, 2, QStringLiteral("BCSR"), bcsr);
  top->addLayout(grid);
  top->addSpacing(16);

  auto* stateGroup = new QGroupBox(QStringLiteral("Buffer state"));
  stateGroup->setObjectName(QStringLiteral("BufferState") + n);
  auto* stateLayout = new QVBoxLayout(stateGroup);
  auto* status = new QLabel(QStringLiteral("TX / Empty"));
  status->setObjectName(QStringLiteral("Status") + n);
  status->setAlignment(Qt::AlignCenter);
  status->setMinimumWidth(status->fontMetrics().horizontalAdvance(QStringLiteral("TX \\Pending")) + 8);
  stateLayout->addWidget(status);
  top->addWidget(stateGroup);
  top->addStretch(1);
  layout->addLayout(top);

  auto* dataGroup = new QGroupBox(QStringLiteral("Data"));
  dataGroup->setObjectName(QStringLiteral("DataGroup") + n);
  auto* data = new QHBoxLayout(dataGroup);
  data->addWidget(new QLabel(QStringLiteral("0")), 0, Qt::AlignVCenter);
  std::vector<PageField> dataFields;
  for (int i = 0; i < 8; ++i) {
    const auto address = static_cast<std::uint8_t>(Data0 + i);
    THexEdit* field = makeField(QStringLiteral("Data%1%2").arg(i).arg(page), address, QString());
    dataFields.push_back({field, PageIndex(address)});
    data->addWidget(field);
  }
  data->addWidget(new QLabel(QStringLiteral("7")), 0, Qt::AlignVCenter);
  data->addStretch(1);
  layout->addWidget(dataGroup);
  layout->addStretch(1);

  bcsr_[page] = bcsr;
  status_[page] = status;
  pageFields_[page] = {{idhr, PageIndex(IDHR)}, {idlr, PageIndex(IDLR)}, {bcsr, PageIndex(BCSR)}};
  pageFields_[page].insert(pageFields_[page].end(), dataFields.begin(), dataFields.end());
  return sheet;
}

QWidget* TRegFrm::buildFilterPage() {
  auto* sheet = new QWidget;
  auto* layout = new QHBoxLayout(sheet);
  layout->setContentsMargins(6, 6, 6, 6);
  const QString titles[2] = {QStringLiteral("&Filter 0"), QStringLiteral("F&ilter 1")};
  for (int filter = 0; filter < 2; ++filter) {
    auto* group = new QGroupBox(titles[filter]);
    group->setObjectName(QStringLiteral("FilterGroup%1").arg(filter));
    auto* grid = new QGridLayout(group);
    grid->setContentsMargins(4, 6, 4, 6);
    grid->setHorizontalSpacing(4);
    const QString n = QString::number(filter);
    const struct {
      QString name;
      QString hint;
    } fields[] = {{QStringLiteral("FHR") + n, QStringLiteral("Filter High Register")},
                  {QStringLiteral("FLR") + n, QStringLiteral("Filter Low Register")},
                  {QStringLiteral("MHR") + n, QStringLiteral("Mask High Register")},
                  {QStringLiteral("MLR") + n, QStringLiteral("Mask Low Register")}};
    for (int offset = 0; offset < 4; ++offset) {
      const std::uint8_t address = FilterRegister(filter, offset);
      THexEdit* field = makeField(fields[offset].name, address, fields[offset].hint);
      pageFields_[FilterPage].push_back({field, PageIndex(address)});
      addLabelledField(grid, offset, fields[offset].name, field);
    }
    grid->setRowStretch(2, 1);
    layout->addWidget(group);
  }
  return sheet;
}

void TRegFrm::chainFocus(const std::vector<QWidget*>& chain) {
  for (std::size_t i = 0; i + 1 < chain.size(); ++i)
    if (auto* field = qobject_cast<THexEdit*>(chain[i])) field->setSendFocusCtrl(chain[i + 1]);
}

void TRegFrm::setTabOrderFrom(const std::vector<QWidget*>& order) {
  for (std::size_t i = 0; i + 1 < order.size(); ++i) QWidget::setTabOrder(order[i], order[i + 1]);
}
