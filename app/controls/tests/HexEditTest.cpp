#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <memory>

#include "HexEdit.h"

namespace {

// A shown, active window with two fields, a (2 digits) and b (2 digits).
class HexEditTest : public testing::Test {
 protected:
  void SetUp() override {
    window = std::make_unique<QWidget>();
    auto* layout = new QVBoxLayout(window.get());
    a = new THexEdit;
    b = new THexEdit;
    a->setObjectName("A");
    b->setObjectName("B");
    layout->addWidget(a);
    layout->addWidget(b);
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    a->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(a->hasFocus());
  }

  static void typeText(QWidget* w, const char* keys) {
    for (const char* k = keys; *k; ++k) QTest::keyClick(w, *k);
  }

  static void expectWellFormed(const THexEdit* e) {
    static const QRegularExpression hex("^[0-9A-F]+$");
    ASSERT_EQ(e->text().size(), e->digits()) << e->text().toStdString();
    ASSERT_TRUE(hex.match(e->text()).hasMatch()) << e->text().toStdString();
    EXPECT_EQ(quint64(e->value()), e->text().toULongLong(nullptr, 16));
  }

  std::unique_ptr<QWidget> window;
  THexEdit* a = nullptr;
  THexEdit* b = nullptr;
};

TEST(HexEditFormat, ShowsValuesWithTheirDigitCount) {
  THexEdit e;
  EXPECT_EQ(e.digits(), 2);
  EXPECT_EQ(e.value(), 0);
  EXPECT_EQ(e.text(), "00");
  EXPECT_EQ(e.size(), QSize(21, 21));
  EXPECT_EQ(e.cursor().shape(), Qt::ArrowCursor);

  e.setValue(5);
  EXPECT_EQ(e.text(), "05");
  e.setDigits(3);
  e.setValue(0x7FF);
  EXPECT_EQ(e.text(), "7FF");
  e.setDigits(16);
  e.setValue(0x0123456789ABCDEFLL);
  EXPECT_EQ(e.text(), "0123456789ABCDEF");
  e.setValue(-1);
  EXPECT_EQ(e.text(), "FFFFFFFFFFFFFFFF");
  e.setValue(0);
  e.setText("FFFFFFFFFFFFFFFF");
  EXPECT_EQ(e.value(), -1);
}

TEST(HexEditFormat, DigitCountsBetweenNineAndFifteenKeepTheirWidth) {
  // Splitting the value into 32-bit halves padded to Digits/2 would make 14
  // characters of this value in a 12-digit field.
  THexEdit e;
  e.setDigits(12);
  e.setValue(0x123456789ALL);
  EXPECT_EQ(e.text(), "00123456789A");
  EXPECT_EQ(e.value(), 0x123456789ALL);
}

TEST(HexEditFormat, OutOfRangeDigitsAndWideValuesStayDefined) {
  THexEdit e;
  e.setDigits(0);
  EXPECT_EQ(e.digits(), 1);
  EXPECT_EQ(e.text().size(), 1);
  e.setDigits(-7);
  EXPECT_EQ(e.digits(), 1);
  e.setDigits(1000);
  EXPECT_EQ(e.digits(), 16);
  e.setDigits(2);
  e.setValue(0x123);  // wider than the field: the low digits are shown and read back
  EXPECT_EQ(e.text(), "23");
  EXPECT_EQ(e.value(), 0x23);
  e.setDigits(4);
  EXPECT_EQ(e.text(), "0023");
}

TEST(HexEditFormat, SettingValueRaisesNibbleChangeOnly) {
  THexEdit e;
  QSignalSpy nibbles(&e, &THexEdit::nibbleChange);
  QSignalSpy changes(&e, &THexEdit::change);
  e.setValue(0x42);
  EXPECT_EQ(nibbles.count(), 1);
  EXPECT_EQ(changes.count(), 0);
  e.setValue(0x42);  // same text: nothing changes
  EXPECT_EQ(nibbles.count(), 1);
}

TEST_F(HexEditTest, TwoDigitsCompleteTheValueAndMoveTheFocus) {
  a->setSendFocusCtrl(b);
  QSignalSpy nibbles(a, &THexEdit::nibbleChange);
  QSignalSpy changes(a, &THexEdit::change);
  QTest::keyClick(a, '3');
  EXPECT_EQ(nibbles.count(), 1);
  EXPECT_EQ(changes.count(), 0);
  EXPECT_TRUE(a->hasFocus());
  EXPECT_EQ(a->selectionStart(), 1);  // the next digit to overwrite
  EXPECT_EQ(a->selectionLength(), 1);
  QTest::keyClick(a, 'c');
  EXPECT_EQ(nibbles.count(), 2);
  ASSERT_EQ(changes.count(), 1);
  EXPECT_EQ(changes.at(0).at(0).value<THexEdit*>(), a);
  EXPECT_EQ(a->text(), "3C");
  EXPECT_EQ(a->value(), 0x3C);
  EXPECT_TRUE(b->hasFocus());
  EXPECT_EQ(b->selectedText().size(), 1);
}

TEST_F(HexEditTest, WithoutSendFocusCtrlTheFirstDigitIsSelectedAgain) {
  QSignalSpy changes(a, &THexEdit::change);
  typeText(a, "9e");
  EXPECT_EQ(a->text(), "9E");
  EXPECT_EQ(changes.count(), 1);
  EXPECT_TRUE(a->hasFocus());
  EXPECT_EQ(a->selectionStart(), 0);
  EXPECT_EQ(a->selectedText(), "9");
  QTest::keyClick(a, '1');  // typing goes on from the first digit
  EXPECT_EQ(a->text(), "1E");
}

TEST_F(HexEditTest, OnlyHexadecimalCharactersAreTyped) {
  QSignalSpy nibbles(a, &THexEdit::nibbleChange);
  typeText(a, "g !");
  QTest::keyClick(a, Qt::Key_Backspace);
  EXPECT_EQ(a->text(), "00");
  EXPECT_EQ(nibbles.count(), 0);
  QTest::keyClick(a, 'a');
  EXPECT_EQ(a->text(), "A0");
  EXPECT_EQ(a->value(), 0xA0);
}

TEST_F(HexEditTest, ShiftArrowsNeverGrowTheOneDigitSelection) {
  a->setSelection(0, 1);
  QTest::keyClick(a, Qt::Key_Right, Qt::ShiftModifier);
  EXPECT_EQ(a->selectionStart(), 0);
  EXPECT_EQ(a->selectionLength(), 1);
  QTest::keyClick(a, Qt::Key_Left, Qt::ShiftModifier);
  EXPECT_EQ(a->selectionStart(), 0);
  EXPECT_EQ(a->selectionLength(), 1);
}

TEST_F(HexEditTest, MouseSelectsTheDigitUnderThePointer) {
  a->setDigits(4);
  a->setValue(0x1234);
  a->setFixedWidth(200);
  QCoreApplication::processEvents();
  QTest::mouseClick(a, Qt::LeftButton, {}, QPoint(190, a->height() / 2));
  EXPECT_EQ(a->selectionStart(), 3);
  EXPECT_EQ(a->selectedText(), "4");
  QTest::mouseClick(a, Qt::LeftButton, {}, QPoint(1, a->height() / 2));
  EXPECT_EQ(a->selectionStart(), 0);
  EXPECT_EQ(a->selectedText(), "1");
  QTest::mouseDClick(a, Qt::LeftButton, {}, QPoint(190, a->height() / 2));
  EXPECT_EQ(a->selectedText(), "4");  // no word selection
}

TEST_F(HexEditTest, FocusSelectsOneDigit) {
  b->setFocus(Qt::TabFocusReason);
  EXPECT_EQ(b->selectedText().size(), 1);
  EXPECT_EQ(b->selectionStart(), 0);
}

TEST_F(HexEditTest, CorrectingTheValueWhileTypingKeepsTheCaret) {
  // The filters window masks identifiers to 11 bits from nibbleChange.
  a->setDigits(3);
  a->setValue(0);
  a->setSelection(0, 1);
  QObject::connect(a, &THexEdit::nibbleChange, a, [](THexEdit* e) {
    if (e->value() > 0x7FF) e->setValue(e->value() & 0x7FF);
  });
  QSignalSpy changes(a, &THexEdit::change);
  QTest::keyClick(a, 'f');
  EXPECT_EQ(a->text(), "700");
  EXPECT_EQ(changes.count(), 0);
  typeText(a, "ff");
  EXPECT_EQ(a->text(), "7FF");
  EXPECT_EQ(changes.count(), 1);
}

TEST_F(HexEditTest, PasteDeleteCutAndUndoKeepTheFormat) {
  a->setDigits(4);
  a->setValue(0);
  a->setSelection(1, 1);
  QGuiApplication::clipboard()->setText("b-7 zz 9");
  QTest::keyClick(a, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(a->text(), "0B79");  // pasted digits overwrite from the caret
  a->setSelection(0, 2);
  QTest::keyClick(a, Qt::Key_Delete);
  EXPECT_EQ(a->text(), "0079");
  a->setSelection(2, 1);
  QTest::keyClick(a, Qt::Key_X, Qt::ControlModifier);
  EXPECT_EQ(a->text(), "0009");
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "7");
  QTest::keyClick(a, Qt::Key_Z, Qt::ControlModifier);
  expectWellFormed(a);
  a->setText("hello, world");  // the programmatic way in
  expectWellFormed(a);
  a->insert("xyz12345");
  expectWellFormed(a);
}

TEST_F(HexEditTest, DroppedTextOverwritesDigits) {
  a->setDigits(4);
  a->setValue(0);
  QMimeData mime;
  mime.setText("Cafe babe");
  const QPoint at(1, a->height() / 2);
  QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(a, &enter);
  QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(a, &drop);
  EXPECT_EQ(a->text(), "CAFE");
  expectWellFormed(a);
}

TEST_F(HexEditTest, AnyKeySequenceLeavesOnlyDigits) {
  // Random keys, including every editing shortcut, on fields of several widths.
  const QList<int> keys = {Qt::Key_Left,      Qt::Key_Right,  Qt::Key_Home,   Qt::Key_End,    Qt::Key_Delete,
                           Qt::Key_Backspace, Qt::Key_Insert, Qt::Key_Return, Qt::Key_Escape, Qt::Key_Space,
                           Qt::Key_A,         Qt::Key_C,      Qt::Key_F,      Qt::Key_G,      Qt::Key_K,
                           Qt::Key_U,         Qt::Key_V,      Qt::Key_W,      Qt::Key_X,      Qt::Key_Y,
                           Qt::Key_Z,         Qt::Key_0,      Qt::Key_7,      Qt::Key_9};
  const QList<Qt::KeyboardModifiers> modifiers = {Qt::NoModifier, Qt::ShiftModifier, Qt::ControlModifier,
                                                  Qt::ControlModifier | Qt::ShiftModifier, Qt::AltModifier};
  const QStringList clips = {"", "12", "zz", "FFFFFFFFFFFFFFFFFFFF", "a b\nc", QString::fromUtf8("é٣۴")};
  QRandomGenerator random(7);
  for (int digits : {1, 2, 3, 16}) {
    a->setDigits(digits);
    a->setFocus(Qt::TabFocusReason);
    for (int i = 0; i < 400; ++i) {
      if (i % 50 == 0) QGuiApplication::clipboard()->setText(clips.at(random.bounded(int(clips.size()))));
      const int key = keys.at(random.bounded(int(keys.size())));
      const Qt::KeyboardModifiers mods = modifiers.at(random.bounded(int(modifiers.size())));
      QTest::keyClick(a, Qt::Key(key), mods);
      if (!a->hasFocus()) a->setFocus(Qt::TabFocusReason);
      expectWellFormed(a);
      if (testing::Test::HasFatalFailure()) return;
    }
  }
}

}  // namespace
