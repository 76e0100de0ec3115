// The About box on its own.
#include "AboutFrm.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

TEST(AboutFrmTest, AWhiteToolWindowWithItsLinkAndOkButton) {
  TAboutFrm about;
  EXPECT_EQ(about.objectName(), "AboutFrm");
  EXPECT_EQ(about.windowTitle(), "About Vorelan");
  EXPECT_EQ(about.height(), 160);
  EXPECT_GE(about.width(), 315);  // wider only where the link's font needs it
  about.show();
  EXPECT_FALSE(about.linkLabel()->wordWrap());
  EXPECT_LE(about.linkLabel()->sizeHint().width(), about.linkLabel()->width()) << "the link is cut";
  EXPECT_TRUE(about.windowFlags() & Qt::Tool);
  EXPECT_FALSE(about.windowFlags() & Qt::WindowMinMaxButtonsHint);
  EXPECT_EQ(about.palette().color(QPalette::Window), QColor(Qt::white));
  EXPECT_EQ(about.linkLabel()->text(), "Qm 8/16 bits Micros Web Page");
  EXPECT_TRUE(about.linkLabel()->font().underline());
  EXPECT_EQ(about.linkLabel()->cursor().shape(), Qt::PointingHandCursor);
  EXPECT_TRUE(about.okButton()->isDefault());
  EXPECT_EQ(about.okButton()->toolTip(), "Close this window");

  QUrl opened;
  about.setUrlOpener([&](const QUrl& url) {
    opened = url;
    return true;
  });
  about.show();
  QTest::mouseClick(about.linkLabel(), Qt::LeftButton);
  EXPECT_EQ(opened, TAboutFrm::webPage());
  QTest::mouseClick(about.okButton(), Qt::LeftButton);
  EXPECT_FALSE(about.isVisible());
  EXPECT_EQ(about.result(), QDialog::Accepted);
}

}  // namespace
