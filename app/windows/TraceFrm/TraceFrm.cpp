#include "TraceFrm.h"

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHideEvent>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QShowEvent>
#include <QStyle>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <chrono>

#include "AppError.h"
#include "CandumpExport.h"
#include "HintPanel.h"
#include "ProfileFile.h"
#include "SettingsStore.h"
#include "ThrTimer.h"
#include "TraceFile.h"
#include "canregthread.h"

const QString TTraceFrm::OverrunsCaption = QStringLiteral("Overruns: %1");

namespace {

const QString kSettingsKey = QStringLiteral("Trace");
const QString kEnabledValue = QStringLiteral("Enabled");

// The widest text each column holds, in the list's font: a time of up to a
// day, an identifier, a length code up to 15, eight data bytes, a filter and
// a buffer number. Hex digits differ in width in most fonts, so the widest
// one stands for all.
int WidestCell(int column, const QFontMetrics& font) {
  int digit = 0;
  for (const QChar c : QStringLiteral("0123456789ABCDEF")) digit = std::max(digit, font.horizontalAdvance(c));
  const int blank = font.horizontalAdvance(QLatin1Char(' '));
  switch (column) {
    case TTraceListModel::ColTime:
      return 8 * digit + font.horizontalAdvance(QLatin1Char('.'));
    case TTraceListModel::ColId:
      return 3 * digit;
    case TTraceListModel::ColDlc:
      return 2 * digit;
    case TTraceListModel::ColData:
      return 8 * (2 * digit + blank);
    default:
      return digit;
  }
}
constexpr int kCellPadding = 14;  // the style's margins on both sides of a cell's text, and a little air

// The window's client area: its size hint is the design size, widened to
// show the list's columns whole, which the dock widget takes when it first
// floats.
class TTraceClient : public QWidget {
 public:
  using QWidget::QWidget;
  QSize sizeHint() const override {
    int width = TTraceFrm::DesignWidth;
    if (list) {
      const int scrollBar = list->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, list);
      width = std::max(width, list->horizontalHeader()->length() + 2 * list->frameWidth() + scrollBar + 2);
    }
    return {width, TTraceFrm::DesignHeight};
  }

  const QTableView* list = nullptr;  // the window's list, once built
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
  OnFileEntry(QString::fromLatin1(ExportEntry), [this](const QString& path) { ExportTraceFile(path); });

  // Hidden on the first start; afterwards the saved state decides.
  hide();
}

void TTraceFrm::BuildControls() {
  auto* client = new TTraceClient(this);
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

  overrunsLabel_ = new QLabel(panel_);
  overrunsLabel_->setObjectName(QStringLiteral("Overruns"));
  Hint::apply(overrunsLabel_,
              QStringLiteral("Frames lost by the CAN cell|Times since the last Clear that the cell lost frames "
                             "because its three receive buffers were full: the list is then incomplete."));

  clrTrc_ = new QPushButton(QStringLiteral("&Clear"), panel_);
  clrTrc_->setObjectName(QStringLiteral("ClrTrc"));
  clrTrc_->setFixedSize(75, 25);
  Hint::apply(clrTrc_, QStringLiteral("Clear the trace"));
  connect(clrTrc_, &QPushButton::clicked, this, [this] { ClrTrcClick(); });

  row->addWidget(enableTrc_);
  row->addStretch(1);
  row->addWidget(overrunsLabel_);
  row->addSpacing(8);
  row->addWidget(clrTrc_);
  ShowOverruns();

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
  SizeColumns();
  client->list = listTrc_;

  column->addWidget(panel_);
  column->addWidget(listTrc_, 1);
  setWidget(client);

  setTabOrder(enableTrc_, clrTrc_);
  setTabOrder(clrTrc_, listTrc_);
}

void TTraceFrm::SizeColumns() {
  QHeaderView* columns = listTrc_->horizontalHeader();
  const QFontMetrics cells = listTrc_->fontMetrics();
  const QFontMetrics captions = columns->fontMetrics();
  for (int c = 0; c < TTraceListModel::ColumnCount; ++c) {
    const int text = std::max(WidestCell(c, cells), captions.horizontalAdvance(TTraceListModel::columnCaption(c)));
    columns->resizeSection(c, text + kCellPadding);
  }
}

void TTraceFrm::ShowOverruns() {
  const std::uint32_t count = overruns_.Count();
  overrunsLabel_->setText(OverrunsCaption.arg(count));
  // Red once frames were lost, in the window text colour otherwise.
  QPalette colours = overrunsLabel_->parentWidget()->palette();
  if (count > 0) colours.setColor(QPalette::WindowText, QColor(255, 0, 0));
  overrunsLabel_->setPalette(colours);
}

// ---- handlers ------------------------------------------------------------------

void TTraceFrm::RefreshTrcTimer() {
  UpdateReception();
}

void TTraceFrm::UpdateReception() {
  TCANRegAccessThread* registers = Registers();
  if (!registers) return;
  if (receiver_ == 0) {
    if (!enableTrc_->isChecked()) return;
    receiver_ = registers->AddReceiver(this, [this](const TReception& reception) { FramesReceived(reception); });
  }
  registers->SetReceiving(receiver_, enableTrc_->isChecked() && isVisible());
}

void TTraceFrm::FramesReceived(const TReception& reception) {
  if (!reception.frames.empty()) {
    std::vector<TTraceLine> lines;
    std::vector<TTraceListing> listings;
    lines.reserve(reception.frames.size());
    listings.reserve(reception.frames.size());
    for (const TReceivedFrame& frame : reception.frames) {
      lines.push_back(TTraceLine::FromBufferPage(frame.page, frame.buffer));
      listings.push_back({frame.read, lines.back().isRemote(), true});
    }
    // The list follows the new lines, unless the user has scrolled up to read.
    const QScrollBar* bar = listTrc_->verticalScrollBar();
    const bool following = bar->value() == bar->maximum();
    model_.append(std::move(lines), std::move(listings));
    if (following) listTrc_->scrollToBottom();
  }
  const std::uint32_t before = overruns_.Count();
  overruns_.Observe(reception.overruns, reception.overrunNow);
  if (overruns_.Count() != before) ShowOverruns();
}

void TTraceFrm::EnableTrcClick() {
  timer_->setEnabled(enableTrc_->isChecked());
  UpdateReception();
}

void TTraceFrm::ClrTrcClick() {
  model_.clear();
  overruns_.Reset();
  ShowOverruns();
}

// ---- trace files -----------------------------------------------------------------

void TTraceFrm::LoadTrace(const TProfileFile& file) {
  // One reset of the model: the list is laid out once, not line by line.
  TraceFile::Contents contents = TraceFile::Read(file, std::chrono::system_clock::now());
  model_.replace(std::move(contents.lines), std::move(contents.listings));
  // The count spoke of the list just replaced.
  overruns_.Reset();
  ShowOverruns();
}

void TTraceFrm::SaveTrace(TProfileFile& file) {
  TraceFile::Write(model_.lines(), model_.listings(), file);
}

void TTraceFrm::LoadTraceFile(const QString& path) {
  const TProfileFile file(path);
  if (!file.loadError().isEmpty()) throw EAppError(file.loadError().toStdString());
  LoadTrace(file);
}

void TTraceFrm::SaveTraceFile(const QString& path) {
  TProfileFile file(path);
  SaveTrace(file);
  file.save();
}

void TTraceFrm::ExportTraceFile(const QString& path) {
  const CandumpExport::Result result = CandumpExport::Write(path, model_.lines(), model_.listings());
  const QString leftOut = CandumpExport::LeftOutMessage(result, path);
  if (!leftOut.isEmpty()) Host().ShowError(leftOut);
}

// ---- creation, hiding, closing -----------------------------------------------------

void TTraceFrm::formCreate() {
  // A missing key or value, or one of another type, leaves the check box
  // unchecked and the timer disabled.
  created_ = true;
  const TSettingsStore key(kSettingsKey);
  if (const std::optional<bool> enabled = key.readBool(kEnabledValue)) {
    enableTrc_->setChecked(*enabled);
    EnableTrcClick();
  }
}

void TTraceFrm::showEvent(QShowEvent* event) {
  QDockWidget::showEvent(event);
  UpdateReception();
}

void TTraceFrm::hideEvent(QHideEvent* event) {
  QDockWidget::hideEvent(event);
  UpdateReception();
  // A spontaneous hide (the main window minimised) leaves the window shown.
  if (!event->spontaneous() && created_) FormHide();
}

void TTraceFrm::FormHide() {
  TSettingsStore key(kSettingsKey);
  key.writeBool(kEnabledValue, enableTrc_->isChecked());
  key.sync();  // a failing write is ignored
}
