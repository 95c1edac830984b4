// A scripted printer and screen: each driver call answers with the code the test sets, and
// what both were asked is recorded in order.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <memory>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

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

class ScriptedPrinter : public PrinterGateway {
 public:
  std::set<int> ports{1};
  int32_t openResult = 0, typeResult = 0, lockResult = 0, statusResult = 0;
  int32_t readResult = 0, cancelledResult = 0;
  uint8_t type = 7, lockByte = 0;
  QString name = QStringLiteral("Kestra Luno");
  StatusRead status{7, {}, false};
  RateValues rates{R, R, R, R, R, R, R};
  std::vector<uint8_t> cancelledReply{0, 0, 0, 0, 0, 0};
  std::deque<int32_t> setResults, reportResults, printResults;  // 0 once a queue runs dry

  std::vector<std::string> calls;  // "open 3 19200", "set", "report" ...
  std::vector<RateValues> written;

  std::vector<AvailablePort> AvailablePorts() override {
    std::vector<AvailablePort> available;
    for (const int port : ports)
      available.push_back({static_cast<uint8_t>(port), QStringLiteral("/dev/tty%1").arg(port)});
    return available;
  }
  void PurgePort() override {}
  int32_t OpenPort(uint8_t port, uint16_t speed) override {
    return Call("open " + std::to_string(port) + " " + std::to_string(speed), openResult);
  }
  int32_t ReadDeviceType(uint8_t& t) override {
    if (typeResult == 0) t = type;
    return typeResult;
  }
  uint8_t DeviceType() const override { return type; }
  int32_t DeviceName(QString& n) override {
    n = name;
    return 0;
  }
  int32_t ReadStatus94And96(uint8_t& first, uint8_t& second) override {
    first = 0;
    second = lockByte;
    return Call("lock", lockResult);
  }
  int32_t ReadStatusBytes(StatusRead& s) override {
    s = status;
    return statusResult;
  }
  // As the driver reads them: the model's rates, the caller's values behind them.
  int32_t ReadVAT(int32_t& count, RateValues& r) override {
    count = PrinterModel(type).rate_count;
    if (readResult == 0) std::copy_n(rates.begin(), count, r.begin());
    return Call("read", readResult);
  }
  int32_t SetVAT(int32_t&, const RateValues& r) override {
    const int32_t result = Call("set", Next(setResults));
    if (result == 0) written.push_back(rates = r);
    return result;
  }
  int32_t DailyReport(int32_t) override { return Call("report", Next(reportResults)); }
  int32_t PrintControl(int32_t) override { return Call("resume", Next(printResults)); }
  int32_t RSSequence(uint8_t command, int32_t, std::vector<uint8_t>& reply) override {
    reply = cancelledReply;
    return Call("raw " + std::to_string(command), cancelledResult);
  }
  QString ErrMessage(int32_t code) override { return QStringLiteral("kod %1").arg(code); }

  bool Called(const std::string& call) const {
    return std::find(calls.begin(), calls.end(), call) != calls.end();
  }

 private:
  int32_t Call(std::string call, int32_t result) {
    calls.push_back(std::move(call));
    return result;
  }
  static int32_t Next(std::deque<int32_t>& results) {
    if (results.empty()) return 0;
    const int32_t result = results.front();
    results.pop_front();
    return result;
  }
};

class FlowTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(ui_.busyDepth, 0) << "the busy cursor was left up"; }
  void Reset() {
    printer_ = ScriptedPrinter();
    ui_ = ScriptedUi();
    flows_ = std::make_unique<ProgramFlows>(printer_, ui_);
  }
  DialogOutcome Confirm() {
    flows_->dialog.FormActivate();
    return flows_->dialog.Button1Click();
  }
  // Confirm, expect the editor, and forget what the screen showed and the printer did.
  void OpenEditor() {
    ASSERT_EQ(Confirm(), DialogOutcome::ShowEditor) << "boxes: " << ui_.boxes.size();
    ui_.Clear();
    printer_.calls.clear();
  }
  void Type(int row, const QString& text) {
    flows_->editor.rows[static_cast<size_t>(row)].text = text;
  }

  ScriptedPrinter printer_;
  ScriptedUi ui_;
  std::unique_ptr<ProgramFlows> flows_ = std::make_unique<ProgramFlows>(printer_, ui_);
};

}  // namespace taurasw::testing
