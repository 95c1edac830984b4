// The framing side of the printer: finding commands and their parameters in the byte
// stream, injecting faults, and time.

#include "kestra/emu/printer.hpp"

namespace kestra::emu {
namespace {

ModelInfo ConfiguredModel(const PrinterConfig& config) {
  ModelInfo model = ModelForType(config.deviceType);
  if (model.deviceType == kUnknownDeviceType) model.identByte = config.unknownIdentByte;
  return model;
}

bool CarriesOut(std::optional<FaultKind> fault) {
  return !fault || *fault == FaultKind::kGarbage || *fault == FaultKind::kDropByte ||
         *fault == FaultKind::kDelay;
}

}  // namespace

Printer::Printer(PrinterConfig config)
    : config_(std::move(config)),
      model_(ConfiguredModel(config_)),
      memory_(model_.rates, config_.rates),
      paper_(config_.keptPaperLines),
      engine_(config_.timing, paper_),
      faults_(config_.faults) {
  memory_.PresetCounters(config_.receiptCounter, config_.cancelledCounter,
                         config_.dailyReportNumber);
  engine_.SetPaper(config_.paperIn);
  if (config_.paperEndsAfterLines) engine_.PaperEndsAfter(*config_.paperEndsAfterLines);
  if (!config_.clockStart) {
    config_.clockStart = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
  }
}

void Printer::Receive(uint8_t byte, std::vector<uint8_t>& out) {
  std::chrono::milliseconds ignored{0};
  Receive(byte, out, ignored);
}

void Printer::Receive(std::span<const uint8_t> bytes, std::vector<uint8_t>& out) {
  for (uint8_t b : bytes) Receive(b, out);
}

void Printer::Receive(uint8_t byte, std::vector<uint8_t>& out,
                      std::chrono::milliseconds& holdBack) {
  quiet_ = {};
  switch (phase_) {
    case Phase::kIdle:
      if (byte == kEsc) {
        phase_ = Phase::kCommand;
      } else {
        ++ignoredBytes_;  // line noise or the tail of a sequence we gave up on
      }
      return;
    case Phase::kCommand:
      StartCommand(byte, out, holdBack);
      return;
    case Phase::kParameters:
      params_.push_back(byte);
      if (ParametersComplete()) FinishParameters(out, holdBack);
      return;
  }
}

bool Printer::ParametersComplete() const {
  if (shape_.untilLineFeed) {
    return params_.back() == kLineFeed ||
           params_.size() >= static_cast<std::size_t>(kMaxParameterBytes);
  }
  return params_.size() >= static_cast<std::size_t>(shape_.parameterBytes);
}

void Printer::StartCommand(uint8_t command, std::vector<uint8_t>& out,
                           std::chrono::milliseconds& holdBack) {
  ++commands_;
  phase_ = Phase::kIdle;
  const auto shape = LookupCommand(command);
  if (!shape) {
    out.push_back(kNak);
    return;
  }
  command_ = command;
  shape_ = *shape;
  params_.clear();
  dropFromSecondReply_ = false;
  holdSecondReply_ = false;

  auto fault = faults_.OnCommand(command);
  if (fault == FaultKind::kCancelReceipt) {
    PrinterCancelsReceipt("fault injected");
    fault.reset();
  }

  const bool known = Knows(command);
  executeParams_ = known && CarriesOut(fault);
  std::vector<uint8_t> reply;
  bool accepted = true;  // the computer will go on to send the parameters
  if (!CarriesOut(fault)) {
    if (fault == FaultKind::kNak) reply = {kNak};
    if (fault == FaultKind::kWrongFirstByte) reply = {faults_.Plan().wrongByte};
    accepted = false;
  } else if (shape_.first == FirstReply::kStatusByte) {
    reply = {StatusByte(command)};
  } else if (!known) {
    reply = {kNak};
    accepted = false;
  } else if (shape_.first == FirstReply::kAcknowledge) {
    if (auto data = Answer(command)) {
      reply.push_back(kAck);
      reply.insert(reply.end(), data->begin(), data->end());
    } else {
      reply = {kNak};
      accepted = false;
    }
  }

  if (fault == FaultKind::kDropByte) {
    if (!reply.empty()) {
      reply.pop_back();
    } else {
      dropFromSecondReply_ = true;
    }
  }
  if (fault == FaultKind::kGarbage) {
    const auto junk = faults_.Garbage();
    reply.insert(reply.end(), junk.begin(), junk.end());
  }
  if (fault == FaultKind::kDelay) {
    if (!reply.empty()) {
      holdBack = faults_.Plan().delay;
    } else {
      holdSecondReply_ = true;
    }
  }
  out.insert(out.end(), reply.begin(), reply.end());

  // Parameters of a command without a first reply follow whatever happened, since the
  // computer does not wait; they are swallowed even when the command is not carried out.
  const bool hasParameters = shape_.parameterBytes > 0 || shape_.untilLineFeed;
  const bool parametersFollow = shape_.first == FirstReply::kSilent || accepted;
  if (hasParameters && parametersFollow) {
    phase_ = Phase::kParameters;
  } else if (shape_.first != FirstReply::kStatusByte && parametersFollow) {
    FinishParameters(out, holdBack);
  }
}

void Printer::FinishParameters(std::vector<uint8_t>& out, std::chrono::milliseconds& holdBack) {
  phase_ = Phase::kIdle;
  std::vector<uint8_t> second;
  if (executeParams_) second = Execute(command_, params_);
  if (dropFromSecondReply_ && !second.empty()) second.pop_back();
  if (holdSecondReply_ && !second.empty()) holdBack = faults_.Plan().delay;
  out.insert(out.end(), second.begin(), second.end());
  params_.clear();
}

void Printer::Advance(std::chrono::milliseconds elapsed) {
  if (elapsed.count() <= 0) return;
  running_ += elapsed;
  engine_.Advance(elapsed);
  if (phase_ != Phase::kIdle) {
    quiet_ += elapsed;
    if (quiet_ >= config_.quietReset) {
      phase_ = Phase::kIdle;
      params_.clear();
      ++droppedSequences_;
    }
  }
}

std::chrono::sys_seconds Printer::Now() const {
  return *config_.clockStart + std::chrono::floor<std::chrono::seconds>(running_);
}

uint8_t Printer::MemoryStatus() const {
  uint8_t s = config_.status.memory94;
  if (engine_.DocumentWaiting()) s |= 0x02;
  return s;
}

uint8_t Printer::PrintStatus() const {
  uint8_t s = config_.status.print95;
  if (engine_.Printing()) s |= 0x01;
  if (!engine_.PaperIn()) s |= 0x02;
  if (cancelledFlag_) s |= 0x10;
  if (engine_.StoppedForPaper()) s |= 0x40;
  return s;
}

uint64_t Printer::DrawerOpenings(int drawer) const {
  if (drawer < 1 || drawer > 3) return 0;
  return drawers_[static_cast<std::size_t>(drawer - 1)];
}

bool Printer::Knows(uint8_t command) const {
  const auto& m = model_;
  switch (command) {
    case cmd::kSubType:
      return m.defaultSubType.has_value();
    case cmd::kReadRates7:
    case cmd::kWriteRates7:
      return m.rates == RateFormat::kSevenRates;
    case cmd::kReadRates6:
    case cmd::kWriteRates6:
      return m.rates == RateFormat::kSixRates;
    case cmd::kReadRates4:
    case cmd::kWriteRates4:
      return m.rates == RateFormat::kFourRates;
    case cmd::kClockWithSeconds:
      return m.clockWithSeconds;
    case cmd::kPackage:
    case cmd::kSubtotal:
    case cmd::kPaymentFirst:
    case cmd::kPaymentSecond:
      return m.receiptExtras;
    case cmd::kRateTotals:
      return m.rateTotals;
    case cmd::kPeriodicReport:
      return m.periodicReportByNumber;
    case cmd::kStatus5:
    case cmd::kStatus6:
      return m.extendedStatus;
    case cmd::kStatus7:
      return m.seventhStatus;
    case cmd::kStatus8:
      return m.eighthStatus;
    case cmd::kEuro:
      return m.lockAndEuro;
    case cmd::kCounters:
      return m.counters;
    default:
      return LookupCommand(command).has_value();
  }
}

}  // namespace kestra::emu
