// The screen stand-in, which records what the operator was shown and answers questions as
// the test says; and the flows on the real driver gateway in front of emulated printers.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "driver_gateway.hpp"
#include "emulated_machine.hpp"
#include "flow/printer_model.hpp"
#include "flow/program_flows.hpp"

inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}

namespace taurasw::testing {

inline constexpr uint32_t R = kReservedRateValue;
inline constexpr uint32_t Z = kExemptRateValue;

struct ShownBox {
  BoxKind kind;
  QString text;
};

class ScriptedUi : public UserInterface {
 public:
  std::deque<bool> answers;  // a question beyond them fails the test
  // What the operator does before answering a question (puts paper in, ...).
  std::function<void(const ShownBox&)> beforeAnswer;
  std::vector<ShownBox> boxes;
  std::vector<QString> centre;
  std::vector<ReadOutView> readOuts;
  int beeps = 0, dialogHidden = 0, busyDepth = 0;

  void SignalBeep() override { ++beeps; }
  void ShowCentreMessage(const QString& text) override { centre.push_back(text); }
  void HideDialog() override { ++dialogHidden; }
  void ShowReadOut(const ReadOutView& view) override { readOuts.push_back(view); }
  void SetBusy(bool busy) override {
    EXPECT_TRUE(busy || busyDepth > 0) << "busy cursor taken away more often than shown";
    busyDepth += busy ? 1 : -1;
  }
  bool MessageBox(BoxKind kind, const QString& text) override {
    boxes.push_back({kind, text});
    if (kind != BoxKind::Question && kind != BoxKind::WarningQuestion) return false;
    if (beforeAnswer) beforeAnswer(boxes.back());
    if (answers.empty()) ADD_FAILURE() << "unexpected question: " << text.toStdString();
    const bool yes = !answers.empty() && answers.front();
    if (!answers.empty()) answers.pop_front();
    return yes;
  }

  std::vector<QString> Texts(std::optional<BoxKind> kind = std::nullopt) const {
    std::vector<QString> texts;
    for (const ShownBox& box : boxes)
      if (!kind || box.kind == *kind) texts.push_back(box.text);
    return texts;
  }
  bool Centred(const QString& text) const {
    return std::find(centre.begin(), centre.end(), text) != centre.end();
  }
  void Clear() {
    boxes.clear();
    centre.clear();
    readOuts.clear();
    beeps = dialogHidden = 0;
  }
};

// The emulated model `type` holding `rates` (A..G; a model with fewer keeps the first ones),
// printing at once so that reports take no time.
inline kestra::emu::PrinterConfig Emulated(int type = 7,
                                           const RateValues& rates = {R, R, R, R, R, R, R}) {
  kestra::emu::PrinterConfig config;
  config.deviceType = type;
  std::copy(rates.begin(), rates.end(), config.rates.begin());
  config.timing = {.pollsPerLine = 0};
  return config;
}

// What the operator sees for a driver code: the driver's own text.
inline QString Says(int32_t code) {
  return DriverGateway().ErrMessage(code);
}

// The flows on the real gateway, on a machine whose ports are the emulated printers the
// test plugs in.
class FlowTest : public ::testing::Test {
 public:
  void TearDown() override { EXPECT_EQ(ui_.busyDepth, 0) << "the busy cursor was left up"; }
  // A fresh machine (no printer plugged in), gateway, screen and flows.
  void Reset() {
    flows_.reset();
    holder_.reset();
    gateway_.reset();
    machine_.reset();
    machine_ = std::make_unique<EmulatedMachine>();
    gateway_ = std::make_unique<DriverGateway>();
    ui_ = ScriptedUi();
    flows_ = std::make_unique<ProgramFlows>(*gateway_, ui_);
  }
  kestra::emu::PtyServer& Plug(kestra::emu::PrinterConfig config, uint8_t port = 1) {
    return machine_->Plug(port, std::move(config));
  }
  // Another program takes COM`port` and keeps it.
  void HoldPort(uint8_t port) {
    holder_ = std::make_unique<DriverGateway>();
    ASSERT_EQ(holder_->OpenPort(port, 9600), 0);
  }
  DialogOutcome Confirm() {
    flows_->dialog.FormActivate();
    return flows_->dialog.Button1Click();
  }
  // Confirm, expect the editor, and forget what the screen showed.
  void OpenEditor() {
    ASSERT_EQ(Confirm(), DialogOutcome::ShowEditor)
        << (ui_.boxes.empty() ? "" : ui_.boxes.back().text.toStdString());
    ui_.Clear();
  }
  void Type(int row, const QString& text) {
    flows_->editor.rows[static_cast<size_t>(row)].text = text;
  }

  std::unique_ptr<EmulatedMachine> machine_ = std::make_unique<EmulatedMachine>();
  std::unique_ptr<DriverGateway> gateway_ = std::make_unique<DriverGateway>();
  std::unique_ptr<DriverGateway> holder_;
  ScriptedUi ui_;
  std::unique_ptr<ProgramFlows> flows_ = std::make_unique<ProgramFlows>(*gateway_, ui_);
};

}  // namespace taurasw::testing
