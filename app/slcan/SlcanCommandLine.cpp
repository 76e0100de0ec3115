#include "SlcanCommandLine.h"

#include <algorithm>
#include <charconv>
#include <iterator>

namespace {

std::optional<int> Number(const std::string& text, int low, int high) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < low || value > high) return std::nullopt;
  return value;
}

}  // namespace

TSlcanCommandLine TSlcanCommandLine::parse(const std::vector<std::string>& args) {
  TSlcanCommandLine line;
  const auto fail = [&line](const std::string& message) {
    if (line.error.empty()) line.error = message;
  };
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i], value;
    bool hasValue = false;
    if (const std::size_t eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = name.substr(eq + 1);
      name = name.substr(0, eq);
      hasValue = true;
    }
    if (name == "--help" || name == "-h") {
      line.help = true;
      continue;
    }
    if (name == "--version") {
      line.version = true;
      continue;
    }
    static const char* const withValue[] = {"--port", "--speed", "--timeout", "--link", "--clock", "--tx-buffer"};
    if (std::find(std::begin(withValue), std::end(withValue), name) == std::end(withValue)) {
      fail("unknown option '" + args[i] + "'");
      continue;
    }
    if (!hasValue) {
      if (i + 1 >= args.size()) {
        fail(name + " needs a value");
        continue;
      }
      value = args[++i];
    }
    if (name == "--port") {
      std::string com = value;
      if (com.size() == 4 && (com.rfind("COM", 0) == 0 || com.rfind("com", 0) == 0)) com = com.substr(3);
      if (com == "1" || com == "2" || com == "3") {
        line.port = com;
        line.devicePath.clear();
      } else if (!value.empty() && value.find('/') != std::string::npos) {
        line.port = "1";
        line.devicePath = value;
      } else {
        fail("--port takes COM1, COM2, COM3 or a device path, not '" + value + "'");
      }
    } else if (name == "--speed") {
      if (const auto n = Number(value, 1, 4000000))
        line.speed = *n;
      else
        fail("--speed takes bits per second, such as 19200");
    } else if (name == "--timeout") {
      if (const auto n = Number(value, 1, 600000))
        line.timeOutMs = *n;
      else
        fail("--timeout takes milliseconds, 1 to 600000");
    } else if (name == "--link") {
      if (value.empty())
        fail("--link needs a path");
      else
        line.link = value;
    } else if (name == "--clock") {
      if (const auto n = Number(value, 1, 99))
        line.clockMHz = *n;
      else
        fail("--clock takes the CPU clock in MHz, 1 to 99");
    } else if (name == "--tx-buffer") {
      if (const auto n = Number(value, 1, 3))
        line.txBuffer = *n;
      else
        fail("--tx-buffer takes a message buffer, 1 to 3");
    }
  }
  return line;
}

std::string TSlcanCommandLine::usage() {
  return "Usage: vorelan-slcan [--port COM1|COM2|COM3|DEVICE] [--speed BPS] [--timeout MS]\n"
         "                     [--link PATH] [--clock MHZ] [--tx-buffer N]\n"
         "       vorelan-slcan --help | --version\n"
         "\n"
         "Serves the CAN cell of the evaluation board as an SLCAN interface on a\n"
         "pseudo-terminal, for python-can (interface \"slcan\"), slcand and other CAN\n"
         "tools. It runs until SIGINT or SIGTERM; then the cell is stopped if an O or\n"
         "L command of a client started it, and left as it is otherwise.\n"
         "\n"
         "Options:\n"
         "  --port P       the board's port: COM1 to COM3 (default COM1; the device\n"
         "                 comes from VORELAN_COM<n>, the port map or /dev/ttyS<n-1>,\n"
         "                 as in vorelan), or a device path such as /dev/ttyUSB0\n"
         "  --speed BPS    the monitor's speed in bit/s: 4800, 9600 or 19200 (default)\n"
         "  --timeout MS   how long an access waits for the board's answer (1000)\n"
         "  --link PATH    put a symbolic link to the pseudo-terminal at PATH\n"
         "  --clock MHZ    the board's CPU clock, for S0-S8 (default 8)\n"
         "  --tx-buffer N  the message buffer t and r send from, 1 to 3 (default 1)\n"
         "  --help         show this text and exit\n"
         "  --version      show the version and exit\n"
         "\n"
         "Commands: O, L (listen-only: nothing is sent), C, S0-S8 (10k to 1M; refused\n"
         "with a message when the clock cannot give the rate exactly), tIIIL..., rIIIL,\n"
         "F, M and m (filters: identifier and remote flag in bits 31-20; the mask's\n"
         "bits 15-0 must be 1), V, v, N, Z0/Z1. T, R and s are refused (BEL).\n"
         "\n"
         "Exit status: 0 after a signal, 1 when the board's port or the pseudo-terminal\n"
         "cannot be opened, 2 for a bad option.\n";
}

std::string TSlcanCommandLine::versionText() {
  return "vorelan-slcan (Vorelan 1.1)\n";
}
