// One whole scenario against the emulated printer on a pseudo-terminal, for valgrind's
// leak check: "receipt" (connect, a receipt with items, a package, payments and extra
// lines, end, totals, disconnect) or "rates" (connect, daily report, rates written and
// read back, disconnect). Exits non-zero when any step answers other than expected.
#include <stdlib.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "kestra/emu/pty_server.hpp"
#include "tauravat.hpp"

namespace {

int failures = 0;

void Expect(const char* step, int32_t got, int32_t want) {
  if (got == want) return;
  std::fprintf(stderr, "%s: %d, expected %d\n", step, got, want);
  ++failures;
}

void Receipt() {
  int32_t free = 0, value = 0;
  Expect("FillPayment", ::FillPayment(1, "Gotowka", 2000, 0), 0);
  Expect("FillLines", ::FillLines(0, "Dziekujemy za zakupy", free), 0);
  Expect("ReceiptBegin", ::ReceiptBegin(), 0);
  for (int i = 0; i < 5; ++i) {
    value = 0;
    Expect("ReceiptItem",
           ::ReceiptItem(1, "Chleb zytni krojony", 1 + i % 2, 0, 1, 0, "szt", 450, value), 0);
  }
  Expect("PackageItem", ::PackageItem(0, 2, 50, 100), 0);
  Expect("PrintSubtotal", ::PrintSubtotal(), 0);
  Expect("ReceiptEnd", ::ReceiptEnd(0), 0);
  std::string total;
  Expect("ReadTotal", ::ReadTotal(total), 0);
  char buffer[32];
  Expect("pReadSelTotal", ::pReadSelTotal("+", buffer), 0);
}

void Rates() {
  Expect("DailyReport", ::DailyReport(0), 0);
  int32_t count = 0;
  Expect("SetVAT", ::SetVAT(&count, 2300, 800, 500, 0, 10000, 25500, 25500), 0);
  uint32_t r[7] = {};
  Expect("ReadVAT", ::ReadVAT(&count, &r[0], &r[1], &r[2], &r[3], &r[4], &r[5], &r[6]), 0);
  Expect("rate A", static_cast<int32_t>(r[0]), 2300);
}

}  // namespace

int main(int argc, char** argv) {
  const bool receipt = argc > 1 && std::strcmp(argv[1], "receipt") == 0;
  const bool rates = argc > 1 && std::strcmp(argv[1], "rates") == 0;
  if (!receipt && !rates) {
    std::fprintf(stderr, "usage: %s receipt|rates\n", argv[0]);
    return 2;
  }
  kestra::emu::PrinterConfig config;
  config.deviceType = 7;
  config.rates = {2300,
                  800,
                  kestra::emu::kReservedRate,
                  500,
                  kestra::emu::kExemptRate,
                  0,
                  kestra::emu::kReservedRate};
  config.receiptCounter = rates ? 1 : 0;
  kestra::emu::PtyServer server(config);
  server.Start();
  ::setenv("TAURAVAT_COM9", server.SlavePath().c_str(), 1);

  Expect("CommunicationInit", ::CommunicationInit(9, 9600, 2), 0);
  if (receipt) Receipt();
  if (rates) Rates();
  Expect("CommunicationEnd", ::CommunicationEnd(), 0);
  server.Stop();
  return failures == 0 ? 0 : 1;
}
