#include "TraceFrm.h"

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHideEvent>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include "AppError.h"
#include "HintPanel.h"
#include "ProfileFile.h"
#include "RegisterSession.h"
#include "SettingsStore.h"
#include "ThrTimer.h"
#include "TraceFile.h"
#include "canregthread.h"

namespace {

const QString kSettingsKey = QStringLiteral("Trace");
const QString kEnabledValue = QStringLiteral("Enabled");

// The window's client area: its size hint is the design size, which the
// dock widget takes when it first floats.
class TraceClient : public QWidget {
 public:
  using QWidget::QWidget;
  QSize sizeHint() const override { return {TTraceFrm::DesignWidth, TTraceFrm::DesignHeight}; }
};

}  // namespace

TTraceFrm::TTraceFrm(IToolWindowHost& host, QWidget* parent) : TToolWindowOf(host, parent) {
  setObjectName(QStringLiteral("TraceFrm"));
  setWindowTitle(QStringLiteral("Trace"));
  setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
  setAllowedAreas(Qt::AllDockWidgetAreas);
  BuildControls();

  timer_ = AddTimer(QStringLiteral("Timer"), TimerInterval, TimerState::Disabled, [this] { RefreshTrcTimer(); });
  OnFileEntry(QString::fromLatin1(LoadEntry), [this](const QString& path) { LoadTraceFile(path); });
  OnFileEntry(QString::fromLatin1(SaveEntry), [this](const QString& path) { SaveTraceFile(path); });

  // Hidden on the first start; afterwards the saved state decides.
  hide();
}

void TTraceFrm::BuildControls() {
  auto* client = new TraceClient(this);
  client->setObjectName(QStringLiteral("TraceClient"));
  auto* column = new QVBoxLayout(client);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);

  panel_ = new QFrame(client);
  panel_->setObjectName(QStringLiteral("Panel"));
  panel_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  panel_->setFixedHeight(PanelHeight);
  auto* row = new QHBoxLayout(panel_);
  row->setContentsMargins(8, 0, 8, 0);

  enableTrc_ = new QCheckBox(QStringLiteral("Trace &enabled"), panel_);
  enableTrc_->setObjectName(QStringLiteral("EnableTrc"));
  Hint::apply(enableTrc_, QStringLiteral("Enable/Disable the trace function for received messages"));
  connect(enableTrc_, &QCheckBox::toggled, this, [this] { EnableTrcClick(); });

  clrTrc_ = new QPushButton(QStringLiteral("&Clear"), panel_);
  clrTrc_->setObjectName(QStringLiteral("ClrTrc"));
  clrTrc_->setFixedSize(75, 25);
  Hint::apply(clrTrc_, QStringLiteral("Clear the trace"));
  connect(clrTrc_, &QPushButton::clicked, this, [this] { ClrTrcClick(); });

  row->addWidget(enableTrc_);
  row->addStretch(1);
  row->addWidget(clrTrc_);

  listTrc_ = new QTableView(client);
  listTrc_->setObjectName(QStringLiteral("ListTrc"));
  listTrc_->setModel(&model_);
  listTrc_->setShowGrid(false);
  listTrc_->setWordWrap(false);
  listTrc_->setSortingEnabled(false);
  listTrc_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  listTrc_->setSelectionBehavior(QAbstractItemView::SelectRows);
  listTrc_->setSelectionMode(QAbstractItemView::SingleSelection);
  listTrc_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  // A report list: no row numbers, one text line per row, every row alike
  // (a fixed height keeps long traces cheap to lay out).
  QHeaderView* rows = listTrc_->verticalHeader();
  rows->hide();
  rows->setSectionResizeMode(QHeaderView::Fixed);
  rows->setDefaultSectionSize(listTrc_->fontMetrics().height() + 4);
  QHeaderView* columns = listTrc_->horizontalHeader();
  columns->setSectionsClickable(false);  // the column headers do not react to clicks
  columns->setHighlightSections(false);
  columns->setStretchLastSection(false);
  columns->setSectionResizeMode(QHeaderView::Interactive);
  columns->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  for (int c = 0; c < TTraceListModel::ColumnCount; ++c)
    columns->resizeSection(c, c == TTraceListModel::ColData ? DataColumnWidth : 50);

  column->addWidget(panel_);
  column->addWidget(listTrc_, 1);
  setWidget(client);

  setTabOrder(enableTrc_, clrTrc_);
  setTabOrder(clrTrc_, listTrc_);
}

// ---- handlers ------------------------------------------------------------------

void TTraceFrm::RefreshTrcTimer() {
  if (!Connected() || !isVisible() || !TTraceReceiver::FramesWaiting(Registers()->GetMainRegisters())) return;
  RunRegisterAccess([this](TRegisterSession& session) {
    if (std::optional<TTraceLine> line = receiver_.TakeFrame(session)) model_.append(std::move(*line));
  });
}

void TTraceFrm::EnableTrcClick() {
  timer_->setEnabled(enableTrc_->isChecked());
}

void TTraceFrm::ClrTrcClick() {
  model_.clear();
}

// ---- trace files -----------------------------------------------------------------

void TTraceFrm::LoadTrace(const ProfileFile& file) {
  // One reset of the model: the list is laid out once, not line by line.
  model_.replace(TraceFile::Read(file));
}

void TTraceFrm::SaveTrace(ProfileFile& file) {
  TraceFile::Write(model_.lines(), file);
}

void TTraceFrm::LoadTraceFile(const QString& path) {
  const ProfileFile file(path);
  if (!file.loadError().isEmpty()) throw EAppError(file.loadError().toStdString());
  LoadTrace(file);
}

void TTraceFrm::SaveTraceFile(const QString& path) {
  ProfileFile file(path);
  SaveTrace(file);
  file.save();
}

// ---- creation, hiding, closing -----------------------------------------------------

void TTraceFrm::formCreate() {
  // A missing key or value, or one of another type, leaves the check box
  // unchecked and the timer disabled.
  const SettingsStore key(kSettingsKey);
  if (const std::optional<bool> enabled = key.readBool(kEnabledValue)) {
    enableTrc_->setChecked(*enabled);
    EnableTrcClick();
  }
}

void TTraceFrm::hideEvent(QHideEvent* event) {
  QDockWidget::hideEvent(event);
  // A spontaneous hide (the main window minimised) leaves the window shown.
  if (!event->spontaneous()) FormHide();
}

void TTraceFrm::FormHide() {
  SettingsStore key(kSettingsKey);
  key.writeBool(kEnabledValue, enableTrc_->isChecked());
  key.sync();  // a failing write is ignored
}
