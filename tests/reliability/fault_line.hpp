// An in-process line to one emulated printer, for the fault matrix: like the test
// support's emulator line, but the printer can be replaced between runs while the
// driver keeps its port, every exchange is recorded with what the printer answered, and
// two faults the printer cannot inject itself strike at a chosen exchange: the paper
// running out, and the port vanishing (every transfer and every reopening fails until
// the line is restored).
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "kestra/emu/printer.hpp"
#include "serial_device.hpp"

namespace kestradr::reliability {

struct Exchange {
  uint8_t command = 0;
  int firstReply = 0;   // bytes the printer sent on the command byte
  int secondReply = 0;  // bytes it sent after the parameters
};

class FaultLine : public std::enable_shared_from_this<FaultLine> {
 public:
  // Installs itself as the driver's device opener; Uninstall() undoes that.
  static std::shared_ptr<FaultLine> Install(kestra::emu::PrinterConfig config);
  void Uninstall();

  // A fresh printer, the record and the armed faults cleared, the line restored.
  void Reset(kestra::emu::PrinterConfig config);
  // Exchanges are counted from here.
  void StartRecording();
  std::vector<Exchange> Record() const;

  void PaperOutAt(int exchange);
  void VanishAt(int exchange);
  void Restore();
  bool Vanished() const;
  // Bytes that crossed the line since the last Reset, both ways.
  uint64_t BytesOnLine() const;

  // Touch the printer between driver calls only.
  kestra::emu::Printer& Printer() { return *printer_; }

  std::unique_ptr<SerialDevice> OpenDevice(uint32_t& osError);

 private:
  friend class FaultDevice;
  bool OnWrite(uint8_t byte);  // false: the line is gone
  std::optional<uint8_t> TakeByte(bool& gone);
  void StartSequence();
  void ClearPending();

  mutable std::mutex mutex_;
  std::unique_ptr<kestra::emu::Printer> printer_;
  std::deque<uint8_t> pending_;
  std::vector<Exchange> record_;
  enum class Expect { kEscape, kCommand, kRest } expect_ = Expect::kRest;
  int exchange_ = -1;  // index of the exchange under way
  std::optional<int> paperOutAt_;
  std::optional<int> vanishAt_;
  bool gone_ = false;
  uint64_t bytes_ = 0;
};

}  // namespace kestradr::reliability
