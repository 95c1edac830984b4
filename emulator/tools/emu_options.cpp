#include "emu_options.hpp"

#include <cstdio>
#include <sstream>

namespace kestra::emu {
namespace {

std::optional<long> Integer(const std::string& text) {
  return ParseInteger(text);
}

std::vector<std::string> Split(const std::string& text, char sep) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(text);
  while (std::getline(in, part, sep)) parts.push_back(part);
  return parts;
}

// "22" or "22.5" percent, "R" reserved, "Z" exempt.
std::optional<uint16_t> Rate(const std::string& text) {
  if (text == "R" || text == "r") return TAURAVAT_RATE_RESERVED;
  if (text == "Z" || text == "z") return TAURAVAT_RATE_EXEMPT;
  const auto parts = Split(text, '.');
  if (parts.empty() || parts.size() > 2) return std::nullopt;
  const auto whole = Integer(parts[0]);
  if (!whole || *whole < 0 || *whole > 99) return std::nullopt;
  long hundredths = 0;
  if (parts.size() == 2) {
    std::string frac = parts[1];
    if (frac.empty() || frac.size() > 2) return std::nullopt;
    if (frac.size() == 1) frac += '0';
    const auto f = Integer(frac);
    if (!f) return std::nullopt;
    hundredths = *f;
  }
  return static_cast<uint16_t>(*whole * 100 + hundredths);
}

std::optional<std::chrono::sys_seconds> ClockStart(const std::string& text) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  if (std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d", &y, &mo, &d, &h, &mi, &s) != 6) {
    return std::nullopt;
  }
  using namespace std::chrono;
  const year_month_day ymd{year{y}, month{static_cast<unsigned>(mo)},
                           day{static_cast<unsigned>(d)}};
  if (!ymd.ok() || h < 0 || h > 23 || mi < 0 || mi > 59 || s < 0 || s > 59) return std::nullopt;
  return sys_days{ymd} + hours{h} + minutes{mi} + seconds{s};
}

// "rx820a-4 (0), rx820a-6 (1), ...", from the model table, wrapped under the option.
std::string ModelList() {
  constexpr std::size_t kIndent = 25;
  constexpr std::size_t kWidth = 94;
  const int defaultType = PrinterConfig{}.deviceType;
  std::string text;
  std::size_t column = kIndent;
  for (int type = 0; type < ModelCount(); ++type) {
    std::string entry = std::string(ModelShortName(type)) + " (" + std::to_string(type) +
                        (type == defaultType ? ", default)" : ")");
    if (type + 1 < ModelCount()) entry += ",";
    if (type > 0 && column + 1 + entry.size() > kWidth) {
      text += "\n" + std::string(kIndent, ' ');
      column = kIndent;
    } else if (type > 0) {
      text += ' ';
      ++column;
    }
    text += entry;
    column += entry.size();
  }
  return text;
}

}  // namespace

std::string EmuUsage() {
  return R"(kestra-emu: a KESTRA fiscal printer on a pseudo-terminal.
Prints the terminal's path on the first line of standard output and serves until
SIGINT or SIGTERM; SIGUSR1 writes the snapshot at once.

  --model NAME|CODE      )" +
         ModelList() + R"(
  --firmware N           firmware version byte the printer reports (0xFE; default 1)
  --subtype N            sub-type byte of 0xFE (default: the model's)
  --ident-byte N         what the unknown device answers to 0xFF (default 0x33)
  --link PATH            make a symbolic link to the terminal at PATH
  --trace FILE           append every byte on the line to FILE, in the driver's
                         TAURAVAT_TRACE format
  --baud N               pace both directions at 11 bits per byte at N b/s (default: off)
  --paper FILE           write the paper roll to FILE ("-": standard output)
  --snapshot FILE        write the state as JSON to FILE at exit and on SIGUSR1
  --control PATH         take commands on a Unix socket at PATH, one JSON object a line,
                         each answered with one JSON line: {"command":"load-paper"},
                         {"command":"paper-out"[,"after":LINES]},
                         {"command":"fault","rule":"CMD:KIND[:SKIP[:TIMES]]"},
                         {"command":"set-status","name":"status94","value":8},
                         {"command":"state"} (the snapshot), {"command":"paper"}
  --rates A,B,..,G       initial rates: percent ("22", "7.5"), R reserved, Z exempt
  --receipts N           receipts since the last daily report (default 0)
  --cancelled N          cancelled receipts since the last daily report
  --report-number N      number of the last daily report
  --clock "YYYY-MM-DD HH:MM:SS"   the printer clock at start (default: now)
  --line-polls N         status polls per printed line (default 0)
  --line-ms N            milliseconds per printed line (default 20)
  --start-polls N        polls a new document waits before printing starts (default 0)
  --start-ms N           milliseconds a new document waits (default 0)
  --no-paper             start without paper
  --paper-ends-after N   paper runs out after N printed lines
  --lock N --byte5e N --euro N --status94 N --status95 N --status96 N --status9b N
  --status5f N --status50 N --statusf3 N --status5d N
                         status bits the printer reports as given (hex with 0x); the
                         printer adds its own to 0x94 and 0x95
  --fault CMD:KIND[:SKIP[:TIMES]]   inject a fault on command CMD (hex, or "any") after
                         SKIP matching commands, TIMES times (default 1, -1 always); KIND is
                         nak, silence, wrong-byte, garbage, drop-byte, delay, cancel-receipt
  --random-faults P      each command draws a fault with probability P (0..1)
  --fault-kinds K,K..    kinds the random faults are drawn from (default: all)
  --seed N               seed of the random faults and garbage (default 1)
  --fault-delay-ms N     how long a delay fault holds a reply (default 300)
  --wrong-byte N         the byte a wrong-byte fault sends (default 0x55)
  --quiet-reset-ms N     silence that drops a half-received sequence (default 500)
  --version              print the program's version and end
  --help                 this text
)";
}

std::optional<EmuOptions> ParseEmuOptions(const std::vector<std::string>& args,
                                          std::string& error) {
  EmuOptions o;
  o.printer.timing.pollsPerLine = 0;
  o.printer.timing.timePerLine = std::chrono::milliseconds(20);
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& name = args[i];
    auto value = [&]() -> std::optional<std::string> {
      if (i + 1 >= args.size()) return std::nullopt;
      return args[++i];
    };
    auto number = [&](long min, long max) -> std::optional<long> {
      const auto v = value();
      if (!v) return std::nullopt;
      const auto n = Integer(*v);
      if (!n || *n < min || *n > max) return std::nullopt;
      return n;
    };
    auto fail = [&](const std::string& why) {
      error = name + ": " + why;
      return std::nullopt;
    };
    auto byteInto = [&](uint8_t& field) {
      const auto n = number(0, 255);
      if (!n) return false;
      field = static_cast<uint8_t>(*n);
      return true;
    };

    if (name == "--help" || name == "-h") {
      o.help = true;
    } else if (name == "--model") {
      const auto v = value();
      const auto model = v ? ParseModel(*v) : std::nullopt;
      if (!model) return fail("unknown model");
      o.printer.deviceType = *model;
    } else if (name == "--version") {
      o.version = true;
    } else if (name == "--firmware") {
      if (!byteInto(o.printer.version)) return fail("expects 0..255");
    } else if (name == "--subtype") {
      uint8_t sub = 0;
      if (!byteInto(sub)) return fail("expects 0..255");
      o.printer.subType = sub;
    } else if (name == "--ident-byte") {
      if (!byteInto(o.printer.unknownIdentByte)) return fail("expects 0..255");
    } else if (name == "--link") {
      const auto v = value();
      if (!v) return fail("expects a path");
      o.server.linkPath = *v;
    } else if (name == "--trace") {
      const auto v = value();
      if (!v) return fail("expects a file");
      o.server.tracePath = *v;
    } else if (name == "--baud") {
      const auto n = number(0, 4'000'000);
      if (!n) return fail("expects a speed");
      o.server.baud = static_cast<int>(*n);
    } else if (name == "--paper" || name == "--snapshot" || name == "--control") {
      const auto v = value();
      if (!v || v->empty()) return fail("expects a file");
      (name == "--paper"      ? o.paperPath
       : name == "--snapshot" ? o.snapshotPath
                              : o.controlPath) = *v;
    } else if (name == "--rates") {
      const auto v = value();
      const auto parts = v ? Split(*v, ',') : std::vector<std::string>{};
      if (parts.empty() || parts.size() > 7) return fail("expects up to seven rates");
      for (std::size_t k = 0; k < parts.size(); ++k) {
        const auto r = Rate(parts[k]);
        if (!r) return fail("bad rate " + parts[k]);
        o.printer.rates[k] = *r;
      }
    } else if (name == "--receipts" || name == "--cancelled" || name == "--report-number") {
      const auto n = number(0, 65535);
      if (!n) return fail("expects 0..65535");
      const auto v = static_cast<uint16_t>(*n);
      if (name == "--receipts") o.printer.receiptCounter = v;
      if (name == "--cancelled") o.printer.cancelledCounter = v;
      if (name == "--report-number") o.printer.dailyReportNumber = v;
    } else if (name == "--clock") {
      const auto v = value();
      const auto start = v ? ClockStart(*v) : std::nullopt;
      if (!start) return fail("expects \"YYYY-MM-DD HH:MM:SS\"");
      o.printer.clockStart = start;
    } else if (name == "--line-polls" || name == "--start-polls") {
      const auto n = number(0, 1'000'000);
      if (!n) return fail("expects a count");
      (name == "--line-polls" ? o.printer.timing.pollsPerLine : o.printer.timing.startPolls) =
          static_cast<int>(*n);
    } else if (name == "--line-ms" || name == "--start-ms" || name == "--fault-delay-ms" ||
               name == "--quiet-reset-ms") {
      const auto n = number(0, 3'600'000);
      if (!n) return fail("expects milliseconds");
      const std::chrono::milliseconds ms(*n);
      if (name == "--line-ms") o.printer.timing.timePerLine = ms;
      if (name == "--start-ms") o.printer.timing.startDelay = ms;
      if (name == "--fault-delay-ms") o.printer.faults.delay = ms;
      if (name == "--quiet-reset-ms") o.printer.quietReset = ms;
    } else if (name == "--no-paper") {
      o.printer.paperIn = false;
    } else if (name == "--paper-ends-after") {
      const auto n = number(1, 100'000'000);
      if (!n) return fail("expects a line count");
      o.printer.paperEndsAfterLines = static_cast<int>(*n);
    } else if (uint8_t* status = name.starts_with("--")
                                     ? StatusByteNamed(o.printer.status, name.substr(2))
                                     : nullptr) {
      if (!byteInto(*status)) return fail("expects 0..255");
    } else if (name == "--fault") {
      const auto v = value();
      const auto rule = v ? ParseFaultRule(*v) : std::nullopt;
      if (!rule) return fail("expects CMD:KIND[:SKIP[:TIMES]]");
      o.printer.faults.rules.push_back(*rule);
    } else if (name == "--random-faults") {
      const auto v = value();
      double p = -1;
      if (v) std::sscanf(v->c_str(), "%lf", &p);
      if (p < 0 || p > 1) return fail("expects a probability 0..1");
      o.printer.faults.random.probability = p;
    } else if (name == "--fault-kinds") {
      const auto v = value();
      if (!v) return fail("expects kinds");
      for (const auto& k : Split(*v, ',')) {
        const auto kind = ParseFaultKind(k);
        if (!kind) return fail("unknown fault kind " + k);
        o.printer.faults.random.kinds.push_back(*kind);
      }
    } else if (name == "--seed") {
      const auto n = number(0, 0xFFFFFFFFL);
      if (!n) return fail("expects a number");
      o.printer.faults.seed = static_cast<uint32_t>(*n);
    } else if (name == "--wrong-byte") {
      if (!byteInto(o.printer.faults.wrongByte)) return fail("expects 0..255");
    } else {
      error = "unknown option " + name;
      return std::nullopt;
    }
  }
  return o;
}

}  // namespace kestra::emu
