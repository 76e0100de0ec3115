// The Trace window without a board: its controls, the "Trace/Enabled"
// setting, closing, clearing, trace files, and a long list.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>

#include "AppError.h"
#include "FakeToolWindowHost.h"
#include "ProfileFile.h"
#include "RegisterJob.h"
#include "SettingsStore.h"
#include "ThrTimer.h"
#include "TraceFile.h"
#include "TraceFrm.h"
#include "TraceLinePrinter.h"

namespace {

TTraceLine Line(int k) {
  return TTraceLine{QStringLiteral("%1").arg(k & 0x7FF, 3, 16, QLatin1Char('0')).toUpper(), "1",
                    QStringLiteral("%1 ").arg(k & 0xFF, 2, 16, QLatin1Char('0')).toUpper(), "0", "1"};
}

// The window docked in a main window, as the program places it.
class TraceWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    TSettingsStore("Trace").remove("Enabled");
    TSettingsStore("FormPositions/TraceFrm").remove("Left");  // nothing restored: the design state stays
    // Shown as far as the widgets know, but never put on a screen: Qt's
    // backing store would otherwise paint on its thread pool, which the
    // ThreadSanitizer build cannot follow (Qt is not instrumented).
    main_.setAttribute(Qt::WA_DontShowOnScreen);
    main_.resize(900, 700);
    frm_ = new TTraceFrm(host_, &main_);
    main_.addDockWidget(Qt::RightDockWidgetArea, frm_);
  }
  void TearDown() override { TSettingsStore("Trace").remove("Enabled"); }

  std::optional<qint32> StoredEnabled() const { return TSettingsStore("Trace").readInt("Enabled"); }

  FakeToolWindowHost host_;
  QMainWindow main_;
  TTraceFrm* frm_ = nullptr;  // child of main_
  QTemporaryDir dir_;
};

}  // namespace

TEST_F(TraceWindow, ControlsAsDesigned) {
  EXPECT_EQ(frm_->objectName(), "TraceFrm");
  EXPECT_EQ(frm_->windowTitle(), "Trace");
  EXPECT_EQ(frm_->componentName(), "TraceFrm");

  EXPECT_EQ(frm_->EnableTrc()->objectName(), "EnableTrc");
  EXPECT_EQ(frm_->EnableTrc()->text(), "Trace &enabled");
  EXPECT_FALSE(frm_->EnableTrc()->isChecked());
  EXPECT_EQ(frm_->EnableTrc()->toolTip(), "Enable/Disable the trace function for received messages");
  EXPECT_EQ(frm_->ClrTrc()->objectName(), "ClrTrc");
  EXPECT_EQ(frm_->ClrTrc()->text(), "&Clear");
  EXPECT_EQ(frm_->ClrTrc()->toolTip(), "Clear the trace");
  EXPECT_EQ(frm_->ClrTrc()->statusTip(), "Clear the trace");
  auto* panel = frm_->findChild<QWidget*>("Panel");
  ASSERT_NE(panel, nullptr);
  EXPECT_EQ(panel->height(), TTraceFrm::PanelHeight);
  EXPECT_EQ(frm_->EnableTrc()->parentWidget(), panel);
  EXPECT_EQ(frm_->ClrTrc()->parentWidget(), panel);
  EXPECT_EQ(frm_->Overruns()->objectName(), "Overruns");
  EXPECT_EQ(frm_->Overruns()->parentWidget(), panel);
  EXPECT_EQ(frm_->Overruns()->text(), "Overruns: 0");

  QTableView* list = frm_->ListTrc();
  EXPECT_EQ(list->objectName(), "ListTrc");
  QHeaderView* header = list->horizontalHeader();
  const QStringList captions{"Time", "ID", "DLC", "Data", "Filter", "Buffer"};
  ASSERT_EQ(list->model()->columnCount(), captions.size());
  for (int c = 0; c < captions.size(); ++c)
    EXPECT_EQ(list->model()->headerData(c, Qt::Horizontal).toString(), captions[c]);
  // Eight data bytes show whole, as does every column's caption.
  for (const char* bytes : {"00 00 00 00 00 00 00 00 ", "FF FF FF FF FF FF FF FF ", "88 88 88 88 88 88 88 88 "})
    EXPECT_GT(header->sectionSize(TTraceListModel::ColData), list->fontMetrics().horizontalAdvance(bytes) + 6) << bytes;
  for (int c = 0; c < captions.size(); ++c)
    EXPECT_GT(header->sectionSize(c), header->fontMetrics().horizontalAdvance(captions[c])) << c;
  // The dock's first size shows every column without scrolling sideways.
  EXPECT_GE(frm_->widget()->sizeHint().width(), header->length());
  EXPECT_EQ(frm_->widget()->sizeHint().height(), TTraceFrm::DesignHeight);
  EXPECT_FALSE(header->sectionsClickable());
  EXPECT_FALSE(list->isSortingEnabled());

  // Right: Time; centred: DLC, Filter, Buffer; left: ID, Data.
  const Qt::Alignment expected[] = {Qt::AlignRight, Qt::AlignLeft,    Qt::AlignHCenter,
                                    Qt::AlignLeft,  Qt::AlignHCenter, Qt::AlignHCenter};
  for (int c = 0; c < 6; ++c)
    EXPECT_EQ(TTraceListModel::columnAlignment(c) & Qt::AlignHorizontal_Mask, expected[c]) << c;

  // The timer: a child the main window finds at close, disabled, 500 ms.
  const auto timers = frm_->findChildren<TThreadedTimer*>();
  ASSERT_EQ(timers.size(), 1);
  EXPECT_EQ(timers[0], frm_->Timer());
  EXPECT_EQ(timers[0]->objectName(), "Timer");
  EXPECT_FALSE(frm_->Timer()->enabled());
  EXPECT_EQ(frm_->Timer()->interval(), 500);
  EXPECT_TRUE(frm_->Timer()->hasOnTimer());

  // Hidden until its saved state or the menu shows it.
  main_.show();
  EXPECT_FALSE(frm_->isVisible());
}

TEST_F(TraceWindow, TheCheckBoxDrivesTheTimer) {
  main_.show();
  frm_->show();
  QTest::mouseClick(frm_->EnableTrc(), Qt::LeftButton);
  EXPECT_TRUE(frm_->EnableTrc()->isChecked());
  EXPECT_TRUE(frm_->Timer()->enabled());
  QTest::mouseClick(frm_->EnableTrc(), Qt::LeftButton);
  EXPECT_FALSE(frm_->Timer()->enabled());
}

TEST_F(TraceWindow, CreationRestoresTraceEnabled) {
  TSettingsStore("Trace").writeInt("Enabled", 1);
  frm_->createForm();
  EXPECT_TRUE(frm_->EnableTrc()->isChecked());
  EXPECT_TRUE(frm_->Timer()->enabled());
}

TEST_F(TraceWindow, CreationWithoutAUsableValueKeepsTheDesignState) {
  frm_->createForm();  // no value
  EXPECT_FALSE(frm_->EnableTrc()->isChecked());
  EXPECT_FALSE(frm_->Timer()->enabled());

  TSettingsStore("Trace").writeString("Enabled", "yes");  // text that is no integer
  TTraceFrm other(host_);
  other.createForm();
  EXPECT_FALSE(other.EnableTrc()->isChecked());
  EXPECT_FALSE(other.Timer()->enabled());
}

TEST_F(TraceWindow, HidingWritesTraceEnabledOnceCreated) {
  main_.show();
  frm_->show();
  frm_->hide();  // as restoring its position may, before the setting is read
  EXPECT_EQ(StoredEnabled(), std::nullopt);

  frm_->createForm();
  frm_->show();
  frm_->EnableTrc()->setChecked(true);
  frm_->hide();
  EXPECT_EQ(StoredEnabled(), 1);

  frm_->show();
  frm_->EnableTrc()->setChecked(false);
  frm_->hide();
  EXPECT_EQ(StoredEnabled(), 0);
}

TEST_F(TraceWindow, ClosingHidesAndUndocks) {
  frm_->createForm();
  main_.show();
  frm_->show();
  ASSERT_FALSE(frm_->isFloating());
  const QSize client = frm_->widget()->size();
  frm_->EnableTrc()->setChecked(true);

  EXPECT_TRUE(frm_->close());
  EXPECT_TRUE(frm_->isHidden());
  EXPECT_TRUE(frm_->isFloating());
  EXPECT_EQ(frm_->size(), client);
  EXPECT_EQ(StoredEnabled(), 1);                   // written as it was hidden
  EXPECT_TRUE(frm_->Timer()->enabled());           // closing does not stop tracing
  EXPECT_EQ(main_.findChild<TTraceFrm*>(), frm_);  // not destroyed
}

TEST_F(TraceWindow, ClearAndTraceFiles) {
  const QString path = dir_.filePath("t.trc");
  {
    TProfileFile file(path);
    TraceFile::Write({Line(1), Line(2), Line(3)}, {}, file);
    file.save();
  }
  TProfileFile in(path);
  frm_->LoadTrace(in);
  ASSERT_EQ(frm_->Lines().rowCount(), 3);
  EXPECT_EQ(frm_->ListTrc()->model()->index(1, TTraceListModel::ColId).data().toString(), "002");
  EXPECT_EQ(frm_->ListTrc()->model()->index(1, TTraceListModel::ColData).data().toString(), "02 ");

  TProfileFile out(dir_.filePath("u.trc"));
  frm_->SaveTrace(out);
  out.save();
  EXPECT_EQ(out.contents(), in.contents());

  main_.show();
  frm_->show();
  QTest::mouseClick(frm_->ClrTrc(), Qt::LeftButton);
  EXPECT_EQ(frm_->Lines().rowCount(), 0);

  // Loading replaces what the list held.
  frm_->LoadTrace(in);
  frm_->LoadTrace(in);
  EXPECT_EQ(frm_->Lines().rowCount(), 3);
}

// The File menu's export of a loaded trace: lines loaded from a file count as
// data frames listed when they were loaded; a damaged line is left out and
// named on the error display; an unwritable place is an error and leaves no
// file.
TEST_F(TraceWindow, ExportOfALoadedTrace) {
  const QString tracePath = dir_.filePath("t.trc");
  {
    QFile file(tracePath);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(
        "[General]\nNbLines=3\n"
        "[Line1]\nID=123\nDLC=2\nData=12 AB \nFilter=0\nBuffer=1\n"
        "[Line2]\nID=?\nDLC=1\nData=01 \nFilter=0\nBuffer=1\n"
        "[Line3]\nID=7FF\nDLC=8\nData=01 02 03 04 05 06 07 08 \nFilter=1\nBuffer=2\n");
  }
  const auto before = std::chrono::system_clock::now();
  frm_->LoadTraceFile(tracePath);
  ASSERT_EQ(frm_->Lines().listings().size(), 3u);
  EXPECT_GE(frm_->Lines().listings()[0].listed, before);
  EXPECT_FALSE(frm_->Lines().listings()[2].remote);

  const QString logPath = dir_.filePath("t.log");
  ASSERT_TRUE(frm_->RunFileEntry(TTraceFrm::ExportEntry, logPath));
  QFile log(logPath);
  ASSERT_TRUE(log.open(QIODevice::ReadOnly));
  const QStringList lines = QString::fromLatin1(log.readAll()).split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 2);
  EXPECT_TRUE(lines[0].endsWith(") vorelan0 123#12AB")) << lines[0].toStdString();
  EXPECT_TRUE(lines[1].endsWith(") vorelan0 7FF#0102030405060708")) << lines[1].toStdString();
  EXPECT_EQ(host_.errors, QStringList{"Line 2 of the trace is not a CAN frame and was left out of " + logPath});

  const QString nowhere = dir_.filePath("missing folder/t.log");
  try {
    frm_->ExportTraceFile(nowhere);
    ADD_FAILURE() << "no error";
  } catch (const EAppError& e) {
    EXPECT_EQ(QString::fromStdString(e.what()), "Unable to write to " + nowhere);
  }
  EXPECT_FALSE(QFileInfo::exists(nowhere));
}

// Batches from the register access thread: one insertion each, the time of
// each line since the first, and a list that follows the new lines unless
// the user has scrolled up to read.
TEST_F(TraceWindow, BatchesAreListedWithTheirTimeAndTheListFollowsThem) {
  main_.show();
  frm_->show();
  const auto start = std::chrono::system_clock::now();
  int k = 0;
  const auto batch = [&](int frames) {
    TReception reception;
    for (int i = 0; i < frames; ++i, ++k) {
      TRegisterImages::PageImage page{};
      page[0] = std::uint8_t(k);           // IDHR
      page[1] = k % 7 == 6 ? 0x11 : 0x01;  // one data byte; every seventh a remote frame
      reception.frames.push_back({1, page, start + std::chrono::milliseconds(1500 * k)});
    }
    frm_->FramesReceived(reception);
    QCoreApplication::processEvents();
  };
  QSignalSpy inserts(&frm_->Lines(), &QAbstractItemModel::rowsInserted);
  batch(3);
  EXPECT_EQ(inserts.count(), 1);
  const QAbstractItemModel* model = frm_->ListTrc()->model();
  EXPECT_EQ(model->index(0, TTraceListModel::ColTime).data().toString(), "0.000");
  EXPECT_EQ(model->index(2, TTraceListModel::ColTime).data().toString(), "3.000");
  for (int b = 0; b < 40; ++b) batch(5);
  QScrollBar* bar = frm_->ListTrc()->verticalScrollBar();
  ASSERT_GT(bar->maximum(), 0);
  EXPECT_EQ(bar->value(), bar->maximum());
  EXPECT_EQ(model->index(6, TTraceListModel::ColData).data().toString(), "R");
  EXPECT_TRUE(frm_->Lines().listings()[6].remote);

  const int reading = bar->maximum() / 2;  // the user reads an earlier line
  bar->setValue(reading);
  batch(5);
  EXPECT_EQ(bar->value(), reading);
  EXPECT_EQ(frm_->Lines().rowCount(), 208);
}

TEST_F(TraceWindow, TicksDoNothingWithoutALink) {
  main_.show();
  frm_->show();
  frm_->RefreshTrcTimer();  // not connected, no thread
  host_.connected = true;
  frm_->RefreshTrcTimer();  // connected but no thread: the nodes could not be created
  EXPECT_EQ(frm_->Lines().rowCount(), 0);
  EXPECT_TRUE(host_.errors.isEmpty());
}

TEST_F(TraceWindow, AHundredThousandLinesStayAModel) {
  const QString path = dir_.filePath("big.trc");
  {
    QByteArray bytes = "[General]\nNbLines=100000\n";
    for (int k = 0; k < 100000; ++k) {
      const TTraceLine line = Line(k);
      bytes += "[Line" + QByteArray::number(k + 1) + "]\nID=" + line.id.toLatin1() + "\nDLC=" + line.dlc.toLatin1() +
               "\nData=\"" + line.data.toLatin1() + "\"\nFilter=" + line.filter.toLatin1() +
               "\nBuffer=" + line.buffer.toLatin1() + "\n";
    }
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
  }
  main_.show();
  frm_->show();
  const int widgetsBefore = frm_->ListTrc()->findChildren<QWidget*>().size();
  QSignalSpy resets(&frm_->Lines(), &QAbstractItemModel::modelReset);
  QSignalSpy inserts(&frm_->Lines(), &QAbstractItemModel::rowsInserted);

  TProfileFile file(path);
  frm_->LoadTrace(file);
  ASSERT_EQ(frm_->Lines().rowCount(), 100000);
  EXPECT_EQ(resets.count(), 1);  // filled at once, not line by line
  EXPECT_EQ(inserts.count(), 0);

  QTableView* list = frm_->ListTrc();
  list->scrollToBottom();
  QCoreApplication::processEvents();
  const QImage shot = frm_->grab().toImage();  // paints the visible rows only
  EXPECT_FALSE(shot.isNull());
  EXPECT_EQ(list->verticalScrollBar()->value(), list->verticalScrollBar()->maximum());
  EXPECT_EQ(list->rowAt(list->viewport()->height() - 2), 99999);
  // No widget per line: the view holds as many child widgets as when empty.
  EXPECT_EQ(list->findChildren<QWidget*>().size(), widgetsBefore);
  EXPECT_EQ(list->indexWidget(list->model()->index(99999, 0)), nullptr);
  EXPECT_EQ(list->model()->index(99999, TTraceListModel::ColData).data().toString(), Line(99999).data);
}
