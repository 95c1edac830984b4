// The control socket: its commands on a printer, then the server on a real socket beside
// the pty, and kestra-emu --control as a program.

#include "kestra/emu/control_server.hpp"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>

#include "control_client.hpp"
#include "kestra/emu/control_commands.hpp"
#include "pty_client.hpp"
#include "wire.hpp"

namespace kestra::emu::test {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;

constexpr std::string_view kOk = R"({"ok":true})";

// An error reply whose text holds `because` (written here without JSON's escapes).
bool Refused(const std::string& reply, std::string_view because) {
  std::string escaped;
  for (const char c : because) escaped += c == '"' ? std::string("\\\"") : std::string(1, c);
  return reply.starts_with(R"({"ok":false,"error":")") && reply.find(escaped) != std::string::npos;
}

TEST(ControlCommands, PaperRunsOutAndIsLoadedAgain) {
  Printer p(ProgrammedConfig());
  EXPECT_EQ(ControlReply(p, R"({"command":"paper-out"})"), kOk);
  EXPECT_EQ(Status(p, cmd::kPrintStatus) & 0x02, 0x02);
  EXPECT_EQ(ControlReply(p, R"({"command":"load-paper"})"), kOk);
  EXPECT_EQ(Status(p, cmd::kPrintStatus) & 0x02, 0);

  // Out in the middle of a printout: the receipt header is four lines long.
  EXPECT_EQ(ControlReply(p, R"({"command":"paper-out","after":2})"), kOk);
  EXPECT_EQ(Send(p, cmd::kReceiptBegin).first, Bytes{kAck});
  EXPECT_EQ(p.Paper().PrintedLines(), 2u);
  EXPECT_EQ(Status(p, cmd::kPrintStatus) & 0x43, 0x43);  // printing, no paper, stopped
  EXPECT_EQ(ControlReply(p, R"({"command":"load-paper"})"), kOk);
  EXPECT_EQ(Send(p, cmd::kResume).first, Bytes{kAck});
  EXPECT_EQ(p.Paper().PrintedLines(), 4u);

  const std::string paper = ControlReply(p, R"({"command":"paper"})");
  EXPECT_TRUE(paper.starts_with(R"({"ok":true,"paper":[")")) << paper;
  EXPECT_NE(paper.find(R"(PARAGON FISKALNY")"), std::string::npos) << paper;
  EXPECT_NE(paper.find(R"("printedLines":4})"), std::string::npos) << paper;
}

TEST(ControlCommands, FaultsAndStatusBytesAsTheOptionsGiveThem) {
  Printer p(ProgrammedConfig());
  // SKIP counts the matching commands from the moment the rule arrives.
  EXPECT_EQ(Send(p, cmd::kIdentify).first, (Bytes{kAck, 0x2C}));
  EXPECT_EQ(ControlReply(p, R"({"command":"fault","rule":"0xFF:nak:1:1"})"), kOk);
  EXPECT_EQ(Send(p, cmd::kIdentify).first, (Bytes{kAck, 0x2C}));
  EXPECT_EQ(Send(p, cmd::kIdentify).first, Bytes{kNak});
  EXPECT_EQ(Send(p, cmd::kIdentify).first, (Bytes{kAck, 0x2C}));
  EXPECT_EQ(ControlReply(p, R"({"command":"fault","rule":"any:wrong-byte"})"), kOk);
  EXPECT_EQ(Send(p, cmd::kIdentify).first, Bytes{0x55});

  EXPECT_EQ(ControlReply(p, R"({"command":"set-status","name":"status94","value":"0x08"})"), kOk);
  EXPECT_EQ(ControlReply(p, R"({"command":"set-status","name":"lock","value":3})"), kOk);
  EXPECT_EQ(Status(p, cmd::kMemoryStatus), 0x08);
  EXPECT_EQ(Status(p, cmd::kLockByte), 3);
  const std::string state = ControlReply(p, R"({"command":"state"})");
  EXPECT_TRUE(state.starts_with(R"({"ok":true,"state":{"model":{"deviceType":7)")) << state;
  EXPECT_NE(state.find(R"("s94":8)"), std::string::npos) << state;
  EXPECT_TRUE(state.ends_with("}}"));
}

TEST(ControlCommands, MistakesAreAnsweredAndChangeNothing) {
  Printer p(ProgrammedConfig());
  const struct {
    std::string line;
    std::string_view because;
  } cases[] = {
      {"state", "not JSON"},
      {R"({"command":"state"} x)", "not JSON"},
      {R"({"command":"sta)", "not JSON"},
      {R"(["state"])", "a \"command\""},
      {R"({"command":7})", "a \"command\""},
      {R"({"command":"reboot"})", "unknown command \"reboot\"; known: load-paper"},
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
  for (const auto& c : cases) {
    const std::string reply = ControlReply(p, c.line);
    EXPECT_TRUE(Refused(reply, c.because)) << c.line << " → " << reply;
  }
  EXPECT_EQ(Status(p, cmd::kMemoryStatus), 0);
  EXPECT_EQ(Status(p, cmd::kPrintStatus), 0);
  EXPECT_EQ(Send(p, cmd::kIdentify).first, (Bytes{kAck, 0x2C}));
  // Any JSON is read: escapes, blanks and members nobody asked for.
  EXPECT_EQ(ControlReply(p, " {\"id\":[1,{\"x\":null}], \"command\" : \"\\u0070aper-out\"} "), kOk);
  EXPECT_EQ(Status(p, cmd::kPrintStatus) & 0x02, 0x02);
}

fs::path SocketPath(const std::string& name) {
  return fs::temp_directory_path() / (name + "-" + std::to_string(::getpid()) + ".sock");
}

TEST(ControlServer, ServesClientsBesideTheLine) {
  const fs::path path = SocketPath("kestra-control");
  PtyServer server(ProgrammedConfig());
  server.Start();
  ControlServer control(server, path.string());
  control.Start();
  ASSERT_TRUE(fs::is_socket(path));

  ControlClient first(path.string());
  ControlClient second(path.string());
  ASSERT_TRUE(first.Connected());
  ASSERT_TRUE(second.Connected());
  // Two commands in one write, the second split across writes: each gets its line, in order.
  first.Write("{\"command\":\"paper-out\"}\n{\"command\":\"set-status\",");
  EXPECT_EQ(first.ReadLine(), kOk);
  first.Write("\"name\":\"status94\",\"value\":8}\n");
  EXPECT_EQ(first.ReadLine(), kOk);
  EXPECT_TRUE(Refused(second.Ask("{}"), "a \"command\""));

  // The computer on the line sees what the commands did.
  PtyClient line(server.SlavePath());
  ASSERT_TRUE(line.Open());
  EXPECT_EQ(line.Exchange(cmd::kPrintStatus, 1).at(0) & 0x02, 0x02);
  EXPECT_EQ(line.Exchange(cmd::kMemoryStatus, 1), Bytes{0x08});
  EXPECT_EQ(second.Ask(R"({"command":"load-paper"})"), kOk);
  EXPECT_EQ(line.Exchange(cmd::kPrintStatus, 1).at(0) & 0x02, 0);
  EXPECT_EQ(line.Exchange(cmd::kReceiptBegin, 1), Bytes{kAck});
  EXPECT_NE(second.Ask(R"({"command":"state"})").find(R"("receipt":{"open":true)"),
            std::string::npos);

  // A line that never ends is not a command: the client is answered and cut off.
  ControlClient flood(path.string());
  flood.Write(std::string(70 * 1024, ' '));
  EXPECT_TRUE(Refused(flood.ReadLine(), "too long"));
  EXPECT_EQ(flood.ReadLine(milliseconds(500)), "");
  EXPECT_EQ(first.Ask(R"({"command":"paper"})").substr(0, 11), R"({"ok":true,)");

  control.Stop();
  EXPECT_FALSE(fs::exists(path));
  EXPECT_EQ(first.ReadLine(milliseconds(500)), "") << "connections close with the server";
}

TEST(ControlServer, ReplacesASocketLeftBehindButNotALiveOne) {
  const fs::path path = SocketPath("kestra-control-reuse");
  PtyServer server(ProgrammedConfig());
  {
    // What a killed emulator leaves: a socket file nobody listens on.
    UniqueFd dead(::socket(AF_UNIX, SOCK_STREAM, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(dead.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  }
  ControlServer control(server, path.string());
  control.Start();
  EXPECT_EQ(ControlClient(path.string()).Ask(R"({"command":"load-paper"})"), kOk);

  ControlServer rival(server, path.string());
  EXPECT_THROW(rival.Start(), std::system_error);
  EXPECT_EQ(ControlClient(path.string()).Ask(R"({"command":"load-paper"})"), kOk)
      << "the live socket is left alone";
  EXPECT_THROW(ControlServer(server, std::string(200, 'x')).Start(), std::system_error);
}

}  // namespace
}  // namespace kestra::emu::test
