#include "E2eSession.h"

#include <QJsonDocument>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace e2e {

namespace {

std::string driverSocket() {
  return std::string(std::getenv("XDG_RUNTIME_DIR")) + "/vorelan-driver.sock";
}

void writeFile(const std::string& path, const std::string& text) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

std::string joined(const std::vector<std::string>& fields) {
  std::string line;
  for (const std::string& field : fields) line += (line.empty() ? "" : " ") + field;
  return line;
}

}  // namespace

std::string readFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

int hexValue(const std::string& text) {
  if (text.empty()) return -1;
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 16);
  return *end ? -1 : int(value);
}

E2eSession::E2eSession()
    : home_(std::filesystem::path(std::getenv("XDG_CONFIG_HOME")).parent_path().string()),
      display_(std::make_unique<XServer>(home_, 1280, 1024, 30s)) {}

E2eSession::~E2eSession() {
  driver_.disconnect();
  program_.reset();  // killed if a failed test left it running
  board_.reset();
}

void E2eSession::startBoard(const std::vector<std::string>& arguments) {
  std::vector<std::string> all = arguments;
  all.insert(all.end(), {"--link", boardLink()});
  board_ = std::make_unique<BoardProcess>(VORELAN_BOARDSIM_PROGRAM, all, Environment());
  // The first line names the pseudo-terminal once the link is there.
  ASSERT_TRUE(
      board_->waitForLine([](const std::string& line) { return line.find("board on") != std::string::npos; }, 0, 30s))
      << "the board simulator did not start";
}

void E2eSession::mapCom1ToBoard() const {
  writeFile(home_ + "/config/vorelan/ports.conf", "COM1=" + boardLink() + "\n");
}

void E2eSession::storeCom1At9600() const {
  writeFile(home_ + "/config/Orvex/vorelan.conf", "[Communication]\nPort=1\nSettings=\"9600,n,8,1\"\nTimeOut=1000\n");
}

std::string E2eSession::settingsText() const {
  return readFile(home_ + "/config/Orvex/vorelan.conf");
}

bool E2eSession::startProgram(const std::vector<std::string>& arguments) {
  Environment environment;
  environment.set("DISPLAY", display_->display());
  environment.set("XAUTHORITY", display_->authorityFile());
  environment.set("QT_QPA_PLATFORM", "xcb");
  environment.set("VORELAN_TEST_DRIVER", driverSocket());
  // Under AddressSanitizer: leaks of the display's own libraries are theirs.
  const std::string leakOptions = environment.get("LSAN_OPTIONS");
  environment.set("LSAN_OPTIONS",
                  (leakOptions.empty() ? "" : leakOptions + ":") + "suppressions=" + VORELAN_E2E_LSAN_SUPPRESSIONS);
  for (const char* name : {"QT_QPA_PLATFORMTHEME", "QT_STYLE_OVERRIDE", "QT_SCALE_FACTOR", "WAYLAND_DISPLAY",
                           "VORELAN_COM1", "VORELAN_COM2", "VORELAN_COM3"})
    environment.erase(name);
  ChildProcess::Options options;
  options.arguments = {VORELAN_PROGRAM};
  options.arguments.insert(options.arguments.end(), arguments.begin(), arguments.end());
  options.environment = environment;
  options.outputFile = path("vorelan-output.txt");
  program_ = std::make_unique<ChildProcess>(std::move(options));
  if (!program_->started()) return false;
  if (!driver_.connect(driverSocket(), 60s)) return false;
  // The driver answers once the program's event loop runs.
  return driver_.request({"ping"}, 120s).ok;
}

std::optional<int> E2eSession::exitProgram() {
  must({"menu", "MainFrm/Exit"});
  const std::optional<int> status = program_->waitForEnd(60s);
  driver_.disconnect();
  return status;
}

bool E2eSession::programRunning() const {
  return program_ && program_->started() && !program_->ended();
}

std::string E2eSession::programOutput() const {
  return readFile(path("vorelan-output.txt"));
}

DriverAnswer E2eSession::ask(const std::vector<std::string>& fields) {
  return driver_.request(fields);
}

std::string E2eSession::must(const std::vector<std::string>& fields) {
  const DriverAnswer answer = driver_.request(fields);
  if (!answer.received)
    ADD_FAILURE() << "no answer to \"" << joined(fields) << "\"\n" << programOutput();
  else if (!answer.ok)
    ADD_FAILURE() << "\"" << joined(fields) << "\" refused: " << answer.text;
  return answer.ok ? answer.text : std::string();
}

QJsonObject E2eSession::json(const std::vector<std::string>& fields) {
  return QJsonDocument::fromJson(QByteArray::fromStdString(must(fields))).object();
}

std::string E2eSession::text(const std::string& controlPath) {
  return must({"text", controlPath});
}

bool E2eSession::waitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline || !driver_.connected()) return false;
    // Each look is a round trip through the program's event loop; this pause
    // only keeps the looks from crowding it.
    std::this_thread::sleep_for(50ms);
  }
  return true;
}

bool E2eSession::waitForText(const std::string& controlPath, const std::string& expected,
                             std::chrono::milliseconds limit) {
  return waitFor([&] { return text(controlPath) == expected; }, limit);
}

bool E2eSession::waitForConnection(std::chrono::milliseconds limit) {
  return waitForText("MainFrm/ErrorDisplay", "Connection OK", limit);
}

void E2eSession::chooseFileFromMenu(const std::string& entryPath, const std::string& file) {
  must({"menu", entryPath});
  const bool dialogOpen = waitFor([this] { return json({"modal"}).value("class").toString() == "QFileDialog"; });
  if (!dialogOpen) {
    ADD_FAILURE() << "no file dialog after " << entryPath;
    return;
  }
  must({"filedialog", file});
  if (!waitFor([this] { return must({"modal"}) == "none"; })) ADD_FAILURE() << "the file dialog stayed open";
}

void E2eSession::screenshot(const std::string& name, const std::string& windowPath) {
  const char* folder = std::getenv("VORELAN_E2E_SCREENSHOTS");
  const std::string file = std::string(folder && *folder ? folder : home_.c_str()) + "/e2e-" + name + ".png";
  const std::string size = must({"grab", windowPath, file});
  struct stat written {};
  EXPECT_EQ(::stat(file.c_str(), &written), 0) << file;
  EXPECT_GT(written.st_size, 1000) << file << " (" << size << ")";
  EXPECT_EQ(readFile(file).substr(1, 3), "PNG") << file;  // the format's signature
}

}  // namespace e2e
