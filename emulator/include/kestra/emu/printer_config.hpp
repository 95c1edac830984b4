#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "kestra/emu/faults.hpp"
#include "kestra/emu/fiscal_memory.hpp"
#include "kestra/emu/print_engine.hpp"

namespace kestra::emu {

// Status bits that the emulated printer does not drive itself; its own bits (document
// waiting, printing, paper, stopped for paper, receipt cancelled) are added on top.
struct StatusBits {
  uint8_t mode9B = 0x0B;  // maker's data, user data, fiscal mode
  uint8_t memory94 = 0;   // e.g. 0x08 daily report due, 0x10 CMOS erased
  uint8_t print95 = 0;    // e.g. 0x04 printer failure
  uint8_t jumper96 = 0;   // 0x40 service jumper
  uint8_t extra5F = 0;
  uint8_t extra50 = 0;
  uint8_t extraF3 = 0;
  uint8_t extra5D = 0;
  uint8_t lock60 = 0;  // lock reasons
  uint8_t byte5E = 0;
  uint8_t euroF5 = 0;  // 7 makes the driver refuse receipts
};

// A status byte by its name, as kestra-emu's options and control socket give it:
// "status94", "status95", "status96", "status9b", "status5f", "status50", "statusf3",
// "status5d", "lock" (0x60), "byte5e" and "euro" (0xF5); nothing for another name.
uint8_t* StatusByteNamed(StatusBits& bits, std::string_view name);
std::span<const std::string_view> StatusByteNames();

struct PrinterConfig {
  int deviceType = 7;  // a code of the model table; anything else is the unknown device
  uint8_t version = 1;
  std::optional<uint8_t> subType;   // first byte of the 0xFE answer; none: the model's own
  uint8_t unknownIdentByte = 0x33;  // what the unknown device answers to 0xFF

  RateTable rates = AllReserved();  // unprogrammed
  uint16_t receiptCounter = 0;      // receipts since the last daily report
  uint16_t cancelledCounter = 0;
  uint16_t dailyReportNumber = 0;

  StatusBits status;
  PrintTiming timing;
  bool paperIn = true;
  std::optional<int> paperEndsAfterLines;

  std::string printerNumber = "01KE";                  // two digits and a two-character code (0xD8)
  std::string uniqueNumber = "KES12345678";            // 11 characters (0x71)
  std::optional<std::chrono::sys_seconds> clockStart;  // none: the system clock at start

  // Silence after which a half-received sequence is dropped. The computer never pauses
  // inside a sequence, so a pause means the rest of it was lost.
  std::chrono::milliseconds quietReset{500};

  FaultPlan faults;
  std::size_t keptPaperLines = 5000;
};

}  // namespace kestra::emu
