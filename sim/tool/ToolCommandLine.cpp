#include "ToolCommandLine.h"

#include "boardsim/CandumpLog.h"

#include <cctype>
#include <cstdio>
#include <limits>
#include <random>
#include <sstream>

namespace boardsim::tool {

std::string usageText() {
  return R"(Usage: vorelan-boardsim [options]

Simulates the evaluation board behind a pseudo-terminal: the monitor that
answers read and write requests of the frame protocol, the target's 64 KiB of
memory, and the CAN cell at 0x5A-0x6F with a simulated bus. Open the printed
/dev/pts/N (or the --link path) as the board's serial port.

Line:
  --link PATH          also make PATH a symbolic link to the pseudo-terminal
  --instant            answer at once instead of at the line's speed
                       (by default each byte takes 10 bit times at the speed
                       the client set on the port: 4800, 9600, 19200 bit/s)
  --resync-gap MS      quiet time after which a started, incomplete request is
                       dropped (default 50)

Bus traffic:
  --traffic            generate frames: identifiers in turn, data = frame number
  --ids LIST           identifiers for --traffic (default 0x123,0x245,0x3A0,0x7F0)
  --rate HZ            frames per second for --traffic (default 1)
  --dlc N              data bytes per generated frame, 0-8 (default 8)
  --replay FILE        replay a candump log file in real time
  --loop               start the replay again when it ends
  --no-ack             no other node acknowledges: every transmission fails
  --tx-log FILE        append the frames the cell transmits, candump format

Faults (applied to the first answers; the same commands work on stdin):
  --drop N             send no answer to the next N requests
  --corrupt N          set the command field of the next N answers to 1
  --extra HEX          append these bytes to the next answer (e.g. --extra 55AA)
  --split SIZE,MS      send the next answer in pieces of SIZE bytes, MS apart
  --noise N|HEX        put N random bytes (or the given bytes) on the line
  --vanish-after MS    close the pseudo-terminal after MS milliseconds
  --reappear-after MS  open a new one MS milliseconds after vanishing

Random faults, for load runs:
  --chaos [SEED]       inject faults at random, one at a time, until the end:
                       no answer, a corrupted answer, extra bytes after an
                       answer, an answer in pieces, noise, the board vanishing
                       for 0.5-3 s, transmissions not acknowledged for 0.5-3 s.
                       A fault on an answer waits for the next request. The
                       same SEED makes the same choices (default: drawn at
                       random; the counts line names it)
  --chaos-interval MS  mean time between faults (default 1000); each interval
                       is between half and one and a half times it
  --chaos-kinds LIST   choose among these only, e.g. drop,noise,vanish; kinds:
                       drop corrupt extra split noise vanish noack (default all,
                       without noack under --no-ack)
  --chaos-report FILE  keep the counts line in FILE, rewritten after each fault
  The counts line, printed by `stats` and at exit:
    chaos: seed=S drop=N corrupt=N extra=N split=N noise=N vanish=N noack=N total=N

Output:
  --trace FILE         write every request and answer to FILE
  --verbose            print every request and answer
  --quiet              print neither bus frames nor the faults of --chaos
  --help, --version

Power-on state of the CAN cell: CSR = RUN, both filters accept every frame
(identifier 0, mask 0, frame kind both), buffers 1-3 are free receive buffers,
PSR = 0, BRPR = 0x01, BTR = 0x2B; everything else 0.

Commands on standard input while running (one per line):
  drop N | corrupt N | extra HEX [ANSWERS] | split SIZE MS [ANSWERS] |
  noise N|HEX | clear | vanish | reappear | ack on|off |
  frame ID#DATA (put a frame on the bus, candump syntax) | regs |
  stats (the counts line of --chaos) | help | quit
)";
}

unsigned long parseNumber(const std::string& text, const std::string& what, unsigned long max) {
  std::size_t used = 0;
  unsigned long value = 0;
  bool ok = !text.empty() && text[0] != '-' && text[0] != '+';
  if (ok) {
    try {
      value = std::stoul(text, &used, 0);
    } catch (const std::exception&) {
      ok = false;
    }
  }
  if (!ok || used != text.size() || value > max)
    throw UsageError("bad " + what + " '" + text + "' (a number from 0 to " + std::to_string(max) + ")");
  return value;
}

std::vector<uint8_t> parseHexBytes(const std::string& text) {
  std::string digits;
  for (char c : text) {
    if (c == ' ' || c == ',' || c == ':' || c == '.') continue;
    if (!std::isxdigit(static_cast<unsigned char>(c))) throw UsageError("bad hexadecimal bytes '" + text + "'");
    digits += c;
  }
  if (digits.empty() || digits.size() % 2) throw UsageError("bad hexadecimal bytes '" + text + "' (pairs of digits)");
  std::vector<uint8_t> bytes;
  for (std::size_t i = 0; i < digits.size(); i += 2)
    bytes.push_back(uint8_t(std::stoul(digits.substr(i, 2), nullptr, 16)));
  return bytes;
}

namespace {

std::vector<uint16_t> parseIds(const std::string& text) {
  std::vector<uint16_t> ids;
  std::stringstream in(text);
  std::string item;
  while (std::getline(in, item, ',')) ids.push_back(uint16_t(parseNumber(item, "identifier", 0x7FF)));
  if (ids.empty()) throw UsageError("--ids needs at least one identifier");
  return ids;
}

double parseRate(const std::string& text) {
  std::size_t used = 0;
  double rate = 0;
  try {
    rate = std::stod(text, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used != text.size() || !(rate > 0 && rate <= 10000))
    throw UsageError("bad rate '" + text + "' (frames per second, above 0 and at most 10000)");
  return rate;
}

// "SIZE,MS" -> "SIZE MS" for the split command.
std::string splitArgument(const std::string& text) {
  auto comma = text.find(',');
  if (comma == std::string::npos) throw UsageError("--split needs SIZE,MS (e.g. --split 2,20)");
  return text.substr(0, comma) + " " + text.substr(comma + 1);
}

std::vector<uint8_t> noiseBytes(const std::string& arg) {
  // A plain decimal count means random bytes; anything else is the bytes themselves.
  bool count = !arg.empty() && arg.size() <= 4 && arg.find_first_not_of("0123456789") == std::string::npos;
  if (!count) return parseHexBytes(arg);
  std::size_t n = parseNumber(arg, "noise count", 4096);
  static std::mt19937 random(std::random_device{}());
  std::vector<uint8_t> bytes(n);
  for (auto& b : bytes) b = uint8_t(random());
  return bytes;
}

std::string registerDump(BoardSimulator& sim) {
  std::string text;
  char buf[64];
  auto main = sim.readMemory(0x5A, 6);
  std::snprintf(buf, sizeof buf, "ISR %02X  ICR %02X  CSR %02X  BRPR %02X  BTR %02X  PSR %02X\n", main[0], main[1],
                main[2], main[3], main[4], main[5]);
  text += buf;
  static const char* const names[] = {"diagnosis", "buffer 1 ", "buffer 2 ", "buffer 3 ", "filters  "};
  for (int page = 0; page < CanCell::kPageCount; ++page) {
    std::snprintf(buf, sizeof buf, "page %d %s:", page, names[page]);
    text += buf;
    for (uint16_t a = 0x60; a <= 0x6F; ++a) {
      std::snprintf(buf, sizeof buf, " %02X", sim.peekRegister(page, a));
      text += buf;
    }
    text += '\n';
  }
  return text;
}

}  // namespace

FaultKinds parseFaultKinds(const std::string& text) {
  if (text == "all") return allFaultKinds();
  FaultKinds kinds;
  std::stringstream in(text);
  std::string item;
  while (std::getline(in, item, ',')) {
    auto kind = faultKindNamed(item);
    if (!kind)
      throw UsageError("unknown fault kind '" + item + "' (drop, corrupt, extra, split, noise, vanish, noack or all)");
    kinds.set(std::size_t(*kind));
  }
  if (kinds.none()) throw UsageError("--chaos-kinds needs at least one kind");
  return kinds;
}

ToolConfig parseCommandLine(const std::vector<std::string>& args) {
  ToolConfig config;
  std::optional<std::chrono::milliseconds> chaosInterval;
  std::optional<FaultKinds> chaosKinds;
  bool chaosReport = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) throw UsageError(arg + " needs a value");
      return args[++i];
    };
    auto ms = [&](const std::string& what) { return std::chrono::milliseconds(parseNumber(value(), what, 86400000)); };
    if (arg == "--help" || arg == "-h")
      config.help = true;
    else if (arg == "--version")
      config.version = true;
    else if (arg == "--link")
      config.options.linkPath = value();
    else if (arg == "--instant")
      config.options.instant = true;
    else if (arg == "--resync-gap")
      config.options.resyncGap = ms("resync gap");
    else if (arg == "--traffic")
      config.generate = true;
    else if (arg == "--ids")
      config.generator.ids = parseIds(value());
    else if (arg == "--rate")
      config.generator.rate = parseRate(value());
    else if (arg == "--dlc")
      config.generator.dlc = uint8_t(parseNumber(value(), "data length", 8));
    else if (arg == "--replay")
      config.replayPath = value();
    else if (arg == "--loop")
      config.loop = true;
    else if (arg == "--no-ack")
      config.options.acknowledged = false;
    else if (arg == "--tx-log")
      config.options.txLogPath = value();
    else if (arg == "--trace")
      config.options.tracePath = value();
    else if (arg == "--verbose" || arg == "-v")
      config.verbose = true;
    else if (arg == "--quiet" || arg == "-q")
      config.quiet = true;
    else if (arg == "--drop")
      config.startupCommands.push_back("drop " + value());
    else if (arg == "--corrupt")
      config.startupCommands.push_back("corrupt " + value());
    else if (arg == "--extra")
      config.startupCommands.push_back("extra " + value());
    else if (arg == "--split")
      config.startupCommands.push_back("split " + splitArgument(value()));
    else if (arg == "--noise")
      config.startupCommands.push_back("noise " + value());
    else if (arg == "--vanish-after")
      config.vanishAfter = ms("time");
    else if (arg == "--reappear-after")
      config.reappearAfter = ms("time");
    else if (arg == "--chaos") {
      config.chaos.emplace();
      // The seed is optional: a following word that is no option is it.
      if (i + 1 < args.size() && !args[i + 1].empty() && args[i + 1][0] != '-') {
        config.chaos->seed = parseNumber(args[++i], "seed", std::numeric_limits<unsigned long>::max());
      } else {
        std::random_device entropy;
        config.chaos->seed = uint64_t(entropy()) << 32 | entropy();
      }
    } else if (arg == "--chaos-interval") {
      chaosInterval = ms("mean interval");
      if (*chaosInterval < std::chrono::milliseconds(1)) throw UsageError("--chaos-interval must be at least 1 ms");
    } else if (arg == "--chaos-kinds") {
      chaosKinds = parseFaultKinds(value());
    } else if (arg == "--chaos-report") {
      config.chaosReportPath = value();
      chaosReport = true;
    } else
      throw UsageError("unknown option '" + arg + "' (see --help)");
  }
  if (config.generate && !config.replayPath.empty()) throw UsageError("--traffic and --replay exclude each other");
  if (config.loop && config.replayPath.empty()) throw UsageError("--loop needs --replay");
  if (config.reappearAfter && !config.vanishAfter) throw UsageError("--reappear-after needs --vanish-after");
  if (!config.chaos) {
    if (chaosInterval) throw UsageError("--chaos-interval needs --chaos");
    if (chaosKinds) throw UsageError("--chaos-kinds needs --chaos");
    if (chaosReport) throw UsageError("--chaos-report needs --chaos");
    return config;
  }
  if (chaosInterval) config.chaos->meanInterval = *chaosInterval;
  const auto noAck = std::size_t(FaultKind::NoAck);
  if (chaosKinds) {
    config.chaos->kinds = *chaosKinds;
    if (chaosKinds->test(noAck) && !config.options.acknowledged)
      throw UsageError("--chaos-kinds noack and --no-ack exclude each other");
  } else if (!config.options.acknowledged) {
    config.chaos->kinds.reset(noAck);  // nothing is acknowledged anyway
  }
  return config;
}

std::string runCommand(BoardSimulator& sim, const std::string& line, const FaultInjector* chaos) {
  std::istringstream in(line);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  if (words.empty()) return "";
  const std::string& cmd = words[0];
  auto arg = [&](std::size_t k, const char* what) -> const std::string& {
    if (words.size() <= k) throw UsageError("'" + cmd + "' needs " + what);
    return words[k];
  };
  auto count = [&](std::size_t k, const char* what) { return int(parseNumber(arg(k, what), what, 1000000)); };
  auto optionalCount = [&](std::size_t k) { return words.size() > k ? count(k, "a count of answers") : 1; };

  if (cmd == "drop") {
    int n = count(1, "a count");
    sim.dropAnswers(n);
    return "the next " + std::to_string(n) + " requests get no answer";
  }
  if (cmd == "corrupt") {
    int n = count(1, "a count");
    sim.corruptAnswers(n);
    return "the next " + std::to_string(n) + " answers carry command 1";
  }
  if (cmd == "extra") {
    auto bytes = parseHexBytes(arg(1, "hexadecimal bytes"));
    int n = optionalCount(2);
    sim.addExtraBytes(bytes, n);
    return std::to_string(bytes.size()) + " extra bytes after the next " + std::to_string(n) + " answers";
  }
  if (cmd == "split") {
    std::size_t size = parseNumber(arg(1, "a piece size"), "piece size", 16);
    auto delay = std::chrono::milliseconds(parseNumber(arg(2, "a delay in ms"), "delay", 60000));
    int n = optionalCount(3);
    if (size == 0) throw UsageError("piece size must be at least 1");
    sim.splitAnswers(size, delay, n);
    return "the next " + std::to_string(n) + " answers go out in pieces";
  }
  if (cmd == "noise") {
    auto bytes = noiseBytes(arg(1, "a count or hexadecimal bytes"));
    sim.sendNoise(bytes);
    return "noise: " + hexBytes(bytes);
  }
  if (cmd == "clear") {
    sim.clearFaults();
    return "faults cleared";
  }
  if (cmd == "vanish") {
    sim.vanish();
    return "the board vanished";
  }
  if (cmd == "reappear") return "the board is back on " + sim.reappear();
  if (cmd == "ack") {
    const std::string& v = arg(1, "on or off");
    if (v != "on" && v != "off") throw UsageError("ack on|off");
    sim.setAcknowledged(v == "on");
    return v == "on" ? "transmissions are acknowledged" : "transmissions are not acknowledged";
  }
  if (cmd == "frame") {
    candump::Record record;
    try {
      record = candump::parseLine("(0.0) bus " + arg(1, "a frame like 123#1122"));
    } catch (const candump::ParseError& e) {
      throw UsageError(e.what());
    }
    sim.injectFrame(record.frame);
    return "";
  }
  if (cmd == "regs") return registerDump(sim);
  if (cmd == "stats") {
    if (!chaos) return "chaos: off";
    auto status = chaos->status();
    return chaos->reportLine() + (status.failure.empty() ? "" : "\nchaos stopped: " + status.failure);
  }
  if (cmd == "help") return usageText().substr(usageText().find("Commands on standard input"));
  throw UsageError("unknown command '" + cmd + "' (try help)");
}

}  // namespace boardsim::tool
