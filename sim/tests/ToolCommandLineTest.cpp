#include "ConsoleReport.h"
#include "ToolCommandLine.h"

#include <gtest/gtest.h>

using namespace boardsim;
using namespace boardsim::tool;

namespace {
ToolConfig parse(std::vector<std::string> args) {
  return parseCommandLine(args);
}
// What the command line's refusal says, "no error" when it is taken.
std::string message(std::vector<std::string> args) {
  try {
    parseCommandLine(args);
  } catch (const UsageError& e) {
    return e.what();
  }
  return "no error";
}
}  // namespace

TEST(CommandLine, OptionsReachTheSimulator) {
  auto c = parse({"--link", "/tmp/x", "--instant", "--traffic", "--ids", "0x100,0x7FF,5", "--rate", "2.5", "--dlc", "3",
                  "--no-ack", "--trace", "t.txt", "--drop", "2", "--split", "2,20", "--vanish-after", "100"});
  EXPECT_EQ(c.options.linkPath, "/tmp/x");
  EXPECT_TRUE(c.options.instant);
  EXPECT_FALSE(c.options.acknowledged);
  EXPECT_TRUE(c.generate);
  EXPECT_EQ(c.generator.ids, (std::vector<uint16_t>{0x100, 0x7FF, 5}));
  EXPECT_DOUBLE_EQ(c.generator.rate, 2.5);
  EXPECT_EQ(c.generator.dlc, 3);
  EXPECT_EQ(c.options.tracePath, "t.txt");
  EXPECT_EQ(c.startupCommands, (std::vector<std::string>{"drop 2", "split 2 20"}));
  EXPECT_EQ(c.vanishAfter, std::chrono::milliseconds(100));
}

TEST(CommandLine, BadArgumentsAreNamed) {
  EXPECT_NE(message({"--bogus"}).find("--bogus"), std::string::npos);
  EXPECT_NE(message({"--ids", "0x800"}).find("0x800"), std::string::npos);
  EXPECT_NE(message({"--rate", "0"}).find("'0'"), std::string::npos);
  EXPECT_NE(message({"--dlc", "9"}).find("'9'"), std::string::npos);
  EXPECT_NE(message({"--link"}).find("needs a value"), std::string::npos);
  EXPECT_NE(message({"--traffic", "--replay", "f"}).find("exclude"), std::string::npos);
  EXPECT_NE(message({"--drop", "-1"}).find("no error"), std::string::npos);  // checked when run
  EXPECT_NE(usageText().find("--traffic"), std::string::npos);
}

TEST(CommandLine, InteractiveCommandsDriveTheBoard) {
  BoardSimulator sim;  // not started: commands act at once
  EXPECT_EQ(runCommand(sim, "frame 123#1122"), "");
  EXPECT_EQ(sim.peekRegister(1, 0x60), 0x24);
  EXPECT_NE(runCommand(sim, "regs").find("ISR 20"), std::string::npos);
  EXPECT_NE(runCommand(sim, "ack off").find("not"), std::string::npos);
  EXPECT_NO_THROW(runCommand(sim, "drop 2"));
  EXPECT_NO_THROW(runCommand(sim, "split 2 10 3"));
  EXPECT_NO_THROW(runCommand(sim, "extra 55aa"));
  EXPECT_NO_THROW(runCommand(sim, "clear"));
  EXPECT_EQ(runCommand(sim, "   "), "");
  EXPECT_THROW(runCommand(sim, "drop"), UsageError);
  EXPECT_THROW(runCommand(sim, "drop -1"), UsageError);
  EXPECT_THROW(runCommand(sim, "extra 5"), UsageError);
  EXPECT_THROW(runCommand(sim, "frame 123-11"), UsageError);
  EXPECT_THROW(runCommand(sim, "launch"), UsageError);
}

TEST(CommandLine, ChaosOptions) {
  auto c = parse({"--chaos-kinds", "drop,vanish", "--chaos", "42", "--chaos-interval", "250", "--chaos-report", "r"});
  ASSERT_TRUE(c.chaos);
  EXPECT_EQ(c.chaos->seed, 42u);
  EXPECT_EQ(c.chaos->meanInterval, std::chrono::milliseconds(250));
  EXPECT_EQ(c.chaos->kinds, FaultKinds().set(std::size_t(FaultKind::Drop)).set(std::size_t(FaultKind::Vanish)));
  EXPECT_EQ(c.chaosReportPath, "r");

  // The seed is optional; under --no-ack there is no acknowledgement to take away.
  auto d = parse({"--chaos", "--no-ack"});
  ASSERT_TRUE(d.chaos);
  EXPECT_EQ(d.chaos->kinds, allFaultKinds().reset(std::size_t(FaultKind::NoAck)));
  EXPECT_FALSE(parse({}).chaos);

  EXPECT_NE(message({"--chaos", "--chaos-kinds", "drop,bogus"}).find("'bogus'"), std::string::npos);
  EXPECT_NE(message({"--chaos-interval", "5"}).find("needs --chaos"), std::string::npos);
  EXPECT_NE(message({"--chaos", "--chaos-interval", "0"}).find("at least 1 ms"), std::string::npos);
  EXPECT_NE(message({"--chaos", "x1"}).find("seed"), std::string::npos);
  EXPECT_NE(message({"--no-ack", "--chaos", "--chaos-kinds", "noack"}).find("exclude"), std::string::npos);

  BoardSimulator sim;
  EXPECT_EQ(runCommand(sim, "stats"), "chaos: off");
  FaultInjector chaos(*c.chaos);  // not started: nothing counted yet
  EXPECT_EQ(runCommand(sim, "stats", &chaos),
            "chaos: seed=42 drop=0 corrupt=0 extra=0 split=0 noise=0 vanish=0 noack=0 total=0");
}

TEST(ConsoleReport, DescribesWhatHappenedToAFrame) {
  BoardSimulator::BusEvent e;
  e.frame.id = 0x123;
  e.frame.dlc = 2;
  e.frame.data = {0x11, 0x22};
  e.reception = {CanCell::Reception::Stored, 2, 1};
  EXPECT_EQ(describe(e), "rx 123 [2] 11 22 -> buffer 2 (filter 1)");
  e.reception.outcome = CanCell::Reception::Overrun;
  EXPECT_EQ(describe(e), "rx 123 [2] 11 22 -> overrun: no free receive buffer");
  e.kind = BoardSimulator::BusEvent::Kind::Transmitted;
  e.buffer = 3;
  e.frame.remote = true;
  EXPECT_EQ(describe(e), "tx 123 [2] remote from buffer 3: not acknowledged");
}
