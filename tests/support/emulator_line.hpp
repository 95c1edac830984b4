// The printer emulator on an in-process line: each byte the driver writes is fed to a
// kestra::emu::Printer, and its answer bytes are what the driver reads. Nothing waiting
// to be read is an immediate read time-out, so an answer the printer holds back (an
// injected delay) comes after the driver gave up waiting and is lost. Time does not pass
// by itself; printouts progress with the driver's status polls and with the pauses it
// makes between them, and a test may Advance() the printer. A test may also raise a line
// error, as a framing error on a real port would.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "event.hpp"
#include "kestra/emu/printer.hpp"
#include "scripted_line.hpp"
#include "serial_device.hpp"

namespace kestradr::testing {

// Devices keep their line alive: the driver may close a port after the test let go of it.
class EmulatorLine : public std::enable_shared_from_this<EmulatorLine> {
 public:
  explicit EmulatorLine(kestra::emu::PrinterConfig config = {});

  // The emulated printer. Touch it between driver calls only: the driver's port thread
  // reaches it during them.
  kestra::emu::Printer& Printer() { return printer_; }

  // The sequences the driver sent (a purge of the input marks the start of each).
  std::vector<SentSequence> Sequences() const;
  std::vector<uint8_t> Commands() const;
  void ClearRecord();
  int OpenCount() const;

  // Reports line errors (the CE_* flags) through the port's event wait, as a real port
  // does; they reach the driver's record once its thread serves the hand-over.
  void RaiseLineError(uint32_t flags);

  std::unique_ptr<SerialDevice> OpenDevice();

 private:
  friend class EmulatorDevice;
  void OnWrite(uint8_t byte);
  bool TakeByte(uint8_t& byte);
  void StartSequence();
  void ClearPending();

  mutable std::mutex mutex_;
  kestra::emu::Printer printer_;
  std::deque<uint8_t> pending_;
  std::vector<SentSequence> sequences_;
  bool expectSequenceStart_ = true;
  int headerBytes_ = 0;
  int openCount_ = 0;
  uint32_t lineErrors_ = 0;
  Event lineEvent_;
};

// Routes every port the driver opens to one emulated printer while it lives.
class EmulatorPort {
 public:
  explicit EmulatorPort(kestra::emu::PrinterConfig config = {});
  ~EmulatorPort();
  EmulatorPort(const EmulatorPort&) = delete;
  EmulatorPort& operator=(const EmulatorPort&) = delete;

  kestra::emu::Printer& Printer() { return line_->Printer(); }
  EmulatorLine& Line() { return *line_; }

 private:
  std::shared_ptr<EmulatorLine> line_;
};

}  // namespace kestradr::testing
