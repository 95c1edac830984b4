// The driver on a scripted printer of a chosen device type (idle and fiscal) or on the
// printer emulator; shared by the driver's and the receipt's suites.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "cp1250.hpp"
#include "emulator_line.hpp"
#include "printer.hpp"
#include "printer_internals.hpp"
#include "scripted_line.hpp"

namespace kestradr::testing {

namespace emu = kestra::emu;

// Scripts the identification answers (0xFF, 0xFE) of a device type.
void ScriptIdentity(ScriptedLine& line, int type, uint8_t version = 1);

// Every port the driver opens, with the time-outs it was opened with (milliseconds).
struct PortOpening {
  int port = 0;
  uint32_t readTimeoutMs = 0, writeTimeoutMs = 0;
  bool operator==(const PortOpening&) const = default;
  friend void PrintTo(const PortOpening& o, std::ostream* out) {
    *out << o.port << ":" << o.readTimeoutMs << "/" << o.writeTimeoutMs;
  }
};

class ScriptedDriver : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Connects through CommunicationInit to a printer of `type`, then forgets the traffic.
  void Connect(int type, uint8_t version = 1, uint8_t port = 1);
  // Parameters of every sequence sent with `command`.
  using Sequences = std::vector<std::vector<uint8_t>>;
  Sequences Sent(uint8_t command) const;
  bool WasSent(uint8_t command) const { return !Sent(command).empty(); }
  std::vector<PortOpening> Openings() const { return *openings_; }
  std::shared_ptr<ScriptedLine> line_ = std::make_shared<ScriptedLine>();
  std::shared_ptr<std::vector<PortOpening>> openings_ =
      std::make_shared<std::vector<PortOpening>>();
};

// The driver on the in-process emulator line; each Start connects to a fresh printer.
class OnEmulator : public ::testing::Test {
 protected:
  void SetUp() override { PrinterInternals(DefaultPrinter()).ReceiptOpen() = false; }
  void TearDown() override;
  void Start(emu::PrinterConfig config);
  emu::Printer& Printer() { return port_->Printer(); }
  EmulatorLine& Line() { return port_->Line(); }
  size_t PrintedLines() { return Printer().Paper().PrintedLines(); }
  std::unique_ptr<EmulatorPort> port_;
};

// The progress texts the driver showed, in order (code page 1250).
std::vector<std::string>& Captions();

std::vector<uint8_t> Bytes(const std::string& text);
std::vector<uint8_t> Le32(int32_t value);

}  // namespace kestradr::testing
