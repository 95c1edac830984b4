// A LUNO (device type 7) on the scripted line, idle and ready for a receipt.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "scripted_line.hpp"

namespace kestradr::testing {

class ScriptedReceipt : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Begins a receipt through the real preconditions, then forgets the traffic.
  void Begin();
  // Sends one sale line of `value` grosz (1 × value) at `rate`; fails the test if refused.
  void Sale(int32_t rate, int32_t value, int32_t type = 1);

  // Parameters of every sequence sent with `command`.
  std::vector<std::vector<uint8_t>> Sent(uint8_t command) const;

  std::shared_ptr<ScriptedLine> line_ = std::make_shared<ScriptedLine>();
  std::unique_ptr<ScriptedPort> port_;
};

std::vector<uint8_t> Bytes(const std::string& text);
std::vector<uint8_t> Le32(int32_t value);

}  // namespace kestradr::testing
