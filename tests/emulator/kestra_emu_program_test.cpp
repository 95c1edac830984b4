// kestra-emu as a process: its options, and what it adds to the servers: the first line
// once all is ready, the snapshot and paper written when signalled, its files removed.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "clients.hpp"
#include "emu_options.hpp"
#include "wire.hpp"

namespace kestra::emu::test {
namespace {

namespace fs = std::filesystem;

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
  const fs::path dir = fs::temp_directory_path() / ("kestra-emu-" + std::to_string(::getpid()));
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

TEST(KestraEmuOptions, RejectsMistakesWithAReason) {
  std::string error;
  for (const std::vector<std::string>& bad : {std::vector<std::string>{"--model", "taura9"},
                                              {"--rates", "22,abc"},
                                              {"--rates", "100"},
                                              {"--fault", "0x95:explode"},
                                              {"--fault", "0x195:nak"},
                                              {"--random-faults", "2"},
                                              {"--clock", "2024-02-30 10:00:00"},
                                              {"--baud"},
                                              {"--control"},
                                              {"--status5f", "256"},
                                              {"--frobnicate"}}) {
    error.clear();
    EXPECT_FALSE(ParseEmuOptions(bad, error)) << bad[0];
    EXPECT_FALSE(error.empty());
  }
  const auto ok =
      ParseEmuOptions({"--model", "2", "--version", "4", "--fault", "any:silence:3:-1", "--rates",
                       "7.5,R", "--baud", "19200", "--status5f", "0x10", "--lock", "3", "--control",
                       "/tmp/emu.sock", "--clock", "2024-03-15 10:00:01"},
                      error);
  ASSERT_TRUE(ok) << error;
  const PrinterConfig& p = ok->printer;
  EXPECT_EQ(p.deviceType, 2);
  EXPECT_EQ(p.version, 4);
  EXPECT_EQ(p.rates[0], 750);
  EXPECT_EQ(p.rates[1], kReservedRate);
  ASSERT_EQ(p.faults.rules.size(), 1u);
  EXPECT_FALSE(p.faults.rules[0].command);
  EXPECT_EQ(p.faults.rules[0].skip, 3);
  EXPECT_EQ(p.faults.rules[0].times, -1);
  EXPECT_EQ(ok->server.baud, 19200);
  EXPECT_EQ(p.status.extra5F, 0x10);
  EXPECT_EQ(p.status.lock60, 3);
  EXPECT_EQ(ok->controlPath, "/tmp/emu.sock");
  EXPECT_EQ(p.clockStart, ProgrammedConfig().clockStart.value() + std::chrono::seconds(1));
}

}  // namespace
}  // namespace kestra::emu::test
