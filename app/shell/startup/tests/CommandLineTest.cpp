// The command line: the program's options and the files it names.
#include "CommandLine.h"

#include <gtest/gtest.h>

namespace {

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

}  // namespace
