#include "CommandLine.h"

TCommandLine TCommandLine::parse(const std::vector<std::string>& args) {
  TCommandLine line;
  bool optionsEnded = false;
  for (const std::string& arg : args) {
    if (optionsEnded || arg.empty() || arg[0] != '-')
      line.files.push_back(arg);
    else if (arg == "--")
      optionsEnded = true;
    else if (arg == "--help" || arg == "-h")
      line.help = true;
    else if (arg == "--version")
      line.version = true;
    else if (arg == "--simulate")
      line.simulate = true;
    else if (arg.rfind("--", 0) == 0 && line.error.empty())
      line.error = "unknown option '" + arg + "'";
    // Anything else (Qt's own -platform, -style, ... with their values) is Qt's.
  }
  return line;
}

std::string TCommandLine::usage() {
  return "Usage: vorelan [--simulate] [Qt options] [--] [FILE...]\n"
         "       vorelan --help | --version\n"
         "\n"
         "Vorelan reads, writes and traces the CAN cell of an 8-bit microcontroller\n"
         "on an evaluation board whose monitor answers over a serial link.\n"
         "\n"
         "Options:\n"
         "  --simulate   run on a simulated board instead of a real one: a board\n"
         "               simulator starts inside the program, with CAN frames\n"
         "               arriving on its bus, and COM1 leads to it for this run only.\n"
         "               Port 1 is used, at 19200 bit/s unless the stored settings\n"
         "               name a speed; the stored settings are not changed by the\n"
         "               run (its tracing and window positions last for it only).\n"
         "  --help       show this text and exit\n"
         "  --version    show the version and exit\n"
         "\n"
         "Files: each FILE opens once the program has started, in the order given, as\n"
         "the File menu opens it: a register file (.rgr) is loaded into the CAN\n"
         "registers (the cell is stopped, every register written, CSR last, which\n"
         "starts it again), a trace file (.trc) into the Trace window. A file that is\n"
         "missing or of another kind gets a message on the status bar, and the program\n"
         "runs on. After \"--\" every argument is a file, also one starting with \"-\".\n"
         "\n"
         "Ports: COMn opens the device named by the environment variable VORELAN_COMn,\n"
         "else the one chosen under Serial Link > Configure ports..., else /dev/ttyS<n-1>.\n"
         "Settings: the program's in $XDG_CONFIG_HOME/Orvex/vorelan.conf, the port map\n"
         "in $XDG_CONFIG_HOME/vorelan/ports.conf ($XDG_CONFIG_HOME is ~/.config unless set).\n"
         "\n"
         "Without a display (no DISPLAY or WAYLAND_DISPLAY, as over SSH) the program\n"
         "says so and ends: log in with ssh -X, or give it a display only that machine\n"
         "reaches (Xvfb, and x11vnc -localhost with a password; see man vorelan).\n"
         "Qt's -platform vnc listens on every network interface without a password.\n"
         "\n"
         "Exit status: 0 after a normal end, 2 for an unknown option, 69 when no\n"
         "display can be opened.\n";
}

std::string TCommandLine::versionText() {
  return "Vorelan 1.1\n";
}
