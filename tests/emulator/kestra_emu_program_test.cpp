// kestra-emu as a process: its options, started, reached through its link and its control
// socket, stopped by a signal, snapshot written.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "control_client.hpp"
#include "emu_options.hpp"
#include "pty_client.hpp"
#include "wire.hpp"

namespace kestra::emu::test {
namespace {

namespace fs = std::filesystem;

std::string Slurp(const fs::path& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Runs the program with its standard output on a pipe; reads the first line.
class Program {
 public:
  explicit Program(const std::vector<std::string>& args) {
    int out[2];
    if (::pipe(out) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(out[1], STDOUT_FILENO);
      ::close(out[0]);
      ::close(out[1]);
      std::vector<char*> argv{const_cast<char*>(KESTRA_EMU_PATH)};
      for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      ::execv(KESTRA_EMU_PATH, argv.data());
      ::_exit(127);
    }
    ::close(out[1]);
    stdout_.Reset(out[0]);
  }
  ~Program() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }

  std::string FirstLine() {
    std::string line;
    char c = 0;
    while (::read(stdout_.Get(), &c, 1) == 1 && c != '\n') line += c;
    return line;
  }

  // Sends the signal and returns the exit status.
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

TEST(KestraEmuProgram, ServesAndTakesCommandsUntilSignalledThenWritesTheSnapshot) {
  const fs::path dir = fs::temp_directory_path() / ("kestra-emu-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const fs::path link = dir / "ttyKESTRA";
  const fs::path snapshot = dir / "state.json";
  const fs::path paper = dir / "paper.txt";
  const fs::path socket = dir / "control.sock";

  Program emu({"--model", "luno-f", "--version", "4", "--rates", "23,8,5,0,Z,R,R", "--link",
               link.string(), "--snapshot", snapshot.string(), "--paper", paper.string(),
               "--line-ms", "0", "--clock", "2024-03-15 10:00:00", "--control", socket.string()});
  // The first line comes once the control socket is ready too.
  const std::string slave = emu.FirstLine();
  ASSERT_FALSE(slave.empty());
  EXPECT_EQ(fs::read_symlink(link).string(), slave);
  {
    PtyClient client(link.string());
    ASSERT_TRUE(client.Open());
    EXPECT_EQ(client.Exchange(cmd::kIdentify, 2), (Bytes{kAck, 0x12}));
    EXPECT_EQ(client.Exchange(cmd::kSubType, 4), (Bytes{kAck, 0x7D, 4, 0}));
    EXPECT_EQ(client.Exchange(cmd::kReadRates7, 15),
              (Bytes{kAck, 0x08, 0xFC, 0x03, 0x20, 0x01, 0xF4, 0, 0, 0x40, 0, 0x80, 0, 0x80, 0}));
    EXPECT_EQ(client.Exchange(cmd::kDailyReport, 1), Bytes{kAck});
  }
  ControlClient control(socket.string());
  ASSERT_TRUE(control.Connected());
  EXPECT_EQ(control.Ask(R"({"command":"paper-out"})"), R"({"ok":true})");

  // A second emulator cannot take the socket of a live one, and says so by its status.
  Program rival({"--control", socket.string()});
  EXPECT_EQ(rival.FirstLine(), "");
  EXPECT_EQ(rival.Stop(0), 1);

  EXPECT_EQ(emu.Stop(SIGTERM), 0);
  const std::string json = Slurp(snapshot);
  for (const char* expected :
       {"\"deviceType\":8", "\"paperIn\":false", "\"rates\":[2300,800,500,0,10000,25500,25500]"})
    EXPECT_NE(json.find(expected), std::string::npos) << expected << " in " << json;
  EXPECT_NE(Slurp(paper).find("RAPORT DOBOWY"), std::string::npos);
  EXPECT_FALSE(fs::exists(fs::symlink_status(link))) << "the link goes with the program";
  EXPECT_FALSE(fs::exists(socket)) << "the socket goes with the program";
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
      ParseEmuOptions({"--model", "2", "--fault", "any:silence:3:-1", "--rates", "7.5,R", "--baud",
                       "19200", "--status5f", "0x10", "--lock", "3", "--control", "/tmp/emu.sock"},
                      error);
  ASSERT_TRUE(ok) << error;
  EXPECT_EQ(ok->printer.deviceType, 2);
  EXPECT_EQ(ok->printer.rates[0], 750);
  EXPECT_EQ(ok->printer.rates[1], kReservedRate);
  ASSERT_EQ(ok->printer.faults.rules.size(), 1u);
  EXPECT_FALSE(ok->printer.faults.rules[0].command);
  EXPECT_EQ(ok->printer.faults.rules[0].skip, 3);
  EXPECT_EQ(ok->printer.faults.rules[0].times, -1);
  EXPECT_EQ(ok->server.baud, 19200);
  EXPECT_EQ(ok->printer.status.extra5F, 0x10);
  EXPECT_EQ(ok->printer.status.lock60, 3);
  EXPECT_EQ(ok->controlPath, "/tmp/emu.sock");
}

}  // namespace
}  // namespace kestra::emu::test
