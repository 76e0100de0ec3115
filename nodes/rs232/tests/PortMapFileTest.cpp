// The port map's format as a table: what a line means, what a whole text
// gives each port, and what the editor writes back.
#include <gtest/gtest.h>

#include <stdexcept>

#include "PortMapFile.h"

namespace {

struct LineCase {
  const char* line;
  int port;            // 0: the line maps nothing
  const char* device;  // when port != 0
};

const LineCase kLines[] = {
    {"COM1=/dev/ttyUSB0", 1, "/dev/ttyUSB0"},
    {"com2=/dev/ttyACM0", 2, "/dev/ttyACM0"},
    {"cOm3=/dev/ttyS2", 3, "/dev/ttyS2"},
    {"  \tCOM4 \t=  /dev/ttyS3 \t", 4, "/dev/ttyS3"},
    {"COM5=/dev/ttyS4\r", 5, "/dev/ttyS4"},
    {"COM6=/dev/tty S5", 6, "/dev/tty S5"},  // blanks inside the path belong to it
    {"COM7=/tmp/a=b#c", 7, "/tmp/a=b#c"},    // the first '=' ends the name; no comments after a path
    {"COM007=/dev/ttyS6", 7, "/dev/ttyS6"},
    {"COM12=/dev/ttyACM1", 12, "/dev/ttyACM1"},
    {"COM2147483647=/dev/x", 2147483647, "/dev/x"},
    {"COM8=", 8, ""},  // an empty path maps nothing, but names the port
    {"COM8=  \r", 8, ""},
    {"", 0, nullptr},
    {" \t\r", 0, nullptr},
    {"# COM1=/dev/ttyUSB0", 0, nullptr},
    {"   #COM1=/dev/ttyUSB0", 0, nullptr},
    {"COM1", 0, nullptr},
    {"COM1 /dev/ttyUSB0", 0, nullptr},
    {"=/dev/ttyUSB0", 0, nullptr},
    {"COM=/dev/ttyUSB0", 0, nullptr},
    {"COM0=/dev/ttyUSB0", 0, nullptr},
    {"COM-1=/dev/ttyUSB0", 0, nullptr},
    {"COM+1=/dev/ttyUSB0", 0, nullptr},
    {"COM 1=/dev/ttyUSB0", 0, nullptr},
    {"COM1x=/dev/ttyUSB0", 0, nullptr},
    {"COMX=/dev/null", 0, nullptr},
    {"CON1=/dev/ttyUSB0", 0, nullptr},
    {"LPT1=/dev/lp0", 0, nullptr},
    {"speed=9600", 0, nullptr},
    {"COM2147483648=/dev/x", 0, nullptr},  // too large for a port number
    {"COM99999999999999999999=/dev/x", 0, nullptr},
};

TEST(PortMapFormat, EachLineMeansWhatTheFormatSays) {
  for (const LineCase& c : kLines) {
    SCOPED_TRACE(c.line);
    const std::optional<portmap::Mapping> mapping = portmap::ParseLine(c.line);
    if (c.port == 0) {
      EXPECT_FALSE(mapping.has_value());
      continue;
    }
    ASSERT_TRUE(mapping.has_value());
    EXPECT_EQ(mapping->port, c.port);
    EXPECT_EQ(mapping->device, c.device);
  }
}

struct TextCase {
  const char* what;
  std::string text;
  int port;
  std::string device;
};

const TextCase kTexts[] = {
    {"LF lines", "COM1=/dev/a\nCOM2=/dev/b\n", 2, "/dev/b"},
    {"CR LF lines", "COM1=/dev/a\r\nCOM2=/dev/b\r\n", 1, "/dev/a"},
    {"CR LF lines", "COM1=/dev/a\r\nCOM2=/dev/b\r\n", 2, "/dev/b"},
    {"no final line end", "COM1=/dev/a\nCOM2=/dev/b", 2, "/dev/b"},
    {"the first line wins", "COM1=/dev/a\ncom1=/dev/b\n", 1, "/dev/a"},
    {"an empty path is passed over", "COM1=\nCOM1= \t\nCOM1=/dev/b\n", 1, "/dev/b"},
    {"only empty paths", "COM1=\n", 1, ""},
    {"comments and other lines around", "# head\n\nspeed=9600\n  # COM3=/dev/x\nCOM3=/dev/y\n", 3, "/dev/y"},
    {"a commented-out line is no entry", "#COM3=/dev/x\n", 3, ""},
    {"another port", "COM1=/dev/a\n", 2, ""},
    {"COM1 is not COM11", "COM11=/dev/a\n", 1, ""},
    {"empty text", "", 1, ""},
    {"a lone CR is a blank, not a line end", "COM1=/dev/a\rCOM2=/dev/b\n", 2, ""},
    {"a NUL byte inside a path", std::string("COM1=/dev/a\0b\n", 14), 1, std::string("/dev/a\0b", 8)},
};

TEST(PortMapFormat, AWholeTextGivesEachPortOneDevice) {
  for (const TextCase& c : kTexts) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(portmap::FindEntry(c.text, c.port), c.device);
  }
}

struct EditCase {
  const char* what;
  const char* before;
  std::map<int, std::string> devices;
  const char* after;
};

const EditCase kEdits[] = {
    {"a new map starts with a comment",
     "",
     {{3, "/dev/ttyACM0"}},
     "# written by Vorelan: COM<n>=<device>\nCOM3=/dev/ttyACM0\n"},
    {"nothing chosen leaves the text as it is", "# mine\r\nCOM1 = /dev/a \r\n", {}, "# mine\r\nCOM1 = /dev/a \r\n"},
    {"the first line of a port is rewritten in place, later ones dropped",
     "# mine\n  com1 = /dev/ttyUSB0  \nCOM4=/dev/ttyS9\nCOM1=/dev/old\ngarbage line\n",
     {{1, "/dev/pts/7"}},
     "# mine\nCOM1=/dev/pts/7\nCOM4=/dev/ttyS9\ngarbage line\n"},
    {"an empty path line is rewritten too", "COM1=\nCOM1=/dev/a\n", {{1, "/dev/b"}}, "COM1=/dev/b\n"},
    {"ports without a line are added in port order",
     "COM2=/dev/b\n",
     {{3, "/dev/c"}, {1, "/dev/a"}},
     "COM2=/dev/b\nCOM1=/dev/a\nCOM3=/dev/c\n"},
    {"an empty or blank device removes the port's lines",
     "COM1=/dev/a\nCOM2=/dev/b\nCOM1=/dev/c\n",
     {{1, " \t"}, {2, ""}, {3, ""}},
     ""},
    {"the chosen device loses its outer blanks",
     "",
     {{2, "  /dev/tty S1 "}},
     "# written by Vorelan: COM<n>=<device>\nCOM2=/dev/tty S1\n"},
    {"CR LF lines keep their line ends and new lines follow them",
     "# mine\r\nCOM1=/dev/a\r\nspeed=9600\r\n",
     {{1, "/dev/b"}, {2, "/dev/c"}},
     "# mine\r\nCOM1=/dev/b\r\nspeed=9600\r\nCOM2=/dev/c\r\n"},
    {"a rewritten line keeps its own line end",
     "COM1=/dev/a\r\nCOM2=/dev/b\n",
     {{2, "/dev/c"}},
     "COM1=/dev/a\r\nCOM2=/dev/c\n"},
    {"a last line without a line end gets one",
     "# mine\nCOM2=/dev/b",
     {{1, "/dev/a"}},
     "# mine\nCOM2=/dev/b\nCOM1=/dev/a\n"},
    {"comments, blanks and unknown lines stay byte for byte",
     "  # keep me  \n\n\t\nCOM0=/dev/zero\nbaud = 9600\n#COM1=/dev/old\nCOM1=/dev/a\n",
     {{1, ""}},
     "  # keep me  \n\n\t\nCOM0=/dev/zero\nbaud = 9600\n#COM1=/dev/old\n"},
};

TEST(PortMapFormat, TheEditorRewritesOnlyTheChosenPorts) {
  for (const EditCase& c : kEdits) {
    SCOPED_TRACE(c.what);
    const std::string after = portmap::WithEntries(c.before, c.devices);
    EXPECT_EQ(after, c.after);
    // What was written is what the serial node will read.
    for (const auto& [port, device] : c.devices) {
      const std::size_t first = device.find_first_not_of(" \t");
      const std::string written =
          first == std::string::npos ? "" : device.substr(first, device.find_last_not_of(" \t") + 1 - first);
      EXPECT_EQ(portmap::FindEntry(after, port), written) << "COM" << port;
    }
  }
}

TEST(PortMapFormat, WhatTheFormatCannotCarryIsRefused) {
  EXPECT_THROW(portmap::WithEntries("COM1=/dev/a\n", {{1, "/dev/b\nCOM2=/dev/evil"}}), std::invalid_argument);
  EXPECT_THROW(portmap::WithEntries("", {{1, "/dev/b\r/dev/c"}}), std::invalid_argument);
  EXPECT_THROW(portmap::WithEntries("", {{0, "/dev/b"}}), std::invalid_argument);
  EXPECT_EQ(portmap::EntryLine(7, "/dev/ttyUSB1"), "COM7=/dev/ttyUSB1");
}

}  // namespace
