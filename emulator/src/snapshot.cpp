// The printer's state as JSON, for tests and scripts.

#include "json_writer.hpp"
#include "kestra/emu/printer.hpp"
#include "printouts.hpp"

namespace kestra::emu {
namespace {

void Amounts(JsonWriter& json, std::string_view key, const RateAmounts& amounts) {
  json.BeginArray(key);
  for (int64_t v : amounts) json.Number(v);
  json.EndArray();
}

}  // namespace

std::string Printer::SnapshotJson() const {
  JsonWriter json;
  json.BeginObject();
  json.BeginObject("model")
      .Number("deviceType", model_.deviceType)
      .String("name", model_.name)
      .Number("version", config_.version)
      .Number("rateCount", RateCount(memory_.Format()))
      .EndObject();

  json.BeginArray("rates");
  for (uint16_t r : memory_.Rates()) json.Number(r);
  json.EndArray();
  json.BeginArray("ratesText");
  for (uint16_t r : memory_.Rates()) json.String(printout::RateText(r));
  json.EndArray();

  json.BeginObject("counters")
      .Number("receiptsSinceDailyReport", memory_.ReceiptsToday())
      .Number("cancelledSinceDailyReport", memory_.CancelledToday())
      .Number("receiptNumber", memory_.LastReceiptNumber())
      .Number("dailyReportNumber", memory_.DailyReportNumber())
      .Number("rateChanges", memory_.RateChanges())
      .EndObject();
  json.BeginObject("totals");
  Amounts(json, "day", memory_.DayTotals());
  Amounts(json, "grand", memory_.GrandTotals());
  json.EndObject();

  json.BeginObject("receipt").Bool("open", receipt_.has_value());
  if (receipt_) {
    json.Number("items", receipt_->Items())
        .Bool("totalled", receipt_->CurrentStage() == Receipt::Stage::kTotalled)
        .Number("discount", receipt_->DiscountPercent());
    Amounts(json, "sales", receipt_->Sales());
  }
  json.Bool("cancelledByPrinter", cancelledFlag_).String("lastCancelReason", lastCancelReason_);
  json.EndObject();

  const auto& st = config_.status;
  json.BeginObject("status")
      .Number("s94", MemoryStatus())
      .Number("s95", PrintStatus())
      .Number("s96", st.jumper96)
      .Number("s9B", st.mode9B)
      .Number("lock60", st.lock60)
      .Number("byte5E", st.byte5E)
      .Number("euroF5", st.euroF5)
      .EndObject();

  json.BeginObject("printing")
      .Bool("paperIn", engine_.PaperIn())
      .Bool("printing", engine_.Printing())
      .Bool("stoppedForPaper", engine_.StoppedForPaper())
      .Bool("documentWaiting", engine_.DocumentWaiting())
      .Number("queuedLines", static_cast<int64_t>(engine_.QueuedLines()))
      .Number("printedLines", static_cast<int64_t>(paper_.PrintedLines()))
      .EndObject();

  json.BeginObject("line")
      .Number("commands", static_cast<int64_t>(commands_))
      .Number("ignoredBytes", static_cast<int64_t>(ignoredBytes_))
      .Number("droppedSequences", static_cast<int64_t>(droppedSequences_))
      .Number("faultsInjected", static_cast<int64_t>(faults_.Injected()))
      .EndObject();

  json.BeginArray("drawers");
  for (uint64_t n : drawers_) json.Number(static_cast<int64_t>(n));
  json.EndArray();

  json.BeginArray("paper");
  for (const auto& line : paper_.Lines()) json.String(line);
  json.EndArray();
  json.EndObject();
  return json.Take();
}

}  // namespace kestra::emu
