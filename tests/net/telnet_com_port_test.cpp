// The RFC 2217 stream on its own, and the network paths: what each direction carries.
#include "telnet_com_port.hpp"

#include <gtest/gtest.h>

#include "net_address.hpp"

namespace kestradr::testing {
namespace {

namespace tn = telnet;
using Bytes = std::vector<uint8_t>;

struct Received {
  std::deque<uint8_t> data;
  Bytes reply;
  Bytes Data() const { return {data.begin(), data.end()}; }
};

Received Feed(tn::Stream& stream, std::initializer_list<Bytes> chunks) {
  Received r;
  for (const Bytes& chunk : chunks) stream.Receive(chunk, r.data, r.reply);
  return r;
}

TEST(TelnetComPort, IacIsDoubledOnTheWayOutAndUndoneOnTheWayInAcrossChunks) {
  tn::Stream stream;
  stream.Greeting();
  Bytes out;
  for (const uint8_t b : Bytes{0x1B, 0xFF, 0xFE, 0x0D, 0x00}) stream.Encode(b, out);
  EXPECT_EQ(out, (Bytes{0x1B, 0xFF, 0xFF, 0xFE, 0x0D, 0x00}));
  // An identification answer split between two segments right inside the IAC pair.
  EXPECT_EQ(Feed(stream, {{0x06, 0xFF}, {0xFF, 0x0D, 0x00, 0x41}}).Data(),
            (Bytes{0x06, 0xFF, 0x0D, 0x00, 0x41}));
}

TEST(TelnetComPort, NegotiationAnswersOnlyWhatChangesAndRefusesWhatAPrinterLineCannotUse) {
  tn::Stream stream;
  EXPECT_EQ(stream.Greeting(), (Bytes{255, 251, 44, 255, 251, 0, 255, 253, 0}));
  // ser2net's opening: WILL SGA, DO SGA, WILL ECHO, DONT ECHO, DO BINARY, WILL BINARY,
  // DO COM-PORT-OPTION; then a terminal-type request.
  const Received r = Feed(stream, {{255, 251, 3, 255, 253, 3, 255, 251, 1,  255, 254, 1,
                                    255, 253, 0, 255, 251, 0, 255, 253, 44, 255, 253, 24}});
  EXPECT_EQ(r.reply, (Bytes{255, 253, 3, 255, 251, 3, 255, 254, 1, 255, 252, 24}));
  EXPECT_TRUE(r.data.empty());
  EXPECT_FALSE(stream.ComPortRefused());
  EXPECT_TRUE(Feed(stream, {{255, 251, 3, 255, 253, 44}}).reply.empty()) << "no echo of echoes";

  // A server that will not speak binary: CR travels as CR NUL both ways.
  tn::Stream plain;
  plain.Greeting();
  const Received refused = Feed(plain, {{255, 254, 0, 255, 252, 0, 255, 254, 44}});
  EXPECT_EQ(refused.reply, (Bytes{255, 252, 0, 255, 254, 0, 255, 252, 44}));
  EXPECT_TRUE(plain.ComPortRefused());
  Bytes out;
  plain.Encode(0x0D, out);
  EXPECT_EQ(out, (Bytes{0x0D, 0x00}));
  EXPECT_EQ(Feed(plain, {{0x0D, 0x00, 0x0D, 0x0A, 0x00}}).Data(), (Bytes{0x0D, 0x0D, 0x0A, 0x00}));
}

TEST(TelnetComPort, CommandsAnswersAndNotices) {
  EXPECT_EQ(tn::ComPortCommand(tn::kSetBaudRate, 28800u),
            (Bytes{255, 250, 44, 1, 0x00, 0x00, 0x70, 0x80, 255, 240}));
  EXPECT_EQ(tn::ComPortCommand(tn::kSetBaudRate, 0x0000FFFFu),
            (Bytes{255, 250, 44, 1, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 255, 240}));

  tn::Stream stream;
  stream.Greeting();
  // Answers come with the command plus 100; a notice's bits until they are taken.
  const Received r = Feed(stream, {{255, 250, 44, 101, 0, 0, 0x25, 0x80, 255, 240, 0x06},
                                   {255, 250, 44, 103, 3, 255, 240},
                                   {255, 250, 44, 106, 0x0A, 255, 240, 0x07}});
  EXPECT_EQ(r.Data(), (Bytes{0x06, 0x07}));
  EXPECT_EQ(stream.Answer(tn::kSetBaudRate), 9600u);
  EXPECT_EQ(stream.Answer(tn::kSetParity), 3u);
  EXPECT_FALSE(stream.Answer(tn::kSetDataSize));
  stream.Forget(tn::kSetBaudRate);
  EXPECT_FALSE(stream.Answer(tn::kSetBaudRate));
  EXPECT_EQ(stream.TakeLineState(), tn::kLineStateFraming | tn::kLineStateOverrun);
  EXPECT_EQ(stream.TakeLineState(), 0);
}

TEST(TelnetComPort, WhatArrivesBeforeThePurgesAnswerIsStaleAndWhatFollowsIsKept) {
  tn::Stream stream;
  stream.Greeting();
  const Bytes answer{255, 250, 44, 112, 1, 255, 240};
  stream.PurgeSent();
  stream.PurgeSent();
  // A stale answer split inside its IAC pair, the first purge's answer, more stale bytes,
  // the second's, then the printer's answer to what was sent after both purges.
  Received r = Feed(stream, {{0x06, 0xFF}, {0xFF, 0x15}, answer, {0x41}});
  EXPECT_TRUE(r.data.empty());
  r = Feed(stream, {answer, {0x06, 0xFF, 0xFF}});
  EXPECT_EQ(r.Data(), (Bytes{0x06, 0xFF}));
  // An answer nobody waits for drops nothing.
  EXPECT_EQ(Feed(stream, {answer, {0x07}}).Data(), (Bytes{0x07}));
}

TEST(TelnetComPort, CtsStopsTheWriterOnceItDropsNotWhenTheServerCannotSeeIt) {
  const auto modem = [](tn::Stream& s, uint8_t state) {
    Feed(s, {{255, 250, 44, 107, state, 255, 240}});
    return s.ClearToSend();
  };
  tn::Stream blind;  // a server in front of a pseudo-terminal reports 0 from the start
  EXPECT_TRUE(modem(blind, 0x00));
  EXPECT_TRUE(modem(blind, 0x10));
  EXPECT_FALSE(modem(blind, 0x00)) << "low after high: the printer dropped CTS";
  EXPECT_TRUE(modem(blind, 0x11));

  tn::Stream changed;
  EXPECT_FALSE(modem(changed, 0x01)) << "low as a change";
  EXPECT_TRUE(modem(changed, 0x11));
}

TEST(NetAddress, PyserialsTwoSchemesWithTheirHostAndPort) {
  const auto parsed = [](std::string_view path) -> std::string {
    const auto a = ParseNetAddress(path);
    if (!a) return "-";
    return (a->protocol == NetAddress::Protocol::Rfc2217 ? "rfc2217 " : "raw ") + a->host + " " +
           a->port;
  };
  EXPECT_EQ(parsed("socket://10.0.0.5:4001"), "raw 10.0.0.5 4001");
  EXPECT_EQ(parsed("RFC2217://printer.shop.lan:4001"), "rfc2217 printer.shop.lan 4001");
  EXPECT_EQ(parsed("rfc2217://[fe80::1]:2217?logging=debug"), "rfc2217 fe80::1 2217");
  for (const char* bad : {"socket://10.0.0.5", "socket://:4001", "rfc2217://fe80::1:4001",
                          "rfc2217://[::1:4001", "socket://host:", "/dev/ttyS0", "COM5"})
    EXPECT_EQ(parsed(bad), "-") << bad;
  EXPECT_TRUE(IsNetAddress("Socket://x"));
  EXPECT_TRUE(IsNetAddress("rfc2217://"));
  EXPECT_FALSE(IsNetAddress("/dev/socket://x"));
}

}  // namespace
}  // namespace kestradr::testing
