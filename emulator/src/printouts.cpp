#include "printouts.hpp"

#include <cstdio>

#include "kestra/emu/cp852.hpp"

namespace kestra::emu::printout {
namespace {

// Tax included in a gross amount at a rate in hundredths of a percent.
int64_t TaxOf(int64_t gross, uint16_t rate) {
  if (rate == TAURAVAT_RATE_RESERVED || rate == TAURAVAT_RATE_EXEMPT || rate == 0) return 0;
  const int64_t n = gross * rate;
  const int64_t d = 10000 + rate;
  return (2 * n + d) / (2 * d);
}

void AppendRateSums(Lines& out, const RateAmounts& sales, const RateTable& rates) {
  int64_t tax = 0;
  for (int i = 0; i < kRateSlots; ++i) {
    const auto at = static_cast<std::size_t>(i);
    if (sales[at] == 0) continue;
    const std::string letter(1, Letter(i));
    if (rates[at] == TAURAVAT_RATE_EXEMPT) {
      out.push_back(Columns("SPRZEDAŻ ZWOLNIONA " + letter, Money(sales[at])));
      continue;
    }
    out.push_back(Columns("SPRZEDAŻ OPODATK. " + letter, Money(sales[at])));
    out.push_back(
        Columns("PTU " + letter + " " + RateText(rates[at]), Money(TaxOf(sales[at], rates[at]))));
    tax += TaxOf(sales[at], rates[at]);
  }
  out.push_back(Columns("SUMA PTU", Money(tax)));
}

}  // namespace

std::string Money(int64_t grosz) {
  const bool negative = grosz < 0;
  const int64_t a = negative ? -grosz : grosz;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%s%lld.%02lld", negative ? "-" : "",
                static_cast<long long>(a / 100), static_cast<long long>(a % 100));
  return buf;
}

std::string Columns(std::string_view left, std::string_view right) {
  const std::size_t used = Utf8Length(left) + Utf8Length(right);
  std::string line(left);
  line.append(used < kWidth ? kWidth - used : 1, ' ');
  line += right;
  return line;
}

std::string Centered(std::string_view text) {
  const std::size_t len = Utf8Length(text);
  return std::string(len < kWidth ? (kWidth - len) / 2 : 0, ' ') + std::string(text);
}

std::string DateTime(std::chrono::sys_seconds when) {
  using namespace std::chrono;
  const auto day = floor<days>(when);
  const year_month_day ymd{day};
  const hh_mm_ss hms{when - day};
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02u-%02u %02d:%02d", static_cast<int>(ymd.year()),
                static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                static_cast<int>(hms.hours().count()), static_cast<int>(hms.minutes().count()));
  return buf;
}

std::string RateText(uint16_t rate) {
  if (rate == TAURAVAT_RATE_RESERVED) return "REZERWA";
  if (rate == TAURAVAT_RATE_EXEMPT) return "ZWOLNIONA";
  char buf[16];
  std::snprintf(buf, sizeof buf, "%u,%02u%%", rate / 100u, rate % 100u);
  return buf;
}

char Letter(int index) {
  return static_cast<char>('A' + index);
}

Lines ReceiptHeader(std::chrono::sys_seconds when) {
  return {Centered("KESTRA - STANOWISKO TESTOWE"), Columns(DateTime(when), ""),
          Centered("PARAGON FISKALNY"), std::string(kWidth, '-')};
}

std::string Item(const ItemLine& line) {
  const auto raw = std::span(reinterpret_cast<const uint8_t*>(line.name.data()), line.name.size());
  std::string name = Cp852ToUtf8(raw);
  while (!name.empty() && name.back() == ' ') name.pop_back();
  std::string qty = std::to_string(line.quantity);
  if (line.decimals > 0) {
    if (qty.size() <= line.decimals) qty.insert(0, line.decimals + 1 - qty.size(), '0');
    qty.insert(qty.size() - line.decimals, ",");
  }
  const int rate = RateIndexOfCode(line.rateCode);
  std::string right = qty + "x" + Money(line.price) + " " + (line.cancellation ? "-" : "") +
                      Money(line.value) + " " + std::string(1, rate >= 0 ? Letter(rate) : '?');
  if (line.cancellation) name = "STORNO " + name;
  return Columns(name, right);
}

std::string Subtotal(int64_t gross) {
  return Columns("PODSUMA", Money(gross));
}

std::string Discount(int percent) {
  return Columns("RABAT", std::to_string(percent) + "%");
}

Lines Totals(const Receipt& receipt, const RateTable& rates) {
  Lines out{std::string(kWidth, '-')};
  if (receipt.DiscountPercent() > 0) {
    out.push_back(Columns("RABAT " + std::to_string(receipt.DiscountPercent()) + "%",
                          Money(receipt.DiscountedSum() - receipt.Gross())));
  }
  AppendRateSums(out, receipt.DiscountedSales(), rates);
  out.push_back(Columns("SUMA PLN", Money(receipt.DiscountedSum())));
  return out;
}

Lines ReceiptFooter(uint32_t number, std::chrono::sys_seconds when) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "#%05u", number);
  return {Columns(buf, DateTime(when)), Centered("PARAGON FISKALNY"), ""};
}

Lines Cancelled() {
  return {Centered("*** PARAGON ANULOWANY ***"), ""};
}

Lines DailyReport(const DailyRecord& record, const RateTable& rates) {
  Lines out{Centered("RAPORT DOBOWY"), Columns("Nr raportu", std::to_string(record.number)),
            Columns("Data", DateTime(record.when))};
  AppendRateSums(out, record.sales, rates);
  int64_t sum = 0;
  for (auto v : record.sales) sum += v;
  out.push_back(Columns("SUMA SPRZEDAŻY", Money(sum)));
  out.push_back(Columns("Liczba paragonów", std::to_string(record.receipts)));
  out.push_back(Columns("Paragony anulowane", std::to_string(record.cancelled)));
  out.push_back("");
  return out;
}

Lines PeriodReport(const std::vector<DailyRecord>& records, std::string_view title,
                   std::string_view range, bool detailed, const RateTable& rates) {
  Lines out{Centered(title), Centered(range)};
  RateAmounts sum{};
  uint32_t receipts = 0;
  for (const auto& r : records) {
    if (detailed) {
      out.push_back(Columns("Raport " + std::to_string(r.number), DateTime(r.when)));
    }
    for (std::size_t i = 0; i < sum.size(); ++i) sum[i] += r.sales[i];
    receipts += r.receipts;
  }
  out.push_back(Columns("Liczba raportów", std::to_string(records.size())));
  AppendRateSums(out, sum, rates);
  out.push_back(Columns("Liczba paragonów", std::to_string(receipts)));
  out.push_back("");
  return out;
}

Lines LockedNamesReport(std::chrono::sys_seconds when) {
  return {Centered("RAPORT NAZW TOWARÓW ZABLOKOWANYCH"), Columns("Data", DateTime(when)),
          Centered("BRAK"), ""};
}

Lines StateReport(std::chrono::sys_seconds when, std::string_view model, uint8_t s94, uint8_t s95,
                  uint8_t s96, uint8_t s9B) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "94:%02X 95:%02X 96:%02X 9B:%02X", s94, s95, s96, s9B);
  return {Centered("RAPORT STANU DRUKARKI"), Columns("Data", DateTime(when)), std::string(model),
          buf, ""};
}

Lines RatesProgrammed(const RateTable& rates, int count, std::chrono::sys_seconds when) {
  Lines out{Centered("ZMIANA STAWEK PTU"), Columns("Data", DateTime(when))};
  for (int i = 0; i < count; ++i) {
    out.push_back(
        Columns(std::string("PTU ") + Letter(i), RateText(rates[static_cast<std::size_t>(i)])));
  }
  out.push_back("");
  return out;
}

}  // namespace kestra::emu::printout
