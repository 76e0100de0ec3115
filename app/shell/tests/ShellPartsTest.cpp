// The main window's parts on their own: client area painting and arranging,
// dock sites, About box, port map editing, file dialog filters, the command
// line and the node libraries beside the program.
#include "AboutFrm.h"
#include "AppError.h"
#include "ClientArea.h"
#include "ComRuntime.h"
#include "CommSettings.h"
#include "CommandLine.h"
#include "ComponentSetup.h"
#include "DockLayout.h"
#include "FileDialogs.h"
#include "FileSizeLimit.h"
#include "Identities.h"
#include "PortMapEditor.h"
#include "PortsDlg.h"
#include "Registry.h"
#include "ShellTestSupport.h"
#include "TraceFile.h"

#include <QComboBox>
#include <QDir>
#include <QDockWidget>
#include <QFile>
#include <QLabel>
#include <QMainWindow>
#include <QMdiSubWindow>
#include <QPushButton>

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

using namespace shelltest;

namespace {

// ---- client area ---------------------------------------------------------------

TEST(ClientAreaTest, DrawsTheBackgroundStretchedAndTheLogoInTheCentre) {
  TClientArea area;
  area.resize(762, 600);
  area.setPaintingHooked(true);
  area.show();
  const QSize size = area.viewport()->size();
  const QPoint logo = area.logoPosition(size);
  EXPECT_EQ(logo, QPoint(size.width() / 2 - area.logoPicture().width() / 2,
                         size.height() / 2 - area.logoPicture().height() / 2));

  const QImage shot = area.viewport()->grab().toImage();
  // Rows of the background have one colour each, so its corners match the
  // stretched picture's first and last rows.
  EXPECT_EQ(shot.pixelColor(2, 0), area.backgroundPicture().pixelColor(0, 0));
  EXPECT_EQ(shot.pixelColor(size.width() - 3, 0), shot.pixelColor(2, 0));
  // The logo is drawn with its transparency: its transparent corner shows the background.
  EXPECT_FALSE(area.logoOpaque());
  EXPECT_EQ(shot.pixelColor(logo + QPoint(1, 1)), shot.pixelColor(logo + QPoint(-1, 1)));
  // and its drawing is there: the centre differs from the background beside it.
  const QPoint centre = logo + QPoint(area.logoPicture().width() / 2, 62);
  EXPECT_NE(shot.pixelColor(centre), shot.pixelColor(QPoint(2, centre.y())));

  area.setPaintingHooked(false);  // the close unhooks it: Qt's own background again
  const QImage plain = area.viewport()->grab().toImage();
  EXPECT_EQ(plain.pixelColor(centre), plain.pixelColor(QPoint(2, centre.y())));
}

TEST(ClientAreaTest, TilesAndArrangesTheChildWindows) {
  TClientArea area;
  area.resize(600, 400);
  area.show();
  std::vector<QMdiSubWindow*> subs;
  for (int i = 0; i < 3; ++i) {
    subs.push_back(area.addSubWindow(new QLabel(QStringLiteral("child %1").arg(i))));
    subs.back()->show();
  }
  const QRect viewport = area.viewport()->rect();

  area.tileVertically();  // side by side, full height
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(subs[std::size_t(i)]->geometry().top(), viewport.top());
    EXPECT_EQ(subs[std::size_t(i)]->height(), viewport.height());
    EXPECT_EQ(subs[std::size_t(i)]->geometry().left(), viewport.width() * i / 3);
  }
  area.tileHorizontally();  // one above the other, full width
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(subs[std::size_t(i)]->geometry().left(), viewport.left());
    EXPECT_EQ(subs[std::size_t(i)]->width(), viewport.width());
    EXPECT_EQ(subs[std::size_t(i)]->geometry().top(), viewport.height() * i / 3);
  }

  // A window whose controls need more than its cell keeps them whole.
  auto* wide = area.addSubWindow(new QLabel(QString(120, QLatin1Char('W'))));
  wide->show();
  area.tileVertically();
  EXPECT_GE(wide->width(), wide->minimumSizeHint().width());
  delete wide;

  subs[0]->showMinimized();
  subs[2]->showMinimized();
  subs[0]->move(100, 50);
  area.arrangeIcons();
  EXPECT_EQ(subs[0]->geometry().left(), 0);
  EXPECT_EQ(subs[0]->geometry().bottom(), viewport.bottom());
  EXPECT_EQ(subs[2]->geometry().left(), subs[0]->geometry().right() + 1);
  EXPECT_EQ(subs[2]->geometry().bottom(), viewport.bottom());
}

// The first start's arrangement: at their own sizes, from the top left, none
// over another; what does not fit is minimised without covering the others.
TEST(ClientAreaTest, FirstStartPlacesTheWindowsSideBySide) {
  TClientArea area;
  area.resize(640, 520);
  area.show();
  QList<QMdiSubWindow*> subs;
  for (const QSize size : {QSize(300, 250), QSize(500, 200), QSize(300, 200), QSize(400, 400)}) {
    subs << area.addSubWindow(new QLabel(QStringLiteral("child")));
    subs.last()->resize(size);
    subs.last()->show();
  }
  area.placeSideBySide(subs);
  EXPECT_EQ(subs[0]->pos(), QPoint(0, 0));
  EXPECT_EQ(subs[1]->pos(), QPoint(0, 250));  // no room beside the first: below it
  EXPECT_EQ(subs[2]->pos(), QPoint(300, 0));  // beside the first
  EXPECT_TRUE(subs[3]->isMinimized());
  for (QMdiSubWindow* a : subs)
    for (QMdiSubWindow* b : subs)
      if (a != b) EXPECT_FALSE(a->geometry().intersects(b->geometry()));
}

// ---- dock sites ----------------------------------------------------------------

TEST(DockLayoutTest, DockingUsesTheSiteSizeAndUndockingRemembersIt) {
  QMainWindow window;
  window.setCentralWidget(new QLabel("centre"));
  window.resize(762, 649);
  TDockLayout layout(&window);
  layout.setSizesFromClient(QSize(762, 649));
  EXPECT_EQ(layout.dockSize(Qt::RightDockWidgetArea), 254);
  EXPECT_EQ(layout.dockSize(Qt::TopDockWidgetArea), 216);
  window.show();

  auto* dock = new QDockWidget("Trace", &window);
  dock->setWidget(new QLabel("trace"));
  dock->setFloating(true);
  dock->resize(200, 300);
  layout.dockIntoLastSite(dock);
  dock->show();
  EXPECT_EQ(window.dockWidgetArea(dock), Qt::RightDockWidgetArea);
  EXPECT_TRUE(waitUntil([&] { return std::abs(dock->width() - 254) <= 2; })) << dock->width();

  // The user widens the site, then floats the window: the site keeps that width.
  window.resizeDocks({dock}, {300}, Qt::Horizontal);
  EXPECT_TRUE(waitUntil([&] { return std::abs(dock->width() - 300) <= 2; })) << dock->width();
  const int docked = dock->width();
  dock->setFloating(true);
  EXPECT_EQ(layout.dockSize(Qt::RightDockWidgetArea), docked);

  // Docked at the bottom: the last site follows.
  window.addDockWidget(Qt::BottomDockWidgetArea, dock);
  dock->setFloating(false);
  EXPECT_EQ(layout.lastDockSite(), Qt::BottomDockWidgetArea);
}

// ---- About box -------------------------------------------------------------------

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

// ---- communication settings ------------------------------------------------------

TEST(CommSettingsTest, ReadsStringsOnlyAndDefaultsTheTimeOut) {
  wipeSettings();
  EXPECT_EQ(TCommSettings::read(), (TCommSettings{"", "", "1000"}));
  SettingsStore key("Communication");
  key.writeInt("Port", 2);  // the wrong type counts as missing
  key.writeString("Settings", "9600,n,8,1");
  key.writeString("TimeOut", "");
  key.sync();
  EXPECT_EQ(TCommSettings::read(), (TCommSettings{"", "9600,n,8,1", "1000"}));

  EXPECT_EQ(CommChoice::portTextToSave(std::nullopt), "");
  EXPECT_EQ(CommChoice::portTextToSave(3), "3");
  EXPECT_EQ(CommChoice::portTextToSave(2), "2");
  EXPECT_EQ(CommChoice::settingsForSpeed(19200), "19200,n,8,1");
  EXPECT_EQ(CommChoice::speedOfSettings("115200,n,8,1"), 115200);
  EXPECT_EQ(CommChoice::speedOfSettings("9600"), 9600);
  EXPECT_EQ(CommChoice::speedOfSettings(""), std::nullopt);
  EXPECT_EQ(CommChoice::speedOfSettings("fast,n,8,1"), std::nullopt);
  EXPECT_EQ(CommChoice::speedOfSettings("-9600,n,8,1"), std::nullopt);
}

// ---- port map ------------------------------------------------------------------------

TEST(PortMapEditorTest, RewritesOnlyTheChosenPortsAndKeepsEverythingElse) {
  const QString text =
      "# mine\n"
      "  com1 = /dev/ttyUSB0  \n"
      "COM4=/dev/ttyS9\n"
      "COM1=/dev/old-duplicate\n"
      "garbage line\n";
  EXPECT_EQ(PortMapEditor::entry(text, 1), "/dev/ttyUSB0");
  EXPECT_EQ(PortMapEditor::entry(text, 4), "/dev/ttyS9");
  EXPECT_EQ(PortMapEditor::entry(text, 2), "");

  const QString edited = PortMapEditor::withEntries(text, {{1, "/dev/pts/7"}, {2, "/tmp/link"}, {3, ""}});
  EXPECT_EQ(edited,
            "# mine\n"
            "COM1=/dev/pts/7\n"
            "COM4=/dev/ttyS9\n"
            "garbage line\n"
            "COM2=/tmp/link\n");
  // Emptying a port removes its line: the port falls back to its default device.
  EXPECT_EQ(PortMapEditor::entry(PortMapEditor::withEntries(edited, {{1, " "}}), 1), "");
  EXPECT_TRUE(PortMapEditor::withEntries("", {{3, "/dev/ttyACM0"}}).endsWith("\nCOM3=/dev/ttyACM0\n"));
}

// Saved where the serial node looks, whole or not at all (a full disk keeps
// the previous map), and a line the dialog did not change keeps its bytes
// even when they are no UTF-8 (a comment written in Latin-1).
TEST(PortMapEditorTest, SavesWhereTheSerialNodeLooksKeepingEveryOtherByte) {
  wipeSettings();
  const QString path = PortMapEditor::filePath();
  ASSERT_TRUE(path.endsWith("/vorelan/ports.conf")) << path.toStdString();
  QFile::remove(path);
  EXPECT_EQ(PortMapEditor::load(path), "");
  PortMapEditor::save(path, QString::fromLatin1("# Ger\xE4t\nCOM1=/dev/pts/3\n"));  // a character a byte
  const auto bytes = [&path] {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
  };
  const QString text = PortMapEditor::load(path);
  EXPECT_EQ(PortMapEditor::entry(text, 1), "/dev/pts/3");
  PortMapEditor::save(path, PortMapEditor::withEntries(text, {{2, "/dev/ttyACM0"}}));
  EXPECT_EQ(bytes(), "# Ger\xE4t\nCOM1=/dev/pts/3\nCOM2=/dev/ttyACM0\n");
  {
    const FileSizeLimit fullDisk(16);
    EXPECT_THROW(PortMapEditor::save(path, PortMapEditor::withEntries(text, {{3, "/dev/ttyS2"}})), EAppError);
  }
  EXPECT_EQ(bytes(), "# Ger\xE4t\nCOM1=/dev/pts/3\nCOM2=/dev/ttyACM0\n");

  QTemporaryDir folder;
  const QString blocked = folder.filePath("file");
  QFile(blocked).open(QIODevice::WriteOnly);
  EXPECT_THROW(PortMapEditor::save(blocked + "/ports.conf", "x"), std::exception);
}

TEST(PortMapEditorTest, FindsSerialDevicesByKindInNumberOrder) {
  QTemporaryDir dev;
  QDir root(dev.path());
  root.mkpath("serial/by-id");
  for (const char* name : {"ttyS10", "ttyS2", "ttyUSB0", "ttyACM1", "ttyACM0", "tty0", "null"})
    QFile(root.filePath(name)).open(QIODevice::WriteOnly);
  QFile::link(root.filePath("ttyUSB0"), root.filePath("serial/by-id/usb-Maker_Adapter-if00-port0"));
  const QStringList expected{root.filePath("serial/by-id/usb-Maker_Adapter-if00-port0"),
                             root.filePath("ttyUSB0"),
                             root.filePath("ttyACM0"),
                             root.filePath("ttyACM1"),
                             root.filePath("ttyS2"),
                             root.filePath("ttyS10")};
  EXPECT_EQ(PortMapEditor::findSerialDevices(dev.path()), expected);
  EXPECT_TRUE(PortMapEditor::findSerialDevices(dev.filePath("none")).isEmpty());
}

TEST(PortsDlgTest, OffersTheDevicesAndTakesTypedPaths) {
  TPortsDlg dialog("COM2=/dev/ttyACM0\n", {"/dev/ttyUSB0", "/dev/ttyACM0"});
  EXPECT_EQ(dialog.deviceBox(1)->currentText(), "");
  EXPECT_EQ(dialog.deviceBox(2)->currentText(), "/dev/ttyACM0");
  EXPECT_EQ(dialog.deviceBox(1)->count(), 3);  // the default device, then the two found
  dialog.deviceBox(1)->setCurrentIndex(1);
  dialog.deviceBox(3)->setCurrentText(" /tmp/socat-link ");
  const std::map<int, QString> chosen = dialog.chosenDevices();
  EXPECT_EQ(chosen.at(1), "/dev/ttyUSB0");
  EXPECT_EQ(chosen.at(2), "/dev/ttyACM0");
  EXPECT_EQ(chosen.at(3), "/tmp/socat-link");
}

// ---- file dialogs, command line -------------------------------------------------------

TEST(FileDialogsTest, BarFiltersBecomeQtFilters) {
  EXPECT_EQ(FileDialogs::toQtFilter(FileDialogs::registerFilter()), "Register File (*.rgr);;All files (*)");
  EXPECT_EQ(FileDialogs::toQtFilter(TraceFile::DialogFilter()), "Trace File (*.trc);;All files (*)");
  EXPECT_EQ(FileDialogs::saveRegisters().defaultSuffix, "rgr");
  EXPECT_EQ(FileDialogs::openRegisters().mode, FileDialogSpec::Mode::Open);
}

TEST(CommandLineTest, ReadsOurOptionsAndLeavesQtItsOwn) {
  const TCommandLine simulate = TCommandLine::parse({"--simulate", "-platform", "offscreen"});
  EXPECT_TRUE(simulate.simulate);
  EXPECT_TRUE(simulate.error.empty());
  EXPECT_TRUE(TCommandLine::parse({"--help"}).help);
  EXPECT_TRUE(TCommandLine::parse({"-h"}).help);
  EXPECT_TRUE(TCommandLine::parse({"--version"}).version);
  EXPECT_EQ(TCommandLine::parse({"--simulte"}).error, "unknown option '--simulte'");
  EXPECT_NE(TCommandLine::usage().find("--simulate"), std::string::npos);
  EXPECT_EQ(TCommandLine::versionText(), "Vorelan 1.1\n");
}

TEST(CommandLineTest, NamesTheFilesInOrderAndEveryArgumentAfterTheEndOfOptions) {
  const TCommandLine line = TCommandLine::parse({"a.rgr", "--simulate", "b.trc", "--", "--help", "-x.rgr", "--"});
  EXPECT_EQ(line.files, (std::vector<std::string>{"a.rgr", "b.trc", "--help", "-x.rgr", "--"}));
  EXPECT_TRUE(line.simulate);
  EXPECT_FALSE(line.help);
  EXPECT_TRUE(line.error.empty());
  EXPECT_TRUE(TCommandLine::parse({"--simulate"}).files.empty());
  EXPECT_NE(TCommandLine::usage().find("[FILE...]"), std::string::npos);
  EXPECT_NE(TCommandLine::usage().find("register file (.rgr)"), std::string::npos);
}

// ---- the node libraries beside the program --------------------------------------------

// Unless a registry is named on purpose, the program creates its nodes from
// the libraries beside it, whatever the user's registry points at (here a
// copy elsewhere, as a build tree's libraries would be), and writes nothing.
TEST(ComponentSetupTest, TheProgramCreatesItsNodesFromTheLibrariesBesideIt) {
  unsetenv("VORELAN_COMPONENT_REGISTRY");  // the user's own registry, in this test's private home
  QTemporaryDir elsewhere;
  const std::string copy = elsewhere.filePath("librs232.so").toStdString();
  std::filesystem::copy_file(RS232_LIBRARY, copy);
  const std::string key = "CLSID\\" + GuidToString(CLSID_RS232Node) + "\\InprocServer32";
  std::string error;
  ASSERT_TRUE(ComponentRegistry::Edit([&](ComponentRegistry& r) { r.Set(key, "", copy); }, &error)) << error;
  const std::string bin = std::filesystem::path(RS232_LIBRARY).parent_path().string() + "/../bin";
  const auto libraryOf = [](REFCLSID clsid) {
    IUnknown* node = nullptr;
    if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_SERVER, IID_IUnknown, reinterpret_cast<void**>(&node))))
      return std::string("not created");
    Dl_info info{};
    dladdr(*reinterpret_cast<void**>(node), &info);  // where the object's code lives
    node->Release();
    return std::filesystem::canonical(info.dli_fname).string();
  };

  for (const bool named : {true, false}) {
    named ? setenv("VORELAN_COMPONENT_REGISTRY", ComponentRegistry::Path().c_str(), 1)
          : unsetenv("VORELAN_COMPONENT_REGISTRY");
    EXPECT_TRUE(ComponentSetup::ensureRegistered(bin).empty());
    EXPECT_EQ(libraryOf(CLSID_RS232Node), std::filesystem::canonical(named ? copy : RS232_LIBRARY).string());
  }
  EXPECT_EQ(ComponentRegistry::Load().Get(key), copy);
  EXPECT_EQ(ComponentSetup::ensureRegistered("/nonexistent/bin").size(), ComponentSetup::nodeLibraries().size());
}

}  // namespace
