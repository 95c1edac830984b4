// Print supervision: waits for the printer to finish what it prints, resumes a printout
// stopped for paper, and reports the faults that stop it.
#include <algorithm>
#include <chrono>

#include "cp1250.hpp"
#include "messages.hpp"
#include "printer.hpp"

namespace kestradr {

namespace {

// A printout takes seconds to minutes, and every status poll wakes the port's threads:
// after the first three rounds (a printout about to end is seen without delay) the rounds
// are spaced out, doubling up to a fifth of a second, so following a long printout
// costs almost nothing while its end is still seen within a moment.
class PollPacing {
 public:
  // The pause before the next round.
  std::chrono::milliseconds NextRest() {
    if (rounds_ < kUnpacedRounds) {
      ++rounds_;
      return std::chrono::milliseconds{0};
    }
    const auto rest = next_;
    next_ = std::min(next_ * 2, kLongestRest);
    return rest;
  }

 private:
  static constexpr int kUnpacedRounds = 3;
  static constexpr std::chrono::milliseconds kLongestRest{200};
  int rounds_ = 0;
  std::chrono::milliseconds next_{20};
};

// Print status (0x95).
constexpr uint8_t kBitPrinting = 0x01;
constexpr uint8_t kBitNoPaper = 0x02;
constexpr uint8_t kBitFailure = 0x04;
constexpr uint8_t kBitStoppedForPaper = 0x40;
constexpr uint8_t kBitNoController = 0x80;
// Memory status (0x94).
constexpr uint8_t kBitDocumentWaiting = 0x02;

// What is still unfinished when the print limit runs out: a printout stopped for paper,
// characters still being printed, or a document still waiting in memory.
int32_t Unfinished(bool busy, bool stopped) {
  if (stopped) return TAURAVAT_E_STOPPED_FOR_PAPER;
  return busy ? TAURAVAT_E_CHARS_IN_PRINT_BUFFER : TAURAVAT_E_DOCUMENT_IN_MEMORY;
}

}  // namespace

void Printer::RestBetweenPolls(std::chrono::milliseconds pause) {
  // Served in short slices so that the application's window never waits long.
  constexpr std::chrono::milliseconds kSlice{20};
  while (pause > std::chrono::milliseconds::zero()) {
    const auto slice = std::min(pause, kSlice);
    Link.Rest(slice);
    Processmessages();
    pause -= slice;
  }
}

// Every status read lets the application pump its window messages first, so the window
// stays alive during a printout that takes minutes.
int32_t Printer::Poll(const Command& command, uint8_t& status) {
  Processmessages();
  return ReadStatusByte(command.code, status);
}

int32_t Printer::Supervise(PrintWait wait, uint8_t deviceType, OnStopped onStopped) {
  static const std::string checking = Cp1250("Trwa kontrola wydruku...");
  static const std::string printing = Cp1250("Trwa wydruk...");
  const bool before = wait == PrintWait::kBefore;
  const bool follow = wait == PrintWait::kFollow;
  ShowCentreMessage(before ? checking : printing);
  if (!Connected) {
    if (const int32_t result = ConnectPrinter(PortNumber, false); result != TAURAVAT_OK)
      return result;
  } else if (const int32_t result = ReopenFailedPort(); result != TAURAVAT_OK) {
    return result;
  }

  uint8_t print = 0;
  if (const int32_t result = Poll(cmd::kPrintStatus, print); result != TAURAVAT_OK) return result;
  if (print & kBitNoPaper) return TAURAVAT_E_PAPER_OUT;

  // Some models are not asked for the memory status while a printout is followed: a
  // document merely waiting there must not keep the poll going.
  const bool skipMemory =
      onStopped == OnStopped::Resume && ModelOf(deviceType).followsWithoutMemoryStatus && !before;

  // A deadline for the whole call, computed once: a printer that says it prints for ever
  // must not hold its caller for ever.
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = printLimit_ > std::chrono::milliseconds::zero()
                                         ? Clock::now() + printLimit_
                                         : Clock::time_point::max();
  const auto overdue = [&] { return Clock::now() >= deadline; };

  PollPacing pacing;
  for (;;) {
    RestBetweenPolls(pacing.NextRest());
    if (const int32_t result = Poll(cmd::kPrintStatus, print); result != TAURAVAT_OK) return result;
    if (print & kBitNoController) return TAURAVAT_E_NO_CONTROLLER_LINK;
    if (print & kBitNoPaper) return TAURAVAT_E_PAPER_OUT;
    if (print & kBitFailure) return TAURAVAT_E_PRINTER_FAILURE;

    uint8_t memory = 0;
    if (!skipMemory) {
      if (const int32_t result = Poll(cmd::kMemoryStatus, memory); result != TAURAVAT_OK)
        return result;
    }

    if (const int32_t result = Poll(cmd::kPrintStatus, print); result != TAURAVAT_OK) return result;
    if (print & kBitFailure) return TAURAVAT_E_PRINTER_FAILURE;
    if (print & kBitNoController) return TAURAVAT_E_NO_CONTROLLER_LINK;
    if (print & kBitNoPaper) return TAURAVAT_E_PAPER_OUT;

    const bool waiting = (memory & kBitDocumentWaiting) != 0;
    const bool busy = (print & kBitPrinting) != 0;
    const bool stopped = (print & kBitStoppedForPaper) != 0;

    if (!waiting && !busy && !stopped) return TAURAVAT_OK;

    // Printing, or (when following) a document still to come: keep watching. The paper
    // bit was tested just above, so only the extra read can bring news of it.
    if (!stopped && (busy || follow)) {
      if (const int32_t result = Poll(cmd::kPrintStatus, print); result != TAURAVAT_OK)
        return result;
      if (print & kBitNoPaper) return TAURAVAT_E_PAPER_OUT;
      if (overdue()) return Unfinished(busy, stopped);
      continue;
    }

    // Stopped for paper that is back, or a document waiting before a new printout: the
    // printer needs to be told to go on.
    if ((stopped && busy) || (waiting && !busy && !stopped && before)) {
      if (onStopped == OnStopped::Resume) return PrintResume();
    }
    // Anything else ("001", "101") changes on its own: poll again.
    if (overdue()) return Unfinished(busy, stopped);
  }
}

int32_t Printer::PrintControl(PrintWait wait, uint8_t deviceType) {
  return Supervise(wait, deviceType, OnStopped::Resume);
}

int32_t Printer::PrintControlNoResume(PrintWait wait) {
  return Supervise(wait, DeviceType, OnStopped::KeepWaiting);
}

int32_t Printer::PrintResume() {
  static const std::string caption = Cp1250("Wznawianie wydruku...");
  ShowCentreMessage(caption);
  if (const int32_t result = Prologue(false, true); result != TAURAVAT_OK) return result;
  uint8_t print = 0;
  if (const int32_t result = ReadStatusByte(cmd::kPrintStatus.code, print); result != TAURAVAT_OK)
    return result;
  if (print & kBitNoPaper) return TAURAVAT_E_PAPER_OUT;
  Block reply{};
  if (const uint8_t result = SendSequence(cmd::kResumePrinting, reply); result != TAURAVAT_OK)
    return result;
  return PrintControlNoResume(PrintWait::kFollow);
}

}  // namespace kestradr
