// A LUNO on the in-process emulator line, connected and with empty payment and
// extra-line tables, ready for a receipt.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "printer.hpp"
#include "cp1250.hpp"
#include "emulator_line.hpp"
#include "tauravat.hpp"

namespace kestradr::testing {

namespace emu = kestra::emu;

// A LUNO with A 23 %, B 8 %, C reserved, D 5 %, E exempt, F 0 %, G reserved.
inline emu::PrinterConfig Luno() {
  emu::PrinterConfig config;
  config.deviceType = 7;
  config.rates = {2300, 800, emu::kReservedRate, 500, emu::kExemptRate, 0, emu::kReservedRate};
  return config;
}

class ReceiptOnEmulator : public ::testing::Test {
 protected:
  void SetUp() override {
    DefaultPrinter().ReceiptOpen = false;
    port_ = std::make_unique<EmulatorPort>(Luno());
    ASSERT_EQ(::CommunicationInit(1, 9600, 1), 0);
    ASSERT_EQ(::ErasePayments(), 0);
    ASSERT_EQ(::EraseLines(), 0);
  }
  void TearDown() override {
    ::CommunicationEnd();
    DefaultPrinter().ReceiptOpen = false;
    port_.reset();
  }

  emu::Printer& Printer() { return port_->Printer(); }
  EmulatorLine& Line() { return port_->Line(); }

  int32_t Item(int32_t typ, const char* utf8Name, int32_t rate, int32_t quantity, int32_t decimals,
               const char* unit, int32_t price) {
    int32_t value = 0;
    return ::ReceiptItem(typ, Cp1250(utf8Name), rate, 0, quantity, decimals, Cp1250(unit), price,
                         value);
  }

  std::string Selected(const std::string& selector) {
    std::string total = "none";
    EXPECT_EQ(::ReadSelTotal(selector, total), 0) << selector;
    return total;
  }

  // Paper lines in this order, each holding every "|"-separated fragment of its entry.
  void ExpectPaperInOrder(const std::vector<std::string>& entries) {
    ASSERT_EQ(::PrintControl(0, DefaultPrinter().DeviceType), 0);  // whatever is queued reaches the paper
    const auto lines = Printer().Paper().Lines();
    auto holds = [](const std::string& line, const std::string& entry) {
      for (size_t from = 0; from <= entry.size();) {
        const size_t bar = std::min(entry.find('|', from), entry.size());
        if (line.find(entry.substr(from, bar - from)) == std::string::npos) return false;
        from = bar + 1;
      }
      return true;
    };
    size_t at = 0;
    for (const auto& entry : entries) {
      while (at < lines.size() && !holds(lines[at], entry)) ++at;
      ASSERT_LT(at, lines.size()) << "missing or out of order: " << entry << "\n"
                                  << Printer().Paper().Text();
      ++at;
    }
  }

  std::unique_ptr<EmulatorPort> port_;
};

}  // namespace kestradr::testing
