// One day on the emulated printer over a pseudo-terminal, for valgrind's leak check
// (scripts/valgrind.sh); exits non-zero when a step answers other than expected.
#include <stdlib.h>

#include <cstdio>
#include <string>

#include "kestra/emu/pty_server.hpp"
#include "luno.hpp"
#include "tauravat.hpp"

static int failures = 0;

static void Expect(const char* step, int32_t got, int32_t want = 0) {
  if (got != want) ++failures, std::fprintf(stderr, "%s: %d, expected %d\n", step, got, want);
}

int main() {
  kestra::emu::PtyServer server(Luno());
  server.Start();
  ::setenv("TAURAVAT_COM9", server.SlavePath().c_str(), 1);
  Expect("CommunicationInit", ::CommunicationInit(9, 9600, 2));
  int32_t count = 0, value = 0;
  Expect("FillPayment", ::FillPayment(1, "Gotowka", 2000, 0));
  Expect("FillLines", ::FillLines(0, "Dziekujemy za zakupy", count));
  Expect("ReceiptBegin", ::ReceiptBegin());
  for (int i = 0; i < 5; ++i, value = 0)
    Expect("ReceiptItem", ::ReceiptItem(1, "Chleb", 1 + i % 2, 0, 1, 0, "szt", 450, value));
  Expect("PackageItem", ::PackageItem(0, 2, 50, 100));
  Expect("PrintSubtotal", ::PrintSubtotal());
  Expect("ReceiptEnd", ::ReceiptEnd(0));
  std::string total;
  Expect("ReadTotal", ::ReadTotal(total));
  char buffer[32];
  Expect("pReadSelTotal", ::pReadSelTotal("+", buffer));
  Expect("DailyReport", ::DailyReport(0));
  Expect("SetVAT", ::SetVAT(&count, 2300, 800, 500, 0, 10000, 25500, 25500));
  uint32_t r[7] = {};
  Expect("ReadVAT", ::ReadVAT(&count, &r[0], &r[1], &r[2], &r[3], &r[4], &r[5], &r[6]));
  Expect("rate A", static_cast<int32_t>(r[0]), 2300);
  Expect("CommunicationEnd", ::CommunicationEnd());
  server.Stop();
  return failures == 0 ? 0 : 1;
}
