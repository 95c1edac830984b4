// What the pty and control servers add to the printer, and kestra-emu to them as a process.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "device_models.hpp"
#include "emu_options.hpp"
#include "kestra/emu/control_commands.hpp"
#include "kestra/emu/control_server.hpp"
#include "kestra/emu/pty_server.hpp"
#include "wire.hpp"

namespace kestra::emu::test {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

fs::path TempPath(const std::string& name) {
  return fs::temp_directory_path() / (name + "-" + std::to_string(::getpid()));
}

TEST(PtyServer, ServesClientAfterClientThroughTheLinkAndStopsWithTheLastBytesServed) {
  const fs::path link = TempPath("kestra-emu-link");
  PtyServerOptions options;
  options.linkPath = link.string();
  PtyServer server(ProgrammedConfig(3), options);
  server.Start();
  EXPECT_EQ(fs::read_symlink(link).string(), server.SlavePath());
  {
    PtyClient client(link.string());
    ASSERT_TRUE(client.Open());
    EXPECT_EQ(client.Exchange(cmd::kSubType, 4), (Bytes{kAck, 0x01, 1, 0}));
    EXPECT_EQ(client.Exchange(cmd::kReceiptBegin, 1), Bytes{kAck});
  }
  // The last bytes of a program that wrote and exited still reach the printer at the stop.
  PtyClient again(server.SlavePath());
  ASSERT_TRUE(again.Write({kEsc, cmd::kCancel}));
  const auto before = steady_clock::now();
  server.Stop();
  EXPECT_LT(steady_clock::now() - before, milliseconds(500));
  EXPECT_FALSE(server.WithPrinter([](Printer& p) { return p.ReceiptOpen(); }));
  EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
  server.Stop();  // a second stop is harmless
}

TEST(PtyServer, DelayFaultPacingAndPrintoutsTakeRealTime) {
  PrinterConfig config = ProgrammedConfig(7);
  config.faults.rules.push_back({cmd::kIdentify, FaultKind::kDelay, 0, 1});
  config.faults.delay = milliseconds(150);
  config.timing = {0, milliseconds(20), 0, milliseconds(0)};
  PtyServerOptions options;
  options.baud = 9600;  // 1.15 ms a byte
  PtyServer server(config, options);
  server.Start();
  PtyClient client(server.SlavePath());
  ASSERT_TRUE(client.Open());
  auto start = steady_clock::now();
  EXPECT_EQ(client.Exchange(cmd::kIdentify, 2), (Bytes{kAck, 0x2C}));
  EXPECT_GE(steady_clock::now() - start, milliseconds(150));
  start = steady_clock::now();
  EXPECT_EQ(client.Exchange(cmd::kReadRates7, 15).size(), 15u);
  const auto took = steady_clock::now() - start;
  EXPECT_GE(took, milliseconds(17)) << "17 bytes of line time at 9600 b/s";
  EXPECT_LT(took, milliseconds(150));
  EXPECT_EQ(client.Exchange(cmd::kDailyReport, 1), Bytes{kAck});
  uint8_t status = client.Exchange(cmd::kPrintStatus, 1).at(0);
  EXPECT_EQ(status & 0x01, 0x01);
  const auto deadline = steady_clock::now() + milliseconds(3000);
  while ((status & 0x01) && steady_clock::now() < deadline)
    status = client.Exchange(cmd::kPrintStatus, 1).at(0);
  EXPECT_EQ(status & 0x01, 0);
  EXPECT_GT(server.WithPrinter([](Printer& p) { return p.Paper().PrintedLines(); }), 5u);
}

constexpr std::string_view kOk = R"({"ok":true})";

// An error reply whose text holds `because` (JSON-escaped).
bool Refused(const std::string& reply, std::string_view because) {
  return reply.starts_with(R"({"ok":false,"error":")") && reply.find(because) != std::string::npos;
}

TEST(ControlCommands, PaperFaultsAndStatusBytesOnAPrinter) {
  Printer p(ProgrammedConfig());
  auto ok = [&](std::string_view line) { EXPECT_EQ(ControlReply(p, line), kOk) << line; };
  // Out two lines into a four-line receipt header, then in again: the rest waits for resume.
  ok(R"({"command":"paper-out","after":2})");
  EXPECT_EQ(Send(p, cmd::kReceiptBegin).first, Bytes{kAck});
  EXPECT_EQ(p.Paper().PrintedLines(), 2u);
  EXPECT_EQ(Status(p, cmd::kPrintStatus) & 0x43, 0x43);  // printing, no paper, stopped
  ok(R"({"command":"load-paper"})");
  EXPECT_EQ(Status(p, cmd::kPrintStatus) & 0x43, 0x41);
  EXPECT_EQ(Send(p, cmd::kResume).first, Bytes{kAck});
  EXPECT_EQ(p.Paper().PrintedLines(), 4u);
  const std::string paper = ControlReply(p, R"({"command":"paper"})");
  EXPECT_TRUE(paper.starts_with(R"({"ok":true,"paper":[")")) << paper;
  EXPECT_NE(paper.find(R"(PARAGON FISKALNY")"), std::string::npos) << paper;
  EXPECT_NE(paper.find(R"("printedLines":4})"), std::string::npos) << paper;
  ok(R"({"command":"paper-out"})");
  EXPECT_EQ(Status(p, cmd::kPrintStatus) & 0x02, 0x02);
  // SKIP counts the matching commands from the moment the rule arrives.
  Send(p, cmd::kIdentify);
  ok(R"({"command":"fault","rule":"any:nak:1:2"})");
  EXPECT_EQ(Send(p, cmd::kIdentify).first, (Bytes{kAck, 0x2C}));
  EXPECT_EQ(Send(p, cmd::kReceiptCounter).first, Bytes{kNak});
  EXPECT_EQ(Send(p, cmd::kIdentify).first, Bytes{kNak});
  EXPECT_EQ(Send(p, cmd::kIdentify).first, (Bytes{kAck, 0x2C}));
  EXPECT_EQ(p.Faults().Struck(cmd::kIdentify, FaultKind::kNak), 1u);
  ok(R"({"command":"fault","rule":"any:wrong-byte"})");
  EXPECT_EQ(Send(p, cmd::kIdentify).first, Bytes{0x55});
  ok(R"({"command":"set-status","name":"status94","value":"0x08"})");
  ok(R"({"command":"set-status","name":"lock","value":3})");
  EXPECT_EQ(Status(p, cmd::kMemoryStatus), 0x08);
  EXPECT_EQ(Status(p, cmd::kLockByte), 3);
  const std::string state = ControlReply(p, R"({"command":"state"})");
  EXPECT_TRUE(state.starts_with(R"({"ok":true,"state":{"model":{"deviceType":7)")) << state;
  EXPECT_NE(state.find(R"("s94":8)"), std::string::npos) << state;
  EXPECT_TRUE(state.ends_with("}}"));
}

TEST(ControlCommands, MistakesAreAnsweredAndChangeNothing) {
  Printer p(ProgrammedConfig());
  const std::pair<std::string, std::string_view> cases[] = {
      {"state", "not JSON"},
      {R"({"command":"state"} x)", "not JSON"},
      {R"({"command":"sta)", "not JSON"},
      {R"(["state"])", R"(a \"command\")"},
      {R"({"command":7})", R"(a \"command\")"},
      {R"({"command":"reboot"})", R"(unknown command \"reboot\"; known: load-paper)"},
      {R"({"command":"fault"})", "CMD:KIND"},
      {R"({"command":"fault","rule":"0x24:explode"})", "CMD:KIND"},
      {R"({"command":"fault","rule":"0x124:nak"})", "CMD:KIND"},
      {R"({"command":"set-status","name":"status99","value":1})", "status94, status95"},
      {R"({"command":"set-status","name":"status94","value":256})", "0..255"},
      {R"({"command":"set-status","name":"status94","value":1.5})", "0..255"},
      {R"({"command":"set-status","name":"status94"})", "0..255"},
      {R"({"command":"paper-out","after":-1})", "count of lines"},
      {R"({"command":"paper-out","after":"many"})", "count of lines"},
      {std::string(40, '[') + std::string(40, ']'), "nested too deep"},
  };
  for (const auto& [line, because] : cases)
    EXPECT_TRUE(Refused(ControlReply(p, line), because)) << line;
  EXPECT_EQ(Status(p, cmd::kMemoryStatus), 0);
  EXPECT_EQ(Status(p, cmd::kPrintStatus), 0);
  EXPECT_EQ(Send(p, cmd::kIdentify).first, (Bytes{kAck, 0x2C}));
  // Any JSON is read: escapes, blanks and members nobody asked for.
  EXPECT_EQ(ControlReply(p, " {\"id\":[1,{\"x\":null}], \"command\" : \"\\u0070aper-out\"} "), kOk);
  EXPECT_EQ(Status(p, cmd::kPrintStatus) & 0x02, 0x02);
}

TEST(ControlServer, ReplacesASocketLeftBehindAndServesClientsBesideTheLine) {
  const fs::path path = TempPath("kestra-control.sock");
  PtyServer server(ProgrammedConfig());
  server.Start();
  {
    // What a killed emulator leaves: a socket file nobody listens on.
    UniqueFd dead(::socket(AF_UNIX, SOCK_STREAM, 0));
    const sockaddr_un address = SocketAddress(path);
    ASSERT_EQ(::bind(dead.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  }
  ControlServer control(server, path.string());
  control.Start();
  ControlClient first(path.string());
  ControlClient second(path.string());
  ASSERT_TRUE(first.Connected() && second.Connected());
  // Two commands in one write, the second split across writes: each gets its line, in order.
  first.Write("{\"command\":\"paper-out\"}\n{\"command\":\"set-status\",");
  EXPECT_EQ(first.ReadLine(), kOk);
  first.Write("\"name\":\"status94\",\"value\":8}\n");
  EXPECT_EQ(first.ReadLine(), kOk);
  EXPECT_TRUE(Refused(second.Ask("{}"), R"(a \"command\")"));
  // The computer on the line sees what the commands did.
  PtyClient line(server.SlavePath());
  EXPECT_EQ(line.Exchange(cmd::kPrintStatus, 1).at(0) & 0x02, 0x02);
  EXPECT_EQ(line.Exchange(cmd::kMemoryStatus, 1), Bytes{0x08});
  EXPECT_EQ(line.Exchange(cmd::kReceiptBegin, 1), Bytes{kAck});
  EXPECT_NE(second.Ask(R"({"command":"state"})").find(R"("receipt":{"open":true)"),
            std::string::npos);
  // A line that never ends is not a command: the client is answered and cut off.
  ControlClient flood(path.string());
  flood.Write(std::string(70 * 1024, ' '));
  EXPECT_TRUE(Refused(flood.ReadLine(), "too long"));
  EXPECT_EQ(flood.ReadLine(milliseconds(500)), "");
  EXPECT_EQ(first.Ask(R"({"command":"load-paper"})"), kOk);
  control.Stop();
  EXPECT_FALSE(fs::exists(path));
  EXPECT_EQ(first.ReadLine(milliseconds(500)), "") << "connections close with the server";
  EXPECT_THROW(ControlServer(server, std::string(200, 'x')).Start(), std::system_error);
}

std::string Slurp(const fs::path& path) {
  std::stringstream s;
  s << std::ifstream(path).rdbuf();
  return s.str();
}

// The program with its standard output on a pipe.
class Program {
 public:
  explicit Program(std::vector<std::string> args) {
    int out[2];
    if (::pipe(out) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(out[1], STDOUT_FILENO);
      args.insert(args.begin(), KESTRA_EMU_PATH);
      std::vector<char*> argv;
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execv(KESTRA_EMU_PATH, argv.data());
      ::_exit(127);
    }
    ::close(out[1]);
    stdout_.Reset(out[0]);
  }
  ~Program() {
    if (pid_ > 0) Stop(SIGKILL);
  }
  std::string FirstLine() {
    std::string line;
    char c = 0;
    while (::read(stdout_.Get(), &c, 1) == 1 && c != '\n') line += c;
    return line;
  }
  // Sends the signal; the exit status, -1 when it did not exit.
  int Stop(int sig) {
    ::kill(pid_, sig);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
  UniqueFd stdout_;
};

TEST(KestraEmuProgram, ServesUntilSignalledThenWritesTheSnapshotAndRemovesItsFiles) {
  const fs::path dir = TempPath("kestra-emu");
  fs::create_directories(dir);
  const fs::path link = dir / "tty", snapshot = dir / "state.json", paper = dir / "paper.txt",
                 socket = dir / "control.sock";
  Program emu({"--model", "luno-f", "--rates", "23,8,5,0,Z,R,R", "--link", link.string(),
               "--snapshot", snapshot.string(), "--paper", paper.string(), "--line-ms", "0",
               "--control", socket.string()});
  const std::string slave = emu.FirstLine();
  ASSERT_FALSE(slave.empty());
  EXPECT_EQ(fs::read_symlink(link).string(), slave);
  EXPECT_EQ(PtyClient(link.string()).Exchange(cmd::kDailyReport, 1), Bytes{kAck});
  // The first line came once the control socket was ready too.
  ControlClient control(socket.string());
  EXPECT_EQ(control.Ask(R"({"command":"paper-out"})"), R"({"ok":true})");
  // A second emulator cannot take the socket of a live one, and says so by its status.
  Program rival({"--control", socket.string()});
  EXPECT_EQ(rival.FirstLine(), "");
  EXPECT_EQ(rival.Stop(0), 1);
  EXPECT_EQ(control.Ask(R"({"command":"load-paper"})"), R"({"ok":true})");
  EXPECT_EQ(emu.Stop(SIGTERM), 0);
  const std::string json = Slurp(snapshot);
  for (const char* expected :
       {"\"deviceType\":8", "\"paperIn\":true", "\"rates\":[2300,800,500,0,10000,25500,25500]"})
    EXPECT_NE(json.find(expected), std::string::npos) << expected << " in " << json;
  EXPECT_NE(Slurp(paper).find("RAPORT DOBOWY"), std::string::npos);
  EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
  EXPECT_FALSE(fs::exists(socket));
  fs::remove_all(dir);
}

TEST(KestraEmuOptions, TheHelpNamesEveryModelOfTheTable) {
  const std::string usage = EmuUsage();
  for (const kestradr::DeviceModel& model : kestradr::kDeviceModels) {
    const std::string entry = std::string(model.shortName) + " (" + std::to_string(model.type);
    EXPECT_NE(usage.find(entry), std::string::npos) << entry;
  }
  std::istringstream lines(usage);
  for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 94u) << line;
}

TEST(KestraEmuOptions, RejectsMistakesWithAReason) {
  std::string error;
  // clang-format off
  const std::vector<std::string> bad[] = {{"--model", "taura9"}, {"--rates", "22,abc"},
      {"--rates", "100"}, {"--fault", "0x95:explode"}, {"--fault", "0x195:nak"},
      {"--random-faults", "2"}, {"--clock", "2024-02-30 10:00:00"}, {"--baud"}, {"--control"},
      {"--status5f", "256"}, {"--frobnicate"}, {"--firmware", "256"}, {"--version", "4"}};
  // clang-format on
  for (const auto& words : bad) {
    error.clear();
    EXPECT_TRUE(!ParseEmuOptions(words, error) && !error.empty()) << words[0];
  }
  const auto ok =
      ParseEmuOptions({"--model", "2", "--firmware", "4", "--fault", "any:silence:3:-1", "--rates",
                       "7.5,R", "--baud", "19200", "--status5f", "0x10", "--lock", "3", "--control",
                       "/tmp/emu.sock", "--clock", "2024-03-15 10:00:01"},
                      error);
  ASSERT_TRUE(ok) << error;
  EXPECT_FALSE(ok->version);
  // --version is the program's own; the firmware byte is --firmware.
  const auto version = ParseEmuOptions({"--version"}, error);
  ASSERT_TRUE(version) << error;
  EXPECT_TRUE(version->version);
  const PrinterConfig& p = ok->printer;
  EXPECT_EQ(std::tuple(p.deviceType, int{p.version}, int{p.rates[0]}, int{p.rates[1]},
                       int{p.status.extra5F}, int{p.status.lock60}, int{ok->server.baud}),
            std::tuple(2, 4, 750, int{TAURAVAT_RATE_RESERVED}, 0x10, 3, 19200));
  ASSERT_EQ(p.faults.rules.size(), 1u);
  const FaultRule& rule = p.faults.rules[0];
  EXPECT_TRUE(!rule.command && rule.skip == 3 && rule.times == -1);
  EXPECT_EQ(ok->controlPath, "/tmp/emu.sock");
  EXPECT_EQ(p.clockStart, ProgrammedConfig().clockStart.value() + std::chrono::seconds(1));
}

}  // namespace
}  // namespace kestra::emu::test
