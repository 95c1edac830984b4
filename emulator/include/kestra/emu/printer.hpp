#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "kestra/emu/faults.hpp"
#include "kestra/emu/fiscal_memory.hpp"
#include "kestra/emu/models.hpp"
#include "kestra/emu/paper_roll.hpp"
#include "kestra/emu/print_engine.hpp"
#include "kestra/emu/printer_config.hpp"
#include "kestra/emu/protocol.hpp"
#include "kestra/emu/receipt.hpp"

namespace kestra::emu {

// A KESTRA fiscal printer as a byte-in, byte-out state machine. No I/O and no clock
// of its own: whoever serves it feeds it bytes and tells it how much time has passed.
class Printer {
 public:
  explicit Printer(PrinterConfig config = {});

  // One byte from the computer; the printer's answer bytes (possibly none) are appended
  // to `out`.
  void Receive(uint8_t byte, std::vector<uint8_t>& out);
  // The same; `holdBack` is set when the bytes appended by this call must reach the
  // wire only after that delay (an injected fault), and left alone otherwise.
  void Receive(uint8_t byte, std::vector<uint8_t>& out, std::chrono::milliseconds& holdBack);
  void Receive(std::span<const uint8_t> bytes, std::vector<uint8_t>& out);

  // Time passes: printouts progress, the clock runs, a stalled sequence is dropped.
  void Advance(std::chrono::milliseconds elapsed);

  // --- State, for tests, the server and the snapshot.
  const PrinterConfig& Config() const { return config_; }
  const ModelInfo& Model() const { return model_; }
  int DeviceType() const { return model_.deviceType; }
  const FiscalMemory& Memory() const { return memory_; }
  bool ReceiptOpen() const { return receipt_.has_value(); }
  const std::optional<Receipt>& OpenReceipt() const { return receipt_; }
  bool ReceiptCancelledByPrinter() const { return cancelledFlag_; }
  const std::string& LastCancelReason() const { return lastCancelReason_; }
  bool MidSequence() const { return phase_ != Phase::kIdle; }
  std::chrono::sys_seconds Now() const;

  uint8_t MemoryStatus() const;  // 0x94
  uint8_t PrintStatus() const;   // 0x95
  StatusBits& Status() { return config_.status; }
  void SetLockByte(uint8_t lock) { config_.status.lock60 = lock; }

  PaperRoll& Paper() { return paper_; }
  const PaperRoll& Paper() const { return paper_; }
  const PrintEngine& Mechanism() const { return engine_; }
  void SetPaper(bool in) { engine_.SetPaper(in); }
  void PaperEndsAfter(int lines) { engine_.PaperEndsAfter(lines); }
  // A fresh roll: paper in, with no end in sight. A printout stopped for paper waits for
  // the computer's resume (0x2A), as on the real printer.
  void LoadPaper() {
    engine_.SetPaper(true);
    engine_.PaperEndsAfter(std::nullopt);
  }

  FaultInjector& Faults() { return faults_; }
  uint64_t DrawerOpenings(int drawer) const;
  uint64_t CommandsSeen() const { return commands_; }
  uint64_t BytesIgnored() const { return ignoredBytes_; }
  uint64_t SequencesDropped() const { return droppedSequences_; }

  std::string SnapshotJson() const;

 private:
  enum class Phase { kIdle, kCommand, kParameters };

  void StartCommand(uint8_t command, std::vector<uint8_t>& out,
                    std::chrono::milliseconds& holdBack);
  void FinishParameters(std::vector<uint8_t>& out, std::chrono::milliseconds& holdBack);
  bool ParametersComplete() const;
  bool Knows(uint8_t command) const;

  // Answers of the commands with a first reply; nothing = refused (NAK).
  uint8_t StatusByte(uint8_t command);
  std::optional<std::vector<uint8_t>> Answer(uint8_t command);
  // Carries out a command with its parameters; returns its second reply.
  std::vector<uint8_t> Execute(uint8_t command, std::span<const uint8_t> params);

  // Receipt steps.
  std::optional<std::vector<uint8_t>> BeginReceipt();
  std::optional<std::vector<uint8_t>> EndReceipt();
  void CancelReceipt();
  void PrinterCancelsReceipt(const std::string& why);
  void ItemLine(std::span<const uint8_t> block);
  std::vector<uint8_t> Package(std::span<const uint8_t> params);
  void Discount(std::span<const uint8_t> params);
  void Total(std::span<const uint8_t> params);
  void Payment(bool first, std::span<const uint8_t> params);
  void ExtraLine(std::span<const uint8_t> params);

  // Reports and settings.
  std::optional<std::vector<uint8_t>> DailyReport();
  bool RateWriteAllowed() const;
  void WriteRates(std::span<const uint8_t> params);
  void PeriodReport(bool detailed, std::span<const uint8_t> digits);
  uint8_t PeriodicReport(std::span<const uint8_t> params);

  void Print(std::vector<std::string> lines);

  PrinterConfig config_;
  ModelInfo model_;
  FiscalMemory memory_;
  PaperRoll paper_;
  PrintEngine engine_;
  FaultInjector faults_;

  std::optional<Receipt> receipt_;
  bool cancelledFlag_ = false;
  std::string lastCancelReason_;
  int feedLines_ = 0;
  std::array<uint64_t, 3> drawers_{};
  std::chrono::milliseconds running_{0};

  Phase phase_ = Phase::kIdle;
  uint8_t command_ = 0;
  CommandShape shape_;
  std::vector<uint8_t> params_;
  bool executeParams_ = true;
  bool dropFromSecondReply_ = false;
  bool holdSecondReply_ = false;
  std::chrono::milliseconds quiet_{0};

  uint64_t commands_ = 0;
  uint64_t ignoredBytes_ = 0;
  uint64_t droppedSequences_ = 0;
};

}  // namespace kestra::emu
