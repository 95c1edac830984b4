// The Win32 serial layer: what it decides on its own (line format, device paths, handle
// ownership), then the device and the port object on a COM port with the printer
// emulator behind it. TAURAVAT_TEST_COM names that port's number, TAURAVAT_TEST_FILE_COM
// one that leads to a plain file; the tests that need them skip without.
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

// The serial link behind OpenPort and ClosePort.
SerialLink& Link() {
  return DefaultPrinter().Link;
}

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr uint8_t kEsc = 0x1B;
constexpr uint8_t kStatus94 = 0x94;  // answered by one status byte, no acknowledgement
constexpr uint8_t kIdentify = 0xFF;  // answered by ACK and one byte
constexpr int kAbsentPort = 201;     // linked to nothing

std::optional<int> PortFromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return std::nullopt;
  return std::atoi(value);
}

unsigned Bits(unsigned field) {
  return field;
}

TEST(LineFormat, SetsTheWholeFlagsWordAndTheFrame) {
  DCB dcb;
  std::memset(&dcb, 0xFF, sizeof dcb);  // every flag set before: all must be cleared
  dcb.DCBlength = sizeof dcb;
  dcb.XonLim = 7;
  SetLineFormat(dcb, 19200);
  EXPECT_EQ(DcbFlagsWord(dcb), 0x4005u);
  EXPECT_EQ(Bits(dcb.fBinary), 1u);
  EXPECT_EQ(Bits(dcb.fParity), 0u) << "parity is sent, not checked on input";
  EXPECT_EQ(Bits(dcb.fOutxCtsFlow), 1u);
  EXPECT_EQ(Bits(dcb.fOutxDsrFlow), 0u);
  EXPECT_EQ(Bits(dcb.fDtrControl), static_cast<unsigned>(DTR_CONTROL_DISABLE));
  EXPECT_EQ(Bits(dcb.fDsrSensitivity), 0u);
  EXPECT_EQ(Bits(dcb.fTXContinueOnXoff), 0u);
  EXPECT_EQ(Bits(dcb.fOutX), 0u);
  EXPECT_EQ(Bits(dcb.fInX), 0u);
  EXPECT_EQ(Bits(dcb.fErrorChar), 0u);
  EXPECT_EQ(Bits(dcb.fNull), 0u);
  EXPECT_EQ(Bits(dcb.fRtsControl), static_cast<unsigned>(RTS_CONTROL_DISABLE));
  EXPECT_EQ(Bits(dcb.fAbortOnError), 1u);
  EXPECT_EQ(dcb.BaudRate, 19200u);
  EXPECT_EQ(dcb.ByteSize, 8);
  EXPECT_EQ(dcb.Parity, EVENPARITY);
  EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
  EXPECT_EQ(dcb.XonLim, 7) << "what the device reported stays";
  EXPECT_EQ(dcb.DCBlength, sizeof dcb);
}

TEST(DevicePath, LocalPortsUnderTheDeviceNamespace) {
  EXPECT_EQ(DevicePathFor("Com3", "\\Device\\Serial2"), "\\\\.\\Com3");
  EXPECT_EQ(DevicePathFor("Com12", ""), "\\\\.\\Com12");
}

TEST(DevicePath, RemoteDesktopPortsUnderTheClientShare) {
  EXPECT_EQ(DevicePathFor("Com3", "\\Device\\RdpDr\\;COM3:1\\tsclient\\COM3"),
            "\\\\tsclient\\Com3");
}

TEST(DevicePath, AnUnmappedNumberStillNamesAPath) {
  EXPECT_EQ(PlatformPortPath(kAbsentPort), std::optional<std::string>("\\\\.\\Com201"));
}

TEST(UniqueHandle, ClosesWhatItOwnsOnce) {
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

TEST(AbsentPort, OpenFailsWithNotFoundAndItsText) {
  EXPECT_EQ(::OpenPort(kAbsentPort, 9600, 1, 1), 2);
  EXPECT_EQ(Link().CommErrorCode(), 2u);
  EXPECT_EQ(Link().CommErrorText(), commtext::kDeviceNotFound.str());
  EXPECT_FALSE(Link().PortIsOpen());
  EXPECT_FALSE(PortAvailable(kAbsentPort));
  EXPECT_EQ(::ClosePort(), 0);
}

TEST(FileAsPort, IsRefusedAsNoCharacterDeviceAndNeverAsSuccess) {
  const auto port = PortFromEnvironment("TAURAVAT_TEST_FILE_COM");
  if (!port) GTEST_SKIP() << "TAURAVAT_TEST_FILE_COM not set";
  EXPECT_EQ(::OpenPort(static_cast<uint8_t>(*port), 9600, 1, 1), 6);
  EXPECT_EQ(Link().CommErrorText(), commtext::kDeviceBadHandle.str());
  EXPECT_FALSE(Link().PortIsOpen()) << "the file must not stay open behind the error";
  EXPECT_EQ(::ClosePort(), 0);
}

// The device itself on the emulator's line.
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

TEST_F(Win32Device, TakesTheLineSettingsAgainAndAtEverySpeed) {
  // A second configuration of the same port is where a pty trips without its shim.
  EXPECT_EQ(device_->ApplyLineSettings(9600), 0u);
  EXPECT_EQ(device_->ApplyLineSettings(19200), 0u);
  EXPECT_EQ(device_->ApplyLineSettings(9600), 0u);
}

TEST_F(Win32Device, KeepsTheTimeoutsItWasGiven) {
  const CommTimeouts wanted{kMaxTimeout, 0, 0, 3, 2500};
  ASSERT_EQ(device_->SetTimeouts(wanted), 0u);
  CommTimeouts read{};
  ASSERT_EQ(device_->GetTimeouts(read), 0u);
  EXPECT_EQ(read.readInterval, wanted.readInterval);
  EXPECT_EQ(read.readTotalMultiplier, wanted.readTotalMultiplier);
  EXPECT_EQ(read.readTotalConstant, wanted.readTotalConstant);
  EXPECT_EQ(read.writeTotalMultiplier, wanted.writeTotalMultiplier);
  EXPECT_EQ(read.writeTotalConstant, wanted.writeTotalConstant);
}

TEST_F(Win32Device, WritesAndReadsSingleBytes) {
  ExpectStatusExchange();
  ExpectStatusExchange();
}

TEST_F(Win32Device, AReadThatSeesNothingEndsAsATimeoutOfZeroBytes) {
  SetReadTimeout(200);
  uint8_t byte = 0;
  const auto start = Clock::now();
  const Transfer read = device_->Read(byte, abort_);
  const auto waited = Clock::now() - start;
  EXPECT_EQ(read.status, TransferStatus::Done);
  EXPECT_EQ(read.count, 0u);
  EXPECT_GE(waited, milliseconds(150));
  EXPECT_LT(waited, milliseconds(2000));
  ExpectStatusExchange();  // and the device goes on working
}

TEST_F(Win32Device, AZeroReadTimeoutReturnsAtOnce) {
  ASSERT_EQ(device_->SetTimeouts({kMaxTimeout, 0, 0, 0, 1000}), 0u);
  uint8_t byte = 0;
  const auto start = Clock::now();
  const Transfer read = device_->Read(byte, abort_);
  EXPECT_EQ(read.status, TransferStatus::Done);
  EXPECT_EQ(read.count, 0u);
  EXPECT_LT(Clock::now() - start, milliseconds(150));
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

TEST_F(Win32Device, InputPurgeDropsWhatArrived) {
  for (const uint8_t byte : {kEsc, kStatus94}) ASSERT_EQ(device_->Write(byte, abort_).count, 1u);
  std::this_thread::sleep_for(milliseconds(300));
  ASSERT_EQ(device_->PurgeInput(), 0u);
  ASSERT_EQ(device_->SetTimeouts({kMaxTimeout, 0, 0, 0, 1000}), 0u);
  uint8_t byte = 0;
  const Transfer read = device_->Read(byte, abort_);
  EXPECT_EQ(read.status, TransferStatus::Done);
  EXPECT_EQ(read.count, 0u) << "the status byte should have been purged";
}

TEST_F(Win32Device, OutputPurgeKeepsWhatWasWritten) {
  for (const uint8_t byte : {kEsc, kStatus94}) ASSERT_EQ(device_->Write(byte, abort_).count, 1u);
  ASSERT_EQ(device_->PurgeOutput(), 0u);
  uint8_t status = 0;
  const Transfer read = device_->Read(status, abort_);
  EXPECT_EQ(read.count, 1u) << "the command was lost by the output purge";
}

TEST_F(Win32Device, TheLineEventWaitEndsWhenStopped) {
  ASSERT_EQ(device_->SetEventMask(0x1FF), 0u);
  Event stop;
  auto waiting = std::async(std::launch::async, [&] {
    // Events that come first are taken; the wait must end once stop is signalled.
    for (int i = 0; i < 1000; ++i) {
      uint32_t mask = 0;
      const LineWait result = device_->WaitLineEvent(stop, mask);
      if (result != LineWait::Event) return result;
    }
    return LineWait::Event;
  });
  std::this_thread::sleep_for(milliseconds(200));
  ASSERT_TRUE(stop.Set());
  // Ended at once, not left to the close of the handle.
  ASSERT_EQ(waiting.wait_for(milliseconds(1000)), std::future_status::ready)
      << "WaitCommEvent was not ended";
  EXPECT_EQ(waiting.get(), LineWait::Stopped);
  ASSERT_TRUE(stop.Reset());
  ExpectStatusExchange();  // the port is still usable by a new waiter
}

// The port object with its threads on the same line.
class Win32Port : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto port = PortFromEnvironment("TAURAVAT_TEST_COM");
    if (!port) GTEST_SKIP() << "TAURAVAT_TEST_COM not set";
    port_ = static_cast<uint8_t>(*port);
  }
  void TearDown() override { ::ClosePort(); }

  int32_t Status94() {
    uint8_t reply[256] = {};
    return ::RSSequence(kStatus94, 1, 0, reply, nullptr);
  }

  uint8_t port_ = 0;
};

TEST_F(Win32Port, OpensExchangesAndCloses) {
  ASSERT_EQ(::OpenPort(port_, 9600, 1, 1), 0) << Link().CommErrorText();
  EXPECT_TRUE(Link().PortIsOpen());
  EXPECT_EQ(Status94(), 0);
  EXPECT_EQ(Status94(), 0);
  EXPECT_EQ(Link().CommErrorCode(), 0u);
  EXPECT_EQ(::ClosePort(), 0);
  EXPECT_FALSE(Link().PortIsOpen());
  EXPECT_EQ(::ClosePort(), 0);
  ASSERT_EQ(::OpenPort(port_, 19200, 1, 1), 0) << "reopening: " << Link().CommErrorText();
  EXPECT_EQ(Status94(), 0);
}

TEST_F(Win32Port, ASecondOpenIsRefusedAndTheFirstKeepsWorking) {
  ASSERT_EQ(::OpenPort(port_, 9600, 1, 1), 0);
  EXPECT_EQ(::OpenPort(port_, 9600, 1, 1), 5);
  EXPECT_TRUE(Link().PortIsOpen());
  // The refusal is recorded as text only: exchanges on the open port go on working.
  EXPECT_EQ(Link().CommErrorCode(), 0u);
  EXPECT_TRUE(Link().WriteByte(kEsc));
  EXPECT_TRUE(Link().WriteByte(kStatus94));
  uint8_t status = 0;
  EXPECT_TRUE(Link().ReadByte(status));
}

TEST_F(Win32Port, AReadTimeoutFailsOneExchangeOnly) {
  ASSERT_EQ(::OpenPort(port_, 9600, 1, 1), 0);
  uint8_t reply[256] = {};
  // Identification answers ACK and one byte; a third byte asked for never comes.
  const auto start = Clock::now();
  EXPECT_EQ(::RSSequence(kIdentify, 3, 0, reply, nullptr), 21);
  EXPECT_GE(Clock::now() - start, milliseconds(800));
  EXPECT_EQ(Link().CommErrorCode(), 0u)
      << "a time-out is no failure of the port: " << Link().CommErrorText();
  EXPECT_EQ(Status94(), 0) << "the exchange after a time-out must work";
}

TEST_F(Win32Port, ClosingReleasesACallerWaitingForAByte) {
  ASSERT_EQ(::OpenPort(port_, 9600, 1, 10), 0);
  auto reader = std::async(std::launch::async, [] {
    uint8_t byte = 0;
    return Link().ReadByte(byte);
  });
  std::this_thread::sleep_for(milliseconds(300));
  const auto start = Clock::now();
  EXPECT_EQ(::ClosePort(), 0);
  ASSERT_EQ(reader.wait_for(std::chrono::seconds(5)), std::future_status::ready)
      << "the caller was left waiting for the 10 s read time-out";
  EXPECT_FALSE(reader.get());
  EXPECT_LT(Clock::now() - start, milliseconds(5000));
  EXPECT_TRUE(Link().TransferFailed());
}

}  // namespace
}  // namespace kestradr
