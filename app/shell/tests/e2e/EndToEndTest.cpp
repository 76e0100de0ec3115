// The vorelan program end to end, as a person uses it: the real program on an
// X server of the test's own (Xvfb), the board simulator (vorelan-boardsim)
// on a pseudo-terminal that the port map gives COM1, and the person's clicks
// and keys given through the program's test driver (app/testdriver/TestDriver.h).
// Each test checks what the person sees through the driver and what reached
// the board through the simulator (its registers, and the frames on its bus).
//
// With VORELAN_E2E_SCREENSHOTS set to a folder, the tests leave there a
// picture of each window (e2e-*.png), for the user guide.
#include "E2eSession.h"
#include "LeakReport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRect>

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace e2e;

bool startsWith(const std::string& text, const std::string& prefix) {
  return text.rfind(prefix, 0) == 0;
}

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::string trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  const auto last = text.find_last_not_of(" \t");
  return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

// A sectioned text file as section -> key -> value, read as the program reads
// it: blanks around names and values dropped, then one pair of quotes around
// a value; the first of each key wins.
std::map<std::string, std::map<std::string, std::string>> sectionsOf(const std::string& text) {
  std::map<std::string, std::map<std::string, std::string>> sections;
  std::string section;
  for (const std::string& line : linesOf(text)) {
    if (startsWith(line, "[") && line.back() == ']') {
      section = line.substr(1, line.size() - 2);
    } else if (const auto equals = line.find('='); equals != std::string::npos) {
      std::string value = trimmed(line.substr(equals + 1));
      if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
      sections[section].emplace(trimmed(line.substr(0, equals)), value);
    }
  }
  return sections;
}

// The rows of a list view: each row's cells.
std::vector<std::vector<std::string>> rowsOf(const QJsonObject& listing) {
  std::vector<std::vector<std::string>> rows;
  for (const QJsonValue& row : listing.value("rows").toArray()) {
    std::vector<std::string> cells;
    for (const QJsonValue& cell : row.toArray()) cells.push_back(cell.toString().toStdString());
    rows.push_back(cells);
  }
  return rows;
}

// The program ended by itself with status 0. Under AddressSanitizer a leak
// only Qt's own threads left behind is told apart from one of ours
// (LeakReport.h): it is shown, and the end still counts as orderly.
void expectOrderlyEnd(const std::optional<int>& status, const E2eSession& desk) {
  ASSERT_TRUE(status.has_value()) << "the program did not end\n" << desk.programOutput();
  if (WIFEXITED(*status) && WEXITSTATUS(*status) == 0) return;
  const std::string output = desk.programOutput();
  const LeakReport leaks = readLeakReport(output, VORELAN_SOURCE_DIR);
  const bool onlyForeignLeaks =
      WIFEXITED(*status) && !leaks.sanitizerErrors && leaks.ourLeaks.empty() && !leaks.foreignLeaks.empty();
  EXPECT_TRUE(onlyForeignLeaks) << describeStatus(status) << "\n" << output;
  if (onlyForeignLeaks) std::printf("Note: leaks inside Qt alone at the program's end:\n%s\n", output.c_str());
}

// The program connected to the board at start-up from the stored settings,
// as on every start after the first.
void startConnected(E2eSession& desk, const std::vector<std::string>& boardArguments) {
  desk.startBoard(boardArguments);
  desk.mapCom1ToBoard();
  desk.storeCom1At9600();
  ASSERT_TRUE(desk.startProgram()) << desk.programOutput();
  ASSERT_TRUE(desk.waitForConnection()) << desk.text("MainFrm/ErrorDisplay");
}

// The judge of a program's end under AddressSanitizer: a leak with a frame of
// ours fails, one inside Qt alone does not, any other sanitizer error fails.
TEST(LeakReport, TellsOurLeaksFromQtsOwn) {
  const std::string qtAlone =
      "==1==ERROR: LeakSanitizer: detected memory leaks\n\n"
      "Direct leak of 152 byte(s) in 1 object(s) allocated from:\n"
      "    #0 0x7f37c1eb94c8 in operator new(unsigned long) ../../../../src/libsanitizer/asan/asan_new_delete.cpp:95\n"
      "    #1 0x7f37c05f3481  (/lib/x86_64-linux-gnu/libQt6Core.so.6+0x1f3481)\n\n"
      "SUMMARY: AddressSanitizer: 152 byte(s) leaked in 1 allocation(s).\n";
  LeakReport report = readLeakReport(qtAlone, "/src/vorelan");
  EXPECT_FALSE(report.sanitizerErrors);
  EXPECT_TRUE(report.ourLeaks.empty());
  ASSERT_EQ(report.foreignLeaks.size(), 1u);

  const std::string ours = qtAlone +
                           "Indirect leak of 8 byte(s) in 1 object(s) allocated from:\n"
                           "    #0 0x1 in operator new(unsigned long)\n"
                           "    #1 0x2 in TTraceFrm::Add() /src/vorelan/app/windows/TraceFrm.cpp:12\n";
  report = readLeakReport(ours, "/src/vorelan");
  EXPECT_EQ(report.ourLeaks.size(), 1u);
  EXPECT_EQ(report.foreignLeaks.size(), 1u);

  EXPECT_TRUE(readLeakReport("==1==ERROR: AddressSanitizer: heap-use-after-free", "/src").sanitizerErrors);
  EXPECT_TRUE(readLeakReport("x.cpp:3:5: runtime error: signed integer overflow", "/src").sanitizerErrors);
}

// What a person sees first: `vorelan --simulate` on a fresh home, on a screen
// of 1280 x 1024. The picture is the one the README opens with.
TEST(EndToEnd, TheFirstStartOnTheSimulatedBoardShowsEveryWindowWhole) {
  E2eSession desk;
  ASSERT_TRUE(desk.startProgram({"--simulate"})) << desk.programOutput();
  ASSERT_TRUE(desk.waitForConnection()) << desk.text("MainFrm/ErrorDisplay");
  ASSERT_TRUE(desk.waitFor([&] {
    return desk.json({"rows", "MainFrm/TraceFrm/ListTrc"}).value("count").toInt() >= 3;
  }));
  const QJsonObject windows = desk.json({"windows"});
  // The tool windows in the client area: none over another, none cut by its edges.
  const auto rect = [](const QJsonValue& value) {
    const QJsonArray a = value.toArray();
    return QRect(a[0].toInt(), a[1].toInt(), a[2].toInt(), a[3].toInt());
  };
  std::vector<QRect> shown;
  for (const QJsonValue& child : windows.value("children").toArray()) {
    const QJsonObject window = child.toObject();
    if (window.value("minimized").toBool() || !window.value("visible").toBool()) continue;
    const QRect r = rect(window.value("geometry"));
    for (const QRect& other : shown) EXPECT_FALSE(r.intersects(other)) << window.value("name").toString().toStdString();
    shown.push_back(r);
  }
  EXPECT_GE(shown.size(), 2u);
  const int width = std::stoi(desk.must({"property", "MainFrm/ClientArea", "width"}));
  const int height = std::stoi(desk.must({"property", "MainFrm/ClientArea", "height"}));
  for (const QRect& r : shown) EXPECT_TRUE(QRect(0, 0, width, height).contains(r)) << r.right() << "," << r.bottom();
  desk.screenshot("main", "MainFrm");
  expectOrderlyEnd(desk.exitProgram(), desk);
}

TEST(EndToEnd, AFirstStartIsNotConnectedUntilThePersonChoosesCom1At9600) {
  E2eSession desk;
  desk.startBoard({});  // a quiet bus: the test puts each frame on it
  ASSERT_TRUE(desk.startProgram()) << desk.programOutput();

  // No settings: no port, a red error.
  EXPECT_TRUE(startsWith(desk.text("MainFrm/ErrorDisplay"), "ERROR: ")) << desk.text("MainFrm/ErrorDisplay");
  EXPECT_EQ(desk.must({"pixel", "MainFrm/ErrorDisplay", "1", "1"}), "#ff0000");

  // Serial Link > Configure ports...: COM1 is the board's link.
  desk.must({"menu", "MainFrm/ConfigurePorts"});
  ASSERT_TRUE(desk.waitFor([&] { return desk.json({"modal"}).value("name").toString() == "PortsDlg"; }));
  desk.must({"fill", "PortsDlg/COM1Device", desk.boardLink()});
  desk.screenshot("ports", "PortsDlg");
  desk.must({"click", "PortsDlg/=OK"});
  ASSERT_TRUE(desk.waitFor([&] { return desk.must({"modal"}) == "none"; }));

  // Serial Link > Comm port > COM 1, then Speed > 9600 bps.
  desk.must({"menu", "MainFrm/COM1"});
  desk.must({"menu", "MainFrm/Speed9600"});
  ASSERT_TRUE(desk.waitForConnection()) << desk.text("MainFrm/ErrorDisplay");
  EXPECT_EQ(desk.must({"pixel", "MainFrm/ErrorDisplay", "1", "1"}), "#00ff00");
  EXPECT_TRUE(desk.json({"find", "MainFrm/COM1"}).value("checked").toBool());
  EXPECT_TRUE(desk.json({"find", "MainFrm/Speed9600"}).value("checked").toBool());

  // The registers are live: a frame the cell takes shows as its last identifier.
  desk.board().command("frame 321#A5");
  EXPECT_TRUE(desk.waitForText("MainFrm/RegFrm/LIDHR", "64")) << desk.text("MainFrm/RegFrm/LIDHR");
  EXPECT_TRUE(desk.waitFor([&] { return (hexValue(desk.text("MainFrm/RegFrm/ISR")) & 0x20) != 0; }));

  // A register typed in the Registers window reaches the board.
  desk.must({"fill", "MainFrm/RegFrm/ICR", "1E"});
  EXPECT_TRUE(desk.waitFor([&] {
    const auto registers = desk.board().registers();
    return registers && registers->main[1] == 0x1E;
  }));
  // And one of a page: Data0 of buffer 2 on page 2.
  desk.must({"tab", "MainFrm/RegFrm/PageControl", "Page 2"});
  desk.must({"fill", "MainFrm/RegFrm/Data02", "C3"});
  EXPECT_TRUE(desk.waitFor([&] {
    const auto registers = desk.board().registers();
    return registers && registers->pages[2][2] == 0xC3;
  }));

  // The About box.
  desk.must({"menu", "MainFrm/About"});
  ASSERT_TRUE(desk.waitFor([&] { return desk.json({"modal"}).value("name").toString() == "AboutFrm"; }));
  desk.screenshot("about", "AboutFrm");
  desk.must({"click", "AboutFrm/OKBtn"});
  ASSERT_TRUE(desk.waitFor([&] { return desk.must({"modal"}) == "none"; }));

  expectOrderlyEnd(desk.exitProgram(), desk);
}

TEST(EndToEnd, TracedFramesOfTheBoardsTrafficAreSavedLoadedAndExported) {
  E2eSession desk;
  // A frame a second, each with its number as data, so every one is unique.
  startConnected(desk, {"--traffic", "--ids", "0x123,0x245,0x3A0"});

  // Windows > Trace docks the Trace window; "Trace enabled" starts it.
  desk.must({"menu", "MainFrm/WinTrace"});
  ASSERT_TRUE(desk.waitFor([&] { return desk.json({"find", "MainFrm/TraceFrm"}).value("visible").toBool(); }));
  desk.must({"click", "MainFrm/TraceFrm/EnableTrc"});
  const auto traced = [&] { return desk.json({"rows", "MainFrm/TraceFrm/ListTrc"}).value("count").toInt(); };
  ASSERT_TRUE(desk.waitFor([&] { return traced() >= 4; }, 60s)) << traced() << " lines traced";

  // The picture of the main window with the Registers and Trace windows: a
  // larger main window, the other windows minimised, the Trace window widened
  // by its splitter.
  desk.must({"setgeometry", "MainFrm", "0", "0", "1160", "720"});
  for (const char* window : {"MainFrm/BitSetFrm", "MainFrm/TransmitFrm", "MainFrm/FiltersFrm"})
    desk.must({"windowstate", window, "minimized"});
  desk.must({"menu", "MainFrm/WinRegisters"});
  const auto traceGeometry = [&] {
    return desk.json({"windows"}).value("docks").toArray().at(0).toObject().value("geometry").toArray();
  };
  const QJsonArray docked = traceGeometry();
  ASSERT_EQ(docked.size(), 4);
  const int edge = docked[0].toInt() - 3;  // the splitter, left of the dock
  const int middle = docked[1].toInt() + docked[3].toInt() / 2;
  desk.must({"drag", "MainFrm", std::to_string(edge), std::to_string(middle), std::to_string(edge - 140),
             std::to_string(middle)});
  EXPECT_TRUE(desk.waitFor([&] { return traceGeometry().at(2).toInt() > docked[2].toInt() + 100; }));
  desk.screenshot("trace-main", "MainFrm");

  desk.must({"click", "MainFrm/TraceFrm/EnableTrc"});  // tracing stops: the list stays as it is
  ASSERT_FALSE(desk.json({"find", "MainFrm/TraceFrm/EnableTrc"}).value("checked").toBool());
  const std::vector<std::vector<std::string>> rows = rowsOf(desk.json({"rows", "MainFrm/TraceFrm/ListTrc"}));
  ASSERT_GE(rows.size(), 4u);

  // Every line is a frame the board took: identifier, length, data, filter and buffer as its bus log says.
  std::vector<std::string> taken;
  const std::regex stored(R"(rx ([0-9A-F]{3}) \[(\d)\]((?: [0-9A-F]{2})*) -> buffer (\d) \(filter (\d)\))");
  for (const std::string& line : desk.board().lines()) {
    std::smatch m;
    if (!std::regex_match(line, m, stored)) continue;
    std::string data;
    for (std::size_t i = 1; i < m[3].str().size(); i += 3) data += m[3].str().substr(i, 2) + " ";
    taken.push_back(m[1].str() + "|" + m[2].str() + "|" + data + "|" + m[5].str() + "|" + m[4].str());
  }
  // The time of each line since the first: in order, to the millisecond.
  double previous = 0;
  for (const auto& row : rows) {
    ASSERT_EQ(row.size(), 6u);
    ASSERT_TRUE(std::regex_match(row[0], std::regex(R"(\d+\.\d{3})"))) << row[0];
    EXPECT_GE(std::stod(row[0]), previous) << row[0];
    previous = std::stod(row[0]);
    const std::string line = row[1] + "|" + row[2] + "|" + row[3] + "|" + row[4] + "|" + row[5];
    EXPECT_NE(std::find(taken.begin(), taken.end(), line), taken.end()) << line << " is no frame the board took";
  }
  EXPECT_EQ(rows[0][0], "0.000");

  // File > Save Trace writes the list.
  const std::string traceFile = desk.path("frames.trc");
  desk.chooseFileFromMenu("MainFrm/TraceSave", traceFile);
  ASSERT_TRUE(desk.waitFor([&] { return !readFile(traceFile).empty(); })) << desk.text("MainFrm/ErrorDisplay");
  auto saved = sectionsOf(readFile(traceFile));
  EXPECT_EQ(saved["General"]["NbLines"], std::to_string(rows.size()));
  EXPECT_EQ(saved["Line1"]["ID"], rows[0][1]);
  EXPECT_EQ(saved["Line1"]["Data"], rows[0][3]);
  const std::string last = "Line" + std::to_string(rows.size());
  EXPECT_EQ(saved[last]["ID"], rows.back()[1]);
  EXPECT_EQ(saved[last]["Buffer"], rows.back()[5]);
  EXPECT_FALSE(saved[last]["Time"].empty());

  // Clear, then File > Load Trace brings the same lines back.
  desk.must({"click", "MainFrm/TraceFrm/ClrTrc"});
  ASSERT_TRUE(desk.waitFor([&] { return traced() == 0; }));
  desk.chooseFileFromMenu("MainFrm/TraceLoad", traceFile);
  ASSERT_TRUE(desk.waitFor([&] { return traced() == int(rows.size()); })) << desk.text("MainFrm/ErrorDisplay");
  EXPECT_EQ(rowsOf(desk.json({"rows", "MainFrm/TraceFrm/ListTrc"})), rows);

  // File > Export Trace as candump log: one line per frame, as other CAN tools read it.
  const std::string logFile = desk.path("frames.log");
  desk.chooseFileFromMenu("MainFrm/TraceExport", logFile);
  ASSERT_TRUE(desk.waitFor([&] { return !readFile(logFile).empty(); })) << desk.text("MainFrm/ErrorDisplay");
  const std::vector<std::string> logLines = linesOf(readFile(logFile));
  ASSERT_EQ(logLines.size(), rows.size());
  const std::regex candump(R"(\(\d+\.\d{6}\) \S+ ([0-9A-F]{3})#([0-9A-F]*))");
  for (std::size_t i = 0; i < rows.size(); ++i) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(logLines[i], m, candump)) << logLines[i];
    std::string data = rows[i][3];
    data.erase(std::remove(data.begin(), data.end(), ' '), data.end());
    EXPECT_EQ(m[1].str(), rows[i][1]) << logLines[i];
    EXPECT_EQ(m[2].str(), data) << logLines[i];
  }

  expectOrderlyEnd(desk.exitProgram(), desk);
}

TEST(EndToEnd, RegistersSavedToAFileComeBackWhenItIsLoaded) {
  E2eSession desk;
  startConnected(desk, {});

  // Values of the person's own: ICR, and Data0 and Data1 of buffer 1.
  desk.must({"fill", "MainFrm/RegFrm/ICR", "1E"});
  desk.must({"tab", "MainFrm/RegFrm/PageControl", "Page 1"});
  desk.must({"fill", "MainFrm/RegFrm/Data01", "A1"});
  desk.must({"fill", "MainFrm/RegFrm/Data11", "B2"});
  ASSERT_TRUE(desk.waitFor([&] {
    const auto registers = desk.board().registers();
    return registers && registers->main[1] == 0x1E && registers->pages[1][2] == 0xA1 && registers->pages[1][3] == 0xB2;
  }));

  // File > Save Register values.
  const std::string registerFile = desk.path("cell.rgr");
  desk.chooseFileFromMenu("MainFrm/RegSave", registerFile);
  ASSERT_TRUE(desk.waitFor([&] { return sectionsOf(readFile(registerFile)).count("Filters") == 1; }))
      << desk.text("MainFrm/ErrorDisplay");
  auto saved = sectionsOf(readFile(registerFile));
  EXPECT_EQ(saved["Main"]["Byte1"], "30");      // ICR 0x1E
  EXPECT_EQ(saved["Buffer1"]["Byte2"], "161");  // Data0 0xA1
  EXPECT_EQ(saved["Buffer1"]["Byte3"], "178");  // Data1 0xB2
  const auto before = desk.board().registers();
  ASSERT_TRUE(before);
  EXPECT_EQ(saved["Main"]["Byte4"], std::to_string(before->main[4]));  // BTR
  EXPECT_EQ(saved["Filters"]["Byte2"], std::to_string(before->pages[4][2]));

  // Other values, then File > Load Register values writes the saved ones back.
  desk.must({"fill", "MainFrm/RegFrm/ICR", "00"});
  desk.must({"tab", "MainFrm/RegFrm/PageControl", "Page 1"});
  desk.must({"fill", "MainFrm/RegFrm/Data01", "00"});
  ASSERT_TRUE(desk.waitFor([&] {
    const auto registers = desk.board().registers();
    return registers && registers->main[1] == 0x00 && registers->pages[1][2] == 0x00;
  }));
  // The load stops the cell (CSR 0), writes ICR and the pages, and CSR last:
  // ICR as saved with the cell running again means the load has ended.
  ASSERT_EQ(before->main[2], 0x01);  // RUN
  desk.chooseFileFromMenu("MainFrm/RegLoad", registerFile);
  ASSERT_TRUE(desk.waitFor([&] {
    const auto registers = desk.board().registers();
    return registers && registers->main[1] == 0x1E && registers->main[2] == 0x01;
  })) << desk.text("MainFrm/ErrorDisplay");
  const auto after = desk.board().registers();
  ASSERT_TRUE(after);
  EXPECT_EQ(after->pages[1][2], 0xA1);
  EXPECT_EQ(after->pages[1][3], 0xB2);
  EXPECT_EQ(after->main[4], before->main[4]);    // BTR
  EXPECT_EQ(after->pages[4], before->pages[4]);  // the filters
  EXPECT_TRUE(desk.waitForConnection()) << desk.text("MainFrm/ErrorDisplay");

  expectOrderlyEnd(desk.exitProgram(), desk);
}

TEST(EndToEnd, APeriodicTransmissionPutsCounterFramesOnTheBus) {
  E2eSession desk;
  const std::string busLog = desk.path("sent.log");
  startConnected(desk, {"--tx-log", busLog});

  desk.must({"menu", "MainFrm/WinTransmission"});
  ASSERT_TRUE(desk.waitFor([&] { return desk.json({"find", "MainFrm/TransmitFrm"}).value("visible").toBool(); }));
  desk.must({"tab", "MainFrm/TransmitFrm/PageControl", "Automatic Data"});
  desk.must({"fill", "MainFrm/TransmitFrm/AutoID", "2A5"});
  desk.must({"click", "MainFrm/TransmitFrm/AutoLength"});  // its arrows only: Up twice
  desk.must({"key", "MainFrm/TransmitFrm/AutoLength", "Up"});
  desk.must({"key", "MainFrm/TransmitFrm/AutoLength", "Up"});
  EXPECT_EQ(desk.text("MainFrm/TransmitFrm/AutoLength"), "2");
  desk.must({"click", "MainFrm/TransmitFrm/CntMode"});
  // The upper bound first: leaving the lower one above it pulls it down.
  desk.must({"fill", "MainFrm/TransmitFrm/CntMax", "0000000000000100"});
  desk.must({"fill", "MainFrm/TransmitFrm/CntMin", "00000000000000FE"});
  desk.must({"click", "MainFrm/TransmitFrm/Repetition/=Automatic Transmission"});
  ASSERT_EQ(desk.text("MainFrm/TransmitFrm/Apply"), "Start");
  desk.must({"click", "MainFrm/TransmitFrm/Apply"});  // Start: a frame every second
  EXPECT_TRUE(desk.waitForText("MainFrm/TransmitFrm/Apply", "Stop"));

  // The counter runs FE, FF, 100 and starts again at FE; Data0 is its low byte.
  const auto sent = [&] {
    std::vector<std::string> frames;
    const std::regex line(R"(\(\d+\.\d+\) \S+ (\S+))");
    for (const std::string& text : linesOf(readFile(busLog))) {
      std::smatch m;
      if (std::regex_match(text, m, line)) frames.push_back(m[1].str());
    }
    return frames;
  };
  ASSERT_TRUE(desk.waitFor([&] { return sent().size() >= 4; }, 60s)) << sent().size() << " frames sent";
  const std::vector<std::string> expected = {"2A5#FE00", "2A5#FF00", "2A5#0001", "2A5#FE00"};
  const std::vector<std::string> frames = sent();
  EXPECT_EQ(std::vector<std::string>(frames.begin(), frames.begin() + 4), expected);
  // The outcome panel turns green: the board acknowledged the frames.
  EXPECT_TRUE(desk.waitFor([&] {
    return desk.must({"pixel", "MainFrm/TransmitFrm/StatusBar", "1", "1"}) == "#00ff00";
  }));

  desk.must({"click", "MainFrm/TransmitFrm/Apply"});  // Stop
  EXPECT_TRUE(desk.waitForText("MainFrm/TransmitFrm/Apply", "Start"));
  EXPECT_TRUE(desk.json({"find", "MainFrm/TransmitFrm/Refresh"}).value("enabled").toBool());
  desk.screenshot("transmission", "MainFrm/TransmitFrm");

  expectOrderlyEnd(desk.exitProgram(), desk);
}

// The Transmission window with the keyboard alone: a frame typed and sent
// with Enter, and sent again with Enter once the window has shown its outcome.
TEST(EndToEnd, TheKeyboardAloneSendsTwoFramesInARow) {
  E2eSession desk;
  const std::string busLog = desk.path("bus.log");
  startConnected(desk, {"--tx-log", busLog});
  desk.must({"menu", "MainFrm/WinTransmission"});
  ASSERT_TRUE(desk.waitFor([&] { return desk.json({"find", "MainFrm/TransmitFrm"}).value("visible").toBool(); }));
  for (const char* keys : {"Alt+U", "Alt+I", "1, 2, 3", "Up", "Alt+D", "4, 2", "Return"})
    desk.must({"key", "MainFrm", keys});  // the identifier's last digit hands on to Length, Up makes it 1
  const auto sent = [&] { return linesOf(readFile(busLog)); };
  ASSERT_TRUE(desk.waitFor([&] { return sent().size() == 1; })) << sent().size() << " frames sent";
  EXPECT_NE(sent()[0].find(" 123#42"), std::string::npos) << sent()[0];
  // The outcome shown, the controls enabled again: Enter sends once more.
  ASSERT_TRUE(desk.waitFor([&] {
    return desk.json({"find", "MainFrm/TransmitFrm/Refresh"}).value("enabled").toBool();
  }));
  desk.must({"key", "MainFrm", "Return"});
  ASSERT_TRUE(desk.waitFor([&] { return sent().size() == 2; })) << sent().size() << " frames sent";
  EXPECT_NE(sent()[1].find(" 123#42"), std::string::npos) << sent()[1];
  expectOrderlyEnd(desk.exitProgram(), desk);
}

TEST(EndToEnd, ABitTimingSearchIsOfferedAcceptedAndWrittenToTheCell) {
  E2eSession desk;
  startConnected(desk, {});

  desk.must({"menu", "MainFrm/WinBitSettings"});
  ASSERT_TRUE(desk.waitFor([&] { return desk.json({"find", "MainFrm/BitSetFrm"}).value("visible").toBool(); }));
  desk.must({"fill", "MainFrm/BitSetFrm/Clock", "8"});
  desk.must({"fill", "MainFrm/BitSetFrm/BaudRate", "10000"});
  desk.must({"fill", "MainFrm/BitSetFrm/SamplePos", "50"});
  desk.must({"click", "MainFrm/BitSetFrm/Calc1"});
  // No exact setting: the nearest is offered.
  ASSERT_TRUE(desk.waitFor([&] { return desk.json({"modal"}).value("name").toString() == "BitSetPrompt"; }));
  const std::string offer = desk.json({"modal"}).value("text").toString().toStdString();
  EXPECT_NE(offer.find("10323 bps"), std::string::npos) << offer;
  EXPECT_NE(offer.find("68 %"), std::string::npos) << offer;
  desk.must({"click", "@modal/=Yes"});
  ASSERT_TRUE(desk.waitFor([&] { return desk.must({"modal"}) == "none"; }));
  EXPECT_EQ(desk.text("MainFrm/BitSetFrm/BRP"), "1F");  // 31
  EXPECT_EQ(desk.text("MainFrm/BitSetFrm/BS1"), "16");
  EXPECT_EQ(desk.text("MainFrm/BitSetFrm/BS2"), "8");
  EXPECT_EQ(desk.text("MainFrm/BitSetFrm/BaudRate"), "10323");
  desk.screenshot("bitsettings", "MainFrm/BitSetFrm");

  // Apply: the running cell is stopped first, after a question.
  desk.must({"click", "MainFrm/BitSetFrm/Apply"});
  ASSERT_TRUE(desk.waitFor([&] { return desk.json({"modal"}).value("name").toString() == "BitSetPrompt"; }));
  EXPECT_EQ(desk.json({"modal"}).value("text").toString(), "CAN cell is running. Stop it?");
  desk.must({"click", "@modal/=Yes"});
  // BRPR = (RJW - 1) * 64 + BRP - 1 with RJW 1; BTR = BS1 - 1 + (BS2 - 1) * 16; CSR stopped.
  EXPECT_TRUE(desk.waitFor([&] {
    const auto registers = desk.board().registers();
    return registers && registers->main[3] == 0x1E && registers->main[4] == 0x7F && registers->main[2] == 0x00;
  }));
  EXPECT_TRUE(desk.waitForText("MainFrm/RegFrm/BTR", "7F"));

  expectOrderlyEnd(desk.exitProgram(), desk);
}

TEST(EndToEnd, TwoFiltersLetTheCellTakeOnlyTheirIdentifiers) {
  E2eSession desk;
  startConnected(desk, {});

  desk.must({"menu", "MainFrm/WinFilters"});
  ASSERT_TRUE(desk.waitFor([&] { return desk.json({"find", "MainFrm/FiltersFrm"}).value("visible").toBool(); }));
  desk.must({"fill", "MainFrm/FiltersFrm/ID0", "123"});
  desk.must({"fill", "MainFrm/FiltersFrm/Mask0", "7FF"});
  desk.must({"click", "MainFrm/FiltersFrm/FrameKind00"});  // Data
  desk.must({"fill", "MainFrm/FiltersFrm/ID1", "245"});
  desk.must({"fill", "MainFrm/FiltersFrm/Mask1", "7FF"});
  desk.must({"click", "MainFrm/FiltersFrm/FrameKind10"});
  desk.screenshot("filters", "MainFrm/FiltersFrm");
  desk.must({"click", "MainFrm/FiltersFrm/Apply"});

  // FHR, FLR, MHR, MLR of both filters on page 4.
  const std::array<uint8_t, 8> written = {0x24, 0x60, 0xFF, 0xF0, 0x48, 0xA0, 0xFF, 0xF0};
  ASSERT_TRUE(desk.waitFor([&] {
    const auto registers = desk.board().registers();
    return registers && std::equal(written.begin(), written.end(), registers->pages[4].begin());
  }));

  const std::size_t from = desk.board().lineCount();
  for (const char* frame : {"frame 123#01", "frame 3A0#02", "frame 245#03", "frame 124#04"})
    desk.board().command(frame);
  const auto received = [&](const std::string& start) {
    return desk.board().waitForLine([&](const std::string& line) { return startsWith(line, start); }, from, 30s);
  };
  EXPECT_TRUE(received("rx 123 [1] 01 -> buffer 1 (filter 0)"));
  EXPECT_TRUE(received("rx 3A0 [1] 02 -> not accepted by the filters"));
  EXPECT_TRUE(received("rx 245 [1] 03 -> buffer 2 (filter 1)"));
  EXPECT_TRUE(received("rx 124 [1] 04 -> not accepted by the filters"));

  expectOrderlyEnd(desk.exitProgram(), desk);
}

TEST(EndToEnd, TheBoardUnpluggedShowsAnErrorAndPluggedBackWorksAgainWithoutARestart) {
  E2eSession desk;
  startConnected(desk, {});

  desk.board().command("vanish");
  ASSERT_TRUE(desk.waitFor([&] { return startsWith(desk.text("MainFrm/ErrorDisplay"), "ERROR: "); }))
      << desk.text("MainFrm/ErrorDisplay");
  EXPECT_EQ(desk.must({"pixel", "MainFrm/ErrorDisplay", "1", "1"}), "#ff0000");

  ASSERT_TRUE(desk.board().reappear());
  ASSERT_TRUE(desk.waitForConnection()) << desk.text("MainFrm/ErrorDisplay");
  // The registers are live again.
  desk.board().command("frame 4D2#01");
  EXPECT_TRUE(desk.waitForText("MainFrm/RegFrm/LIDHR", "9A")) << desk.text("MainFrm/RegFrm/LIDHR");
  desk.must({"fill", "MainFrm/RegFrm/ICR", "06"});
  EXPECT_TRUE(desk.waitFor([&] {
    const auto registers = desk.board().registers();
    return registers && registers->main[1] == 0x06;
  }));

  expectOrderlyEnd(desk.exitProgram(), desk);
}

TEST(EndToEnd, ClosingEndsTheProgramAndTheNextStartBringsBackEveryWindowAndSetting) {
  E2eSession desk;
  startConnected(desk, {});

  // The person arranges the desk: a larger main window, the Registers window
  // moved, the Trace window docked and tracing, a clock and a repetition chosen.
  desk.must({"setgeometry", "MainFrm", "40", "30", "1100", "760"});
  desk.must({"setgeometry", "MainFrm/RegFrm", "12", "24", "400", "470"});
  desk.must({"menu", "MainFrm/WinFilters"});
  desk.must({"setgeometry", "MainFrm/FiltersFrm", "300", "260", "660", "330"});
  desk.must({"menu", "MainFrm/WinTrace"});
  ASSERT_TRUE(desk.waitFor([&] { return desk.json({"find", "MainFrm/TraceFrm"}).value("visible").toBool(); }));
  desk.must({"click", "MainFrm/TraceFrm/EnableTrc"});
  ASSERT_TRUE(desk.waitFor([&] {
    return desk.json({"find", "MainFrm/TraceFrm/EnableTrc"}).value("checked").toBool();
  }));
  desk.must({"menu", "MainFrm/WinBitSettings"});
  desk.must({"setgeometry", "MainFrm/BitSetFrm", "420", "24", "640", "400"});
  desk.must({"fill", "MainFrm/BitSetFrm/Clock", "16"});
  desk.must({"menu", "MainFrm/WinTransmission"});
  desk.must({"setgeometry", "MainFrm/TransmitFrm", "100", "300", "420", "330"});
  desk.must({"click", "MainFrm/TransmitFrm/Repetition/=Automatic Transmission"});
  desk.must({"menu", "MainFrm/WinRegisters"});  // the Registers window on top, and the active one
  const QJsonObject before = desk.json({"windows"});

  expectOrderlyEnd(desk.exitProgram(), desk);
  EXPECT_FALSE(desk.programRunning());

  ASSERT_TRUE(desk.startProgram()) << desk.programOutput();
  // Connected at once on the port and speed of the last run.
  ASSERT_TRUE(desk.waitForConnection()) << desk.text("MainFrm/ErrorDisplay");
  EXPECT_TRUE(desk.json({"find", "MainFrm/COM1"}).value("checked").toBool());
  EXPECT_TRUE(desk.json({"find", "MainFrm/Speed9600"}).value("checked").toBool());
  EXPECT_TRUE(desk.json({"find", "MainFrm/TraceFrm/EnableTrc"}).value("checked").toBool()) << desk.settingsText();
  EXPECT_EQ(desk.text("MainFrm/BitSetFrm/Clock"), "16");
  EXPECT_TRUE(desk.json({"find", "MainFrm/TransmitFrm/Repetition/=Automatic Transmission"}).value("checked").toBool());
  const QJsonObject after = desk.json({"windows"});
  const auto json = [](const QJsonValue& v) {
    return QJsonDocument(v.toArray()).toJson(QJsonDocument::Compact).toStdString();
  };
  EXPECT_EQ(json(after.value("windows")), json(before.value("windows")));
  EXPECT_EQ(json(after.value("children")), json(before.value("children")));
  EXPECT_EQ(json(after.value("docks")), json(before.value("docks")));

  expectOrderlyEnd(desk.exitProgram(), desk);
}

}  // namespace
