// The Win32 serial layer, then its device and port object on COM TAURAVAT_TEST_COM (the
// emulator) and TAURAVAT_TEST_FILE_COM (a plain file); the tests that need them skip without.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <future>
#include <optional>
#include <thread>

#include "comm.hpp"
#include "comm_texts.hpp"
#include "event.hpp"
#include "port_names.hpp"
#include "printer.hpp"
#include "serial_device.hpp"
#include "serial_win32.hpp"
#include "tauravat.h"

namespace kestradr {
namespace {

SerialLink& Link() {
  return DefaultPrinter().Line();
}

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr uint8_t kEsc = 0x1B;
constexpr uint8_t kStatus94 = 0x94;  // answered by one status byte, no acknowledgement
constexpr int kAbsentPort = 201;     // linked to nothing

std::optional<int> PortFromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return std::nullopt;
  return std::atoi(value);
}

TEST(Win32, LineFormatSetsTheWholeFlagsWordAndTheFrame) {
  DCB dcb;
  std::memset(&dcb, 0xFF, sizeof dcb);  // every flag set before: all must be cleared
  dcb.DCBlength = sizeof dcb;
  dcb.XonLim = 7;
  SetLineFormat(dcb, 19200);
  // Binary, CTS flow control, parity sent but not checked on input, abort on error;
  // DTR and RTS held low, no XON/XOFF, no error or null characters.
  EXPECT_EQ(DcbFlagsWord(dcb), 0x4005u);
  EXPECT_EQ(dcb.BaudRate, 19200u);
  EXPECT_EQ(dcb.ByteSize, 8);
  EXPECT_EQ(dcb.Parity, EVENPARITY);
  EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
  EXPECT_EQ(dcb.XonLim, 7) << "what the device reported stays";
  EXPECT_EQ(dcb.DCBlength, sizeof dcb);
}

TEST(Win32, DevicePathsLocalInTheDeviceNamespaceRemoteOnTheClientShare) {
  EXPECT_EQ(DevicePathFor("Com3", "\\Device\\Serial2"), "\\\\.\\Com3");
  EXPECT_EQ(DevicePathFor("Com12", ""), "\\\\.\\Com12");
  EXPECT_EQ(DevicePathFor("Com3", "\\Device\\RdpDr\\;COM3:1\\tsclient\\COM3"),
            "\\\\tsclient\\Com3");
  EXPECT_EQ(PlatformPortPath(kAbsentPort), std::optional<std::string>("\\\\.\\Com201"));
}

TEST(Win32, UniqueHandleClosesWhatItOwnsOnce) {
  HANDLE raw = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(raw, nullptr);
  {
    UniqueHandle first(raw);
    UniqueHandle second(std::move(first));
    EXPECT_FALSE(first.valid());
    EXPECT_EQ(second.get(), raw);
  }
  DWORD flags = 0;
  EXPECT_FALSE(GetHandleInformation(raw, &flags)) << "the handle must be closed";
  UniqueHandle none(nullptr);
  EXPECT_FALSE(none.valid()) << "CreateEvent's failure value is no handle either";
}

TEST(Win32, AbsentPortOrAFileFailWithTheirTextsAndNothingStaysOpen) {
  EXPECT_EQ(::OpenPort(kAbsentPort, 9600, 1, 1), 2);
  EXPECT_EQ(Link().CommErrorCode(), 2u);
  EXPECT_EQ(Link().CommErrorText(), commtext::kDeviceNotFound.str());
  EXPECT_FALSE(Link().PortIsOpen());
  EXPECT_FALSE(PortAvailable(kAbsentPort));
  EXPECT_EQ(::ClosePort(), 0);
  const auto file = PortFromEnvironment("TAURAVAT_TEST_FILE_COM");
  if (!file) GTEST_SKIP() << "TAURAVAT_TEST_FILE_COM not set";
  EXPECT_EQ(::OpenPort(static_cast<uint8_t>(*file), 9600, 1, 1), 6) << "never success";
  EXPECT_EQ(Link().CommErrorText(), commtext::kDeviceBadHandle.str());
  EXPECT_FALSE(Link().PortIsOpen()) << "the file must not stay open behind the error";
  EXPECT_EQ(::ClosePort(), 0);
}

class Win32Device : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto port = PortFromEnvironment("TAURAVAT_TEST_COM");
    if (!port) GTEST_SKIP() << "TAURAVAT_TEST_COM not set";
    DeviceOpenResult opened = OpenPlatformDevice(PortAddress{*port, {}});
    ASSERT_NE(opened.device, nullptr) << "OS error " << opened.osError;
    device_ = std::move(opened.device);
    ASSERT_EQ(device_->ApplyLineSettings(9600), 0u);
    ASSERT_EQ(device_->SetQueueSizes(4096, 2048), 0u);
    SetReadTimeout(1000);
    ASSERT_EQ(device_->PurgeInput(), 0u);
  }

  void SetReadTimeout(uint32_t ms) { ASSERT_EQ(device_->SetTimeouts({ms, 0, ms, 0, 1000}), 0u); }

  // ESC 0x94 and the one status byte it brings back.
  void ExpectStatusExchange() {
    for (const uint8_t byte : {kEsc, kStatus94}) {
      const Transfer written = device_->Write(byte, abort_);
      ASSERT_EQ(written.status, TransferStatus::Done);
      ASSERT_EQ(written.count, 1u);
    }
    uint8_t status = 0;
    const Transfer read = device_->Read(status, abort_);
    ASSERT_EQ(read.status, TransferStatus::Done);
    EXPECT_EQ(read.count, 1u) << "no status byte within the read time-out";
  }

  std::unique_ptr<SerialDevice> device_;
  Event abort_;
};

TEST_F(Win32Device, TakesTheLineSettingsAgainAndKeepsTheTimeoutsItWasGiven) {
  // A second configuration of the same port is where a pty trips without its shim.
  EXPECT_EQ(device_->ApplyLineSettings(19200), 0u);
  EXPECT_EQ(device_->ApplyLineSettings(9600), 0u);
  const CommTimeouts wanted{kMaxTimeout, 0, 0, 3, 2500};
  ASSERT_EQ(device_->SetTimeouts(wanted), 0u);
  CommTimeouts read{};
  ASSERT_EQ(device_->GetTimeouts(read), 0u);
  EXPECT_EQ(std::memcmp(&read, &wanted, sizeof read), 0);
}

TEST_F(Win32Device, AReadThatSeesNothingEndsAfterItsTimeoutWithZeroBytes) {
  for (const uint32_t timeout : {200u, 0u}) {
    SCOPED_TRACE(timeout);
    // Zero: the interval at its maximum and no total, a read that returns at once.
    const uint32_t interval = timeout == 0 ? kMaxTimeout : timeout;
    ASSERT_EQ(device_->SetTimeouts({interval, 0, timeout, 0, 1000}), 0u);
    uint8_t byte = 0;
    const auto start = Clock::now();
    const Transfer read = device_->Read(byte, abort_);
    const auto waited = Clock::now() - start;
    EXPECT_EQ(read.status, TransferStatus::Done);
    EXPECT_EQ(read.count, 0u);
    EXPECT_GE(waited, milliseconds(timeout * 3 / 4));
    EXPECT_LT(waited, milliseconds(timeout == 0 ? 150 : 2000));
  }
  SetReadTimeout(1000);
  ExpectStatusExchange();  // and the device goes on working
}

TEST_F(Win32Device, AbortEndsAPendingReadAndTheNextOneWorks) {
  SetReadTimeout(8000);
  std::thread aborter([this] {
    std::this_thread::sleep_for(milliseconds(150));
    abort_.Set();
  });
  uint8_t byte = 0;
  const auto start = Clock::now();
  const Transfer read = device_->Read(byte, abort_);
  const auto waited = Clock::now() - start;
  aborter.join();
  EXPECT_EQ(read.status, TransferStatus::Aborted);
  EXPECT_LT(waited, milliseconds(4000)) << "the abort must not wait for the read time-out";
  ASSERT_TRUE(abort_.Reset());
  SetReadTimeout(1000);
  ExpectStatusExchange();
}

TEST_F(Win32Device, OutputPurgeKeepsWhatWasWrittenInputPurgeDropsWhatArrived) {
  for (const uint8_t byte : {kEsc, kStatus94}) ASSERT_EQ(device_->Write(byte, abort_).count, 1u);
  ASSERT_EQ(device_->PurgeOutput(), 0u);
  uint8_t status = 0;
  EXPECT_EQ(device_->Read(status, abort_).count, 1u) << "the command was lost by the output purge";
  for (const uint8_t byte : {kEsc, kStatus94}) ASSERT_EQ(device_->Write(byte, abort_).count, 1u);
  std::this_thread::sleep_for(milliseconds(300));  // the answer arrives unread
  ASSERT_EQ(device_->PurgeInput(), 0u);
  ASSERT_EQ(device_->SetTimeouts({kMaxTimeout, 0, 0, 0, 1000}), 0u);
  EXPECT_EQ(device_->Read(status, abort_).count, 0u) << "the status byte should have been purged";
}

TEST_F(Win32Device, TheLineEventWaitEndsWhenStopped) {
  ASSERT_EQ(device_->SetEventMask(0x1FF), 0u);
  Event stop;
  auto waiting = std::async(std::launch::async, [&] {
    for (int i = 0; i < 1000; ++i) {
      uint32_t mask = 0;
      const LineWait result = device_->WaitLineEvent(stop, mask);
      if (result != LineWait::Event) return result;
    }
    return LineWait::Event;
  });
  std::this_thread::sleep_for(milliseconds(200));
  ASSERT_TRUE(stop.Set());
  ASSERT_EQ(waiting.wait_for(milliseconds(1000)), std::future_status::ready)
      << "WaitCommEvent was not ended";
  EXPECT_EQ(waiting.get(), LineWait::Stopped);
  ASSERT_TRUE(stop.Reset());
  ExpectStatusExchange();  // the port is still usable by a new waiter
}

// What the port object decides itself is the serial suite's (on a fake device, here too).
TEST(Win32Port, OpensExchangesClosesAndReopens) {
  const auto port = PortFromEnvironment("TAURAVAT_TEST_COM");
  if (!port) GTEST_SKIP() << "TAURAVAT_TEST_COM not set";
  const auto status94 = [] {
    uint8_t reply[256] = {};
    return ::RSSequence(kStatus94, 1, 0, reply, nullptr);
  };
  ASSERT_EQ(::OpenPort(static_cast<uint8_t>(*port), 9600, 1, 1), 0) << Link().CommErrorText();
  EXPECT_TRUE(Link().PortIsOpen());
  EXPECT_EQ(status94(), 0);
  EXPECT_EQ(status94(), 0);
  EXPECT_EQ(Link().CommErrorCode(), 0u);
  EXPECT_EQ(::ClosePort(), 0);
  EXPECT_FALSE(Link().PortIsOpen());
  EXPECT_EQ(::ClosePort(), 0);
  ASSERT_EQ(::OpenPort(static_cast<uint8_t>(*port), 19200, 1, 1), 0) << Link().CommErrorText();
  EXPECT_EQ(status94(), 0);
  ::ClosePort();
}

}  // namespace
}  // namespace kestradr
