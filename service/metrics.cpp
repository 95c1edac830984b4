#include "metrics.hpp"

#include <sstream>

namespace tauravatd {
namespace {

// A label value as the text format wants it: backslash, quote and line feed escaped.
std::string Label(const std::string& value) {
  std::string out;
  for (const char c : value) {
    if (c == '\\' || c == '"') out.push_back('\\');
    if (c == '\n') {
      out += "\\n";
      continue;
    }
    out.push_back(c);
  }
  return out;
}

void Header(std::ostringstream& out, const char* name, const char* type, const char* help) {
  out << "# HELP " << name << ' ' << help << "\n# TYPE " << name << ' ' << type << '\n';
}

}  // namespace

void Metrics::ReceiptFinished(const std::string& printer, ReceiptState outcome, double seconds) {
  std::lock_guard lock(mutex_);
  ++receipts_[{printer, std::string(StateName(outcome))}];
  Timing& timing = timing_[printer];
  for (size_t i = 0; i < kReceiptBuckets.size(); ++i) {
    if (seconds <= kReceiptBuckets[i]) ++timing.buckets[i];
  }
  ++timing.count;
  timing.sum += seconds;
}

void Metrics::ReceiptSettled(const std::string& printer, ReceiptState outcome) {
  std::lock_guard lock(mutex_);
  ++receipts_[{printer, std::string(StateName(outcome))}];
}

void Metrics::CodeSeen(const std::string& printer, int32_t code, const std::string& codeName) {
  std::lock_guard lock(mutex_);
  auto& seen = codes_[{printer, code}];
  seen.first = codeName;
  ++seen.second;
}

std::string Metrics::Render(const std::vector<PrinterGauge>& printers) const {
  std::lock_guard lock(mutex_);
  std::ostringstream out;
  Header(out, "tauravatd_receipts_total", "counter", "Receipts by printer and outcome.");
  for (const auto& [key, count] : receipts_) {
    out << "tauravatd_receipts_total{printer=\"" << Label(key.first) << "\",outcome=\""
        << key.second << "\"} " << count << '\n';
  }
  Header(out, "tauravatd_driver_codes_total", "counter",
         "Driver result codes other than 0, by printer and code.");
  for (const auto& [key, seen] : codes_) {
    out << "tauravatd_driver_codes_total{printer=\"" << Label(key.first) << "\",code=\""
        << key.second << "\",name=\"" << Label(seen.first) << "\"} " << seen.second << '\n';
  }
  Header(out, "tauravatd_receipt_seconds", "histogram",
         "Time from the start of printing to the outcome of a receipt.");
  for (const auto& [printer, timing] : timing_) {
    const std::string label = "printer=\"" + Label(printer) + "\"";
    for (size_t i = 0; i < kReceiptBuckets.size(); ++i) {
      out << "tauravatd_receipt_seconds_bucket{" << label << ",le=\"" << kReceiptBuckets[i]
          << "\"} " << timing.buckets[i] << '\n';
    }
    out << "tauravatd_receipt_seconds_bucket{" << label << ",le=\"+Inf\"} " << timing.count << '\n';
    out << "tauravatd_receipt_seconds_sum{" << label << "} " << timing.sum << '\n';
    out << "tauravatd_receipt_seconds_count{" << label << "} " << timing.count << '\n';
  }
  Header(out, "tauravatd_queue_length", "gauge", "Requests waiting for each printer.");
  for (const PrinterGauge& gauge : printers) {
    out << "tauravatd_queue_length{printer=\"" << Label(gauge.printer) << "\"} "
        << gauge.queueLength << '\n';
  }
  Header(out, "tauravatd_printer_connected", "gauge",
         "1 while the printer's port is open and the printer answers.");
  for (const PrinterGauge& gauge : printers) {
    out << "tauravatd_printer_connected{printer=\"" << Label(gauge.printer) << "\"} "
        << (gauge.connected ? 1 : 0) << '\n';
  }
  Header(out, "tauravatd_printer_stalled", "gauge",
         "1 while the printer's worker has made no progress for longer than stall_after_ms.");
  for (const PrinterGauge& gauge : printers) {
    out << "tauravatd_printer_stalled{printer=\"" << Label(gauge.printer) << "\"} "
        << (gauge.stalled ? 1 : 0) << '\n';
  }
  return out.str();
}

}  // namespace tauravatd
