// The Registers window without a link: its controls, their names, tags,
// hints and focus chains, what edits do to the display while not connected,
// and closing.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include <memory>

#include "BitButton.h"
#include "BitPanel.h"
#include "FakeToolWindowHost.h"
#include "HexEdit.h"
#include "RegFrm.h"
#include "ThrTimer.h"
#include "WindowTestSupport.h"

namespace {

class RegFrmLayout : public testing::Test {
 protected:
  void SetUp() override { window = std::make_unique<TRegFrm>(host); }

  QTabWidget* pageControl() const { return window->findChild<QTabWidget*>("PageControl"); }

  FakeToolWindowHost host;
  std::unique_ptr<TRegFrm> window;
};

struct FieldSpec {
  const char* name;
  int tag;
  const char* hint;
  const char* next;  // SendFocusCtrl
};

const FieldSpec kFields[] = {
    {"ISR", 0x5A, "Interrupt Status Register", "ICR"},
    {"ICR", 0x5B, "Interrupt Control Register", "CSR"},
    {"CSR", 0x5C, "Control Status Register", "BRPR"},
    {"BRPR", 0x5D, "Baud Rate Prescaler Register", "BTR"},
    {"BTR", 0x5E, "Bit Timing Register", "PSR"},
    {"PSR", 0x5F, "Page Selection Register", "PageControl"},
    {"LIDHR", 0x60, "Last IDentifier High Register", "LIDLR"},
    {"LIDLR", 0x61, "Last IDentifier Low Register", "TECR"},
    {"TECR", 0x6E, "Transmit Error CounteR", "RECR"},
    {"RECR", 0x6F, "Receive Error Counter", "PageControl"},
    {"FHR0", 0x60, "Filter High Register", "FLR0"},
    {"FLR0", 0x61, "Filter Low Register", "MHR0"},
    {"MHR0", 0x62, "Mask High Register", "MLR0"},
    {"MLR0", 0x63, "Mask Low Register", "FHR1"},
    {"FHR1", 0x64, "Filter High Register", "FLR1"},
    {"FLR1", 0x65, "Filter Low Register", "MHR1"},
    {"MHR1", 0x66, "Mask High Register", "MLR1"},
    {"MLR1", 0x67, "Mask Low Register", "PageControl"},
};

}  // namespace

TEST_F(RegFrmLayout, FieldsCarryTheirNamesTagsHintsAndFocusChains) {
  EXPECT_EQ(window->objectName(), "RegFrm");
  EXPECT_EQ(window->windowTitle(), "Registers");
  for (const FieldSpec& entry : kFields) {
    THexEdit* field = Field(window.get(), entry.name);
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->digits(), 2) << entry.name;
    EXPECT_EQ(field->property("Tag").toInt(), entry.tag) << entry.name;
    EXPECT_EQ(field->toolTip(), entry.hint) << entry.name;
    EXPECT_EQ(field->statusTip(), entry.hint) << entry.name;
    ASSERT_NE(field->sendFocusCtrl(), nullptr) << entry.name;
    EXPECT_EQ(field->sendFocusCtrl()->objectName(), entry.next) << entry.name;
  }
  for (int page = 1; page <= 3; ++page) {
    const QString n = QString::number(page);
    const QStringList chain{"IDHR" + n,  "IDLR" + n,  "BCSR" + n,  "Data0" + n, "Data1" + n, "Data2" + n,
                            "Data3" + n, "Data4" + n, "Data5" + n, "Data6" + n, "Data7" + n, "PageControl"};
    const int tags[] = {0x60, 0x61, 0x6F, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69};
    for (int i = 0; i + 1 < chain.size(); ++i) {
      THexEdit* field = Field(window.get(), chain[i]);
      ASSERT_NE(field, nullptr);
      EXPECT_EQ(field->property("Tag").toInt(), tags[i]) << chain[i].toStdString();
      EXPECT_EQ(field->sendFocusCtrl()->objectName(), chain[i + 1]) << chain[i].toStdString();
    }
    EXPECT_EQ(Field(window.get(), "IDHR" + n)->toolTip(), "IDentifier High Register");
    EXPECT_EQ(Field(window.get(), "IDLR" + n)->toolTip(), "IDentifier Low Register");
    EXPECT_EQ(Field(window.get(), "BCSR" + n)->toolTip(), "Buffer Control/Status Register");
    EXPECT_TRUE(Field(window.get(), "Data3" + n)->toolTip().isEmpty());
    auto* status = window->findChild<QLabel*>("Status" + n);
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status->text(), "TX / Empty");
  }
  EXPECT_EQ(window->findChildren<THexEdit*>().size(), 6 + 4 + 3 * 11 + 8);
}

TEST_F(RegFrmLayout, GroupsTabsLabelsAndTimer) {
  // The fixed zero bits cannot be toggled.
  EXPECT_EQ(window->findChild<TBitPanel*>("BitPanelICR")->buttons().at(7), "0");
  EXPECT_EQ(window->findChild<TBitPanel*>("BitPanelCSR")->buttons().at(7), "0");

  QTabWidget* tabs = pageControl();
  ASSERT_NE(tabs, nullptr);
  ASSERT_EQ(tabs->count(), 5);
  const char* hints[] = {"Diagnosis Page", "Buffer 1", "Buffer 2", "Buffer 3", "Filters"};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(tabs->tabText(i), QString("Page &%1").arg(i));
    EXPECT_EQ(tabs->tabToolTip(i), hints[i]);
    EXPECT_EQ(tabs->widget(i)->statusTip(), hints[i]);
  }
  // The page fields sit on their own tab.
  EXPECT_TRUE(tabs->widget(0)->isAncestorOf(Field(window.get(), "TECR")));
  EXPECT_TRUE(tabs->widget(2)->isAncestorOf(Field(window.get(), "Data72")));
  EXPECT_TRUE(tabs->widget(4)->isAncestorOf(Field(window.get(), "MLR1")));

  for (const char* name : {"BRPR", "BTR", "PSR"}) {
    auto* label = window->findChild<QLabel*>(QString("Label") + name);
    ASSERT_NE(label, nullptr) << name;
    EXPECT_EQ(label->buddy(), Field(window.get(), name));
  }

  TThreadedTimer* timer = window->readThreadTimer();
  ASSERT_NE(timer, nullptr);
  EXPECT_EQ(window->findChild<TThreadedTimer*>("ReadThreadTimer"), timer);  // the main window finds it so
  EXPECT_EQ(timer->interval(), 500);
  EXPECT_TRUE(timer->enabled());
  EXPECT_TRUE(timer->hasOnTimer());
}

TEST_F(RegFrmLayout, EveryControlFitsTheDesignSizeOnEveryPage) {
  EXPECT_EQ(window->minimumSize(), QSize(382, 392));
  ASSERT_TRUE(ShowActive(window.get()));
  EXPECT_EQ(window->size(), QSize(382, 392));
  QTabWidget* tabs = pageControl();
  for (int page = 0; page < 5; ++page) {
    tabs->setCurrentIndex(page);
    QApplication::processEvents();
    for (QWidget* w : window->findChildren<QWidget*>()) {
      if (!w->isVisible() || w->objectName().startsWith("qt_")) continue;
      const QRect inWindow(w->mapTo(window.get(), QPoint(0, 0)), w->size());
      EXPECT_TRUE(window->rect().contains(inWindow))
          << "page " << page << ": " << w->metaObject()->className() << " " << w->objectName().toStdString();
    }
    // No caption is squeezed.
    for (QLabel* label : window->findChildren<QLabel*>()) {
      if (!label->isVisible()) continue;
      EXPECT_GE(label->width(), label->minimumSizeHint().width()) << label->text().toStdString();
    }
    // Two digits are readable in every field.
    for (THexEdit* field : tabs->widget(page)->findChildren<THexEdit*>())
      EXPECT_GE(field->width(), field->fontMetrics().horizontalAdvance("88")) << field->objectName().toStdString();
    SaveScreenshot(window.get(), QString("RegFrm_empty_page%1").arg(page));
  }
}

TEST_F(RegFrmLayout, WhileNotConnectedEditsChangeOnlyTheDisplay) {
  ASSERT_TRUE(ShowActive(window.get()));
  window->ReadThreadTimer();  // nothing to copy from
  EXPECT_EQ(Field(window.get(), "ISR")->text(), "00");

  TypeInto(Field(window.get(), "BTR"), "4c");
  EXPECT_EQ(Field(window.get(), "BTR")->text(), "4C");
  EXPECT_TRUE(Field(window.get(), "PSR")->hasFocus());  // the focus went on

  // A completed ISR value reaches its bit panel; a toggled bit reaches the field.
  TypeInto(Field(window.get(), "ISR"), "21");
  auto* isrPanel = window->findChild<TBitPanel*>("BitPanelISR");
  EXPECT_EQ(isrPanel->value(), 0x21);
  QTest::mouseClick(isrPanel->button(7), Qt::LeftButton);
  EXPECT_EQ(Field(window.get(), "ISR")->value(), 0xA1);
  auto* icrPanel = window->findChild<TBitPanel*>("BitPanelICR");
  QTest::mouseClick(icrPanel->button(7), Qt::LeftButton);  // the fixed zero bit
  QTest::mouseClick(icrPanel->button(0), Qt::LeftButton);
  EXPECT_EQ(Field(window.get(), "ICR")->value(), 0x01);

  // A page typed into PSR selects its tab; a tab picked by the user goes into PSR.
  TypeInto(Field(window.get(), "PSR"), "02");
  EXPECT_EQ(pageControl()->currentIndex(), 2);
  QTabBar* bar = pageControl()->tabBar();
  QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(4).center());
  EXPECT_EQ(pageControl()->currentIndex(), 4);
  EXPECT_EQ(Field(window.get(), "PSR")->text(), "04");
  // A page the cell cannot show changes no tab.
  TypeInto(Field(window.get(), "PSR"), "07");
  EXPECT_EQ(pageControl()->currentIndex(), 4);

  window->ReadThreadTimer();
  EXPECT_EQ(Field(window.get(), "BTR")->text(), "4C");  // typed values stay
  EXPECT_TRUE(host.errors.isEmpty());
}

TEST_F(RegFrmLayout, TheTabKeyFollowsTheRegistersThenThePageShown) {
  ASSERT_TRUE(ShowActive(window.get()));
  pageControl()->setCurrentIndex(4);
  Field(window.get(), "ISR")->setFocus(Qt::TabFocusReason);
  QStringList visited;
  for (int i = 0; i < 15; ++i) {
    QWidget* focused = QApplication::focusWidget();
    ASSERT_NE(focused, nullptr);
    // The page control takes the focus through its tab bar.
    visited << (focused == pageControl()->tabBar() ? QString("PageControl") : focused->objectName());
    QTest::keyClick(focused, Qt::Key_Tab);
  }
  EXPECT_EQ(visited, (QStringList{"ISR", "ICR", "CSR", "BRPR", "BTR", "PSR", "PageControl", "FHR0", "FLR0", "MHR0",
                                  "MLR0", "FHR1", "FLR1", "MHR1", "MLR1"}));
}

TEST_F(RegFrmLayout, BitPanelAcceleratorFocusesTheRegisterField) {
  ASSERT_TRUE(ShowActive(window.get()));
  Field(window.get(), "BRPR")->setFocus();
  QTest::keyClick(window.get(), Qt::Key_C, Qt::AltModifier);
  EXPECT_TRUE(Field(window.get(), "ICR")->hasFocus());
  QTest::keyClick(window.get(), Qt::Key_B, Qt::AltModifier);  // label &BRPR
  EXPECT_TRUE(Field(window.get(), "BRPR")->hasFocus());
}

TEST(RegFrmBufferState, DirectionAndStateComeFromBcsrBitsZeroAndTwo) {
  EXPECT_EQ(TRegFrm::BufferStateText(0x05), "TX \\Pending");
  EXPECT_EQ(TRegFrm::BufferStateText(0x04), "RX \\Filled");
  EXPECT_EQ(TRegFrm::BufferStateText(0x01), "TX \\Empty");
  EXPECT_EQ(TRegFrm::BufferStateText(0x00), "RX \\Empty");
  // The accepting filter (bits 7-3) and bit 1 do not matter.
  EXPECT_EQ(TRegFrm::BufferStateText(0x0E), "RX \\Filled");
  EXPECT_EQ(TRegFrm::BufferStateText(0xFB), "TX \\Empty");
}

TEST(RegFrmWindow, ClosingMinimisesTheWindowInsteadOfDestroyingIt) {
  FakeToolWindowHost host;
  QMdiArea area;
  auto* window = new TRegFrm(host);
  QMdiSubWindow* sub = area.addSubWindow(window);
  QPointer<TRegFrm> alive(window);
  area.resize(800, 600);
  area.show();
  sub->show();
  QApplication::processEvents();
  SaveScreenshot(&area, "RegFrm_mdi");
  EXPECT_FALSE(sub->close());
  QApplication::processEvents();
  ASSERT_TRUE(alive);
  EXPECT_TRUE(sub->isMinimized());
  EXPECT_EQ(area.subWindowList().size(), 1);
}
