// Print supervision: waits for the printer to finish what it prints, resumes a printout
// stopped for paper, and reports the faults that stop it.
#include "callbacks.hpp"
#include "connection.hpp"
#include "cp1250.hpp"
#include "exchange.hpp"
#include "export_guard.hpp"
#include "messages.hpp"
#include "tauravat.h"

namespace kestradr {

namespace {

constexpr uint8_t kPrintStatus = 0x95;
constexpr uint8_t kMemoryStatus = 0x94;
constexpr uint8_t kResumePrinting = 0x2A;

// Print status (0x95).
constexpr uint8_t kPrinting = 0x01;
constexpr uint8_t kNoPaper = 0x02;
constexpr uint8_t kFailure = 0x04;
constexpr uint8_t kStoppedForPaper = 0x40;
constexpr uint8_t kNoController = 0x80;
// Memory status (0x94).
constexpr uint8_t kDocumentWaiting = 0x02;

// Every status read lets the application pump its window messages first, so the window
// stays alive during a printout that takes minutes.
int32_t Poll(uint8_t command, uint8_t& status) {
  Processmessages();
  return ReadStatusByte(command, status);
}

enum class OnStopped { Resume, KeepWaiting };

int32_t Supervise(int32_t mode, uint8_t deviceType, OnStopped onStopped) {
  static const std::string checking = Cp1250("Trwa kontrola wydruku...");
  static const std::string printing = Cp1250("Trwa wydruk...");
  ShowCentreMessage(mode == 1 ? checking : printing);
  if (!Connected) {
    if (const int32_t result = ConnectPrinter(PortNumber, false); result != kOk) return result;
  } else if (const int32_t result = ReopenFailedPort(); result != kOk) {
    return result;
  }

  uint8_t print = 0;
  if (const int32_t result = Poll(kPrintStatus, print); result != kOk) return result;
  if (print & kNoPaper) return kPaperOut;

  // The LUNO models are not asked for the memory status while a printout is followed:
  // a document merely waiting there must not keep the poll going.
  const bool skipMemory =
      onStopped == OnStopped::Resume && (deviceType == 7 || deviceType == 8) && mode != 1;

  for (;;) {
    if (const int32_t result = Poll(kPrintStatus, print); result != kOk) return result;
    if (print & kNoController) return kNoControllerLink;
    if (print & kNoPaper) return kPaperOut;
    if (print & kFailure) return kPrinterFailure;

    uint8_t memory = 0;
    if (!skipMemory) {
      if (const int32_t result = Poll(kMemoryStatus, memory); result != kOk) return result;
    }

    if (const int32_t result = Poll(kPrintStatus, print); result != kOk) return result;
    if (print & kFailure) return kPrinterFailure;
    if (print & kNoController) return kNoControllerLink;
    if (print & kNoPaper) return kPaperOut;

    const bool waiting = (memory & kDocumentWaiting) != 0;
    const bool busy = (print & kPrinting) != 0;
    const bool stopped = (print & kStoppedForPaper) != 0;

    if (!waiting && !busy && !stopped) return kOk;

    // Printing, or (when following) a document still to come: keep watching. The paper
    // bit was tested just above, so only the extra read can bring news of it.
    if (!stopped && (busy || mode == 0)) {
      if (const int32_t result = Poll(kPrintStatus, print); result != kOk) return result;
      if (print & kNoPaper) return kPaperOut;
      continue;
    }

    // Stopped for paper that is back, or a document waiting before a new printout: the
    // printer needs to be told to go on.
    if ((stopped && busy) || (waiting && !busy && !stopped && mode == 1)) {
      if (onStopped == OnStopped::Resume) return PrintResume();
    }
    // Anything else ("001", "101") changes on its own: poll again.
  }
}

}  // namespace

int32_t PrintControlNoResume(int32_t mode) {
  return Supervise(mode, DeviceType, OnStopped::KeepWaiting);
}

}  // namespace kestradr

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL PrintControl(int32_t Mode, uint8_t DeviceType) {
  return kestradr::Guarded([&]() -> int32_t {
    return kestradr::Supervise(Mode, DeviceType, kestradr::OnStopped::Resume);
  });
}

using namespace kestradr;

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL PrintResume(void) {
  return Guarded([&]() -> int32_t {
    static const std::string caption = Cp1250("Wznawianie wydruku...");
    ShowCentreMessage(caption);
    if (const int32_t result = Prologue(false, true); result != kOk) return result;
    uint8_t print = 0;
    if (const int32_t result = ReadStatusByte(kPrintStatus, print); result != kOk) return result;
    if (print & kNoPaper) return kPaperOut;
    Block reply{};
    if (const uint8_t result = SendSequence(kResumePrinting, 1, reply); result != kOk)
      return result;
    return PrintControlNoResume(0);
  });
}
