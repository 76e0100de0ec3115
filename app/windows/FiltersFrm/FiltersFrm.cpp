#include "FiltersFrm.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>

#include "CanRegisterMap.h"
#include "Filters.h"
#include "HexEdit.h"
#include "HintPanel.h"
#include "canregthread.h"

using FilterRegisters::FilterSetting;
using FilterRegisters::FrameKind;

const QString TFiltersFrm::PointedRangeFormat = QStringLiteral("Pointed Range for %s : %3X - %3X");

namespace {

constexpr int IdDigits = 3;

THexEdit* hexEntry(const QString& name) {
  auto* field = new THexEdit;
  field->setObjectName(name);
  field->setDigits(IdDigits);
  field->setFixedSize(field->sizeHint());
  return field;
}

// More than 256 colours: the soft colours; otherwise teal and navy.
bool manyColours() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  return !screen || screen->depth() > 8;
}

}  // namespace

// ---- the frame kind choice ------------------------------------------------------------

TFrameKindChoice::TFrameKindChoice(const QString& name, QWidget* parent)
    : QGroupBox(QStringLiteral("&Frame Kind"), parent), buttons_(new QButtonGroup(this)) {
  setObjectName(name);
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(6, 2, 6, 4);
  grid->setVerticalSpacing(0);
  const QString captions[] = {QStringLiteral("&Data"), QStringLiteral("&Remote"), QStringLiteral("&Both")};
  for (int i = 0; i < 3; ++i) {
    auto* button = new QRadioButton(captions[i]);
    button->setObjectName(name + QString::number(i));
    buttons_->addButton(button, i);
    // Two columns, filled column by column: Data and Remote, then Both.
    grid->addWidget(button, i % 2, i / 2);
  }
}

FrameKind TFrameKindChoice::kind() const {
  const int index = buttons_->checkedId();
  return index < 0 ? FrameKind::None : FrameKind(index);
}

void TFrameKindChoice::setKind(FrameKind kind) {
  if (kind == FrameKind::None) {
    // An exclusive group keeps one button checked: let go for the moment.
    buttons_->setExclusive(false);
    for (QAbstractButton* b : buttons_->buttons()) b->setChecked(false);
    buttons_->setExclusive(true);
    return;
  }
  buttons_->button(int(kind))->setChecked(true);
}

// ---- the window -----------------------------------------------------------------------------

TFiltersFrm::TFiltersFrm(IToolWindowHost& host) : TToolWindowOf(host) {
  setObjectName(QStringLiteral("FiltersFrm"));
  setWindowTitle(QStringLiteral("Filters settings"));
  setMouseTracking(true);  // FormMouseMove

  auto* groups = new QHBoxLayout;
  groups->addWidget(buildFilterGroup(0));
  groups->addWidget(buildFilterGroup(1));

  filters1_ = new TFilters;
  filters1_->setObjectName(QStringLiteral("Filters1"));
  filters1_->setMaxValue(CanReg::MaxIdentifier);
  filters1_->setScaleSteps(16);
  filters1_->setScaleLittleSteps(2);
  filters1_->setColor(palette().color(QPalette::Button));
  filters1_->setMinimumHeight(110);
  connect(filters1_, &TFilters::mouseMove, this,
          [this](TFilters*, Qt::KeyboardModifiers, Qt::MouseButtons, int, int, int filterNumber, int begin, int end) {
            Filters1MouseMove(filterNumber, begin, end);
          });

  pointedRange_ = new QLabel;
  pointedRange_->setObjectName(QStringLiteral("PointedRange"));
  pointedRange_->hide();
  // The label comes and goes; its line keeps its height so the buttons stay put.
  auto* pointedLine = new QWidget;
  pointedLine->setMouseTracking(true);
  pointedLine->setFixedHeight(pointedRange_->sizeHint().height());
  auto* pointedLayout = new QHBoxLayout(pointedLine);
  pointedLayout->setContentsMargins(0, 0, 0, 0);
  pointedLayout->addWidget(pointedRange_);
  pointedLine->installEventFilter(this);

  refresh_ = new QPushButton(QStringLiteral("&Refresh"));
  refresh_->setObjectName(QStringLiteral("Refresh"));
  apply_ = new QPushButton(QStringLiteral("&Apply"));
  apply_->setObjectName(QStringLiteral("Apply"));
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(pointedLine, 1);
  buttons->addWidget(refresh_);
  buttons->addWidget(apply_);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(6, 6, 6, 6);
  layout->addLayout(groups);
  layout->addWidget(filters1_, 1);
  layout->addLayout(buttons);

  connect(refresh_, &QPushButton::clicked, this, &TFiltersFrm::RefreshClick);
  connect(apply_, &QPushButton::clicked, this, &TFiltersFrm::ApplyClick);
  connect(filters_[0].allIds, &QPushButton::clicked, this, &TFiltersFrm::AllIDs1Click);
  connect(filters_[1].allIds, &QPushButton::clicked, this, &TFiltersFrm::AllIDs2Click);

  // The Tab order: each filter's fields, then the buttons.
  QWidget* order[] = {filters_[0].id,   filters_[0].mask, filters_[0].kind,   filters_[0].allIds, filters_[1].id,
                      filters_[1].mask, filters_[1].kind, filters_[1].allIds, refresh_,           apply_};
  for (std::size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);
  filters_[0].id->setSendFocusCtrl(filters_[0].mask);
  filters_[1].id->setSendFocusCtrl(filters_[1].mask);

  resize(560, 330);
}

TFiltersFrm::~TFiltersFrm() {
  // The view goes with the other children; its signal must not reach a half-destroyed window.
  disconnect(filters1_, nullptr, this, nullptr);
}

QGroupBox* TFiltersFrm::buildFilterGroup(int filter) {
  const QString n = QString::number(filter);
  FilterControls& c = filters_[std::size_t(filter)];
  c.group = new QGroupBox(QStringLiteral("Filter &") + n);
  c.group->setObjectName(QStringLiteral("FilterGroup") + n);
  c.group->setMouseTracking(true);  // FormMouseMove
  c.group->installEventFilter(this);
  c.id = hexEntry(QStringLiteral("ID") + n);
  c.mask = hexEntry(QStringLiteral("Mask") + n);
  Hint::apply(c.mask, QStringLiteral("Mask for Filter %1. 0=don't care. 1=match required").arg(n));
  c.kind = new TFrameKindChoice(QStringLiteral("FrameKind") + n);
  c.allIds = new QPushButton(QStringLiteral("&All IDs"));
  c.allIds->setObjectName(QStringLiteral("AllIDs%1").arg(filter + 1));

  auto* grid = new QGridLayout(c.group);
  grid->setHorizontalSpacing(6);
  const std::pair<QString, THexEdit*> fields[] = {{QStringLiteral("&Identifier:"), c.id},
                                                  {QStringLiteral("&Mask:"), c.mask}};
  int row = 0;
  for (const auto& [caption, field] : fields) {
    auto* label = new QLabel(caption);
    label->setBuddy(field);
    grid->addWidget(label, row, 0);
    grid->addWidget(field, row, 1);
    grid->addWidget(new QLabel(QStringLiteral("(Hexa)")), row, 2);
    ++row;
  }
  grid->addWidget(c.kind, 0, 3, 2, 1);
  grid->addWidget(c.allIds, 2, 0, 1, 4, Qt::AlignLeft);
  grid->setColumnStretch(3, 1);

  // OnNibbleChange (every value change); ID0 also on a completed entry.
  connect(c.id, &THexEdit::nibbleChange, this, [this, filter] { IdChange(filter); });
  connect(c.mask, &THexEdit::nibbleChange, this, [this, filter] { MaskChange(filter); });
  if (filter == 0) connect(c.id, &THexEdit::change, this, [this] { IdChange(0); });
  return c.group;
}

// ---- creation ------------------------------------------------------------------------------

void TFiltersFrm::formCreate() {
  filters1_->setPaintEnabled(false);
  if (manyColours()) {
    filters1_->setFilterColor(1, QColor(103, 180, 180));
    filters1_->setFilterColor(2, QColor(102, 179, 255));
  } else {
    filters1_->setFilterColor(1, QColor(0, 128, 128));
    filters1_->setFilterColor(2, QColor(0, 0, 128));
  }
  filters1_->setFilterVisible(1, true);
  filters1_->setFilterVisible(2, true);
  filters1_->setFilterName(1, QStringLiteral("Filter 0"));
  filters1_->setFilterName(2, QStringLiteral("Filter 1"));
  RefreshClick();
  filters1_->setPaintEnabled(true);
  filters1_->update();
}

// ---- fields and the view ---------------------------------------------------------------------

void TFiltersFrm::IdChange(int filter) {
  THexEdit* field = filters_[std::size_t(filter)].id;
  if (field->value() > CanReg::MaxIdentifier) {
    field->setValue(field->value() & CanReg::MaxIdentifier);  // comes back here with the held value
    return;
  }
  filters1_->setFilterID(filter + 1, quint16(field->value()));
}

void TFiltersFrm::MaskChange(int filter) {
  THexEdit* field = filters_[std::size_t(filter)].mask;
  if (field->value() > CanReg::MaxIdentifier) {
    field->setValue(field->value() & CanReg::MaxIdentifier);
    return;
  }
  filters1_->setFilterMask(filter + 1, quint16(field->value()));
}

void TFiltersFrm::AllIDsClick(int filter) {
  FilterControls& c = filters_[std::size_t(filter)];
  const FilterSetting all = FilterRegisters::AcceptingAll(Setting(filter));
  c.mask->setValue(all.mask);  // reaches the view through MaskChange
  c.kind->setKind(all.kind);
}

void TFiltersFrm::AllIDs1Click() {
  AllIDsClick(0);
}

void TFiltersFrm::AllIDs2Click() {
  AllIDsClick(1);
}

FilterSetting TFiltersFrm::Setting(int filter) const {
  const FilterControls& c = filters_[std::size_t(filter)];
  return {quint16(c.id->value() & CanReg::MaxIdentifier), quint16(c.mask->value() & CanReg::MaxIdentifier),
          c.kind->kind()};
}

QString TFiltersFrm::PointedRangeText(const QString& filterName, int begin, int end) {
  return QString::asprintf(PointedRangeFormat.toLatin1().constData(), filterName.toUtf8().constData(), unsigned(begin),
                           unsigned(end));
}

void TFiltersFrm::Filters1MouseMove(int filterNumber, int beginRange, int endRange) {
  if (filterNumber == 0) {
    HidePointedRange();
    return;
  }
  pointedRange_->setText(PointedRangeText(filters1_->getFilterName(filterNumber), beginRange, endRange));
  pointedRange_->show();
}

void TFiltersFrm::HidePointedRange() {
  pointedRange_->clear();
  pointedRange_->hide();
}

void TFiltersFrm::mouseMoveEvent(QMouseEvent* event) {
  HidePointedRange();
  QWidget::mouseMoveEvent(event);
}

bool TFiltersFrm::eventFilter(QObject* watched, QEvent* event) {
  // The pointer over one of the groups counts as over the window itself.
  if (event->type() == QEvent::MouseMove && watched->isWidgetType() && watched != filters1_) HidePointedRange();
  return QWidget::eventFilter(watched, event);
}

bool TFiltersFrm::event(QEvent* event) {
  // ID1Change also runs when the window is activated.
  if (event->type() == QEvent::WindowActivate) IdChange(1);
  return QWidget::event(event);
}

// ---- the cell ---------------------------------------------------------------------------------

void TFiltersFrm::RefreshClick() {
  if (!Connected()) return;
  const TCANRegAccessThread::PageImage page = Registers()->GetPage(CanReg::FilterPage);
  filters1_->setPaintEnabled(false);
  for (int n = 0; n < 2; ++n) {
    const auto first = page.begin() + CanReg::PageIndex(CanReg::FilterRegister(n, 0));
    std::array<std::uint8_t, 4> registers{};
    std::copy(first, first + 4, registers.begin());
    const FilterSetting f = FilterRegisters::Decode(registers);
    FilterControls& c = filters_[std::size_t(n)];
    c.id->setValue(f.id);  // reaches the view through IdChange and MaskChange
    c.mask->setValue(f.mask);
    c.kind->setKind(f.kind);
  }
  filters1_->setPaintEnabled(true);
  filters1_->update();
}

void TFiltersFrm::ApplyClick() {
  if (!Connected()) return;
  const auto writes = FilterRegisters::WritesFor(Setting(0), Setting(1));
  std::array<TRegisterWrite, 8> onPage4;
  for (std::size_t i = 0; i < writes.size(); ++i) onPage4[i] = {writes[i].address, CanReg::FilterPage, writes[i].value};
  // The cell is on page 4 now: one pass reads the filters back. A failed
  // pass has shown its error; the window then shows what the image holds.
  RunRegisterJob({{onPage4.begin(), onPage4.end()}, TRegisterJob::Read::Cycle}, {apply_, refresh_},
                 [this](const TRegisterJobOutcome& outcome) {
                   if (outcome.written()) RefreshClick();
                 });
}
