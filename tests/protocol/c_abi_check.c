/* Compiled as C: the exported interface must be usable from plain C. */
#include <stddef.h>
#include <string.h>

#include "tauravat.h"

int tauravat_c_abi_check(void) {
  char text[700];
  int32_t count = 0, number = 0, free_lines = 0, value = 0;
  uint32_t a = 0, b = 0, c = 0, d = 0, e = 0, f = 0, g = 0;
  uint8_t reply[256];
  const uint8_t parameters[256] = {0};
  int failures = 0;

  if (pErrMessage(24, text) != 0 || strcmp(text, "NAK na sekwencj\xEA steruj\xB9\x63\xB9.") != 0)
    ++failures;
  if (pErrMessage(24, NULL) != 225) ++failures;
  if (pDllVersion(text) != 0 || strcmp(text, "10.00") != 0) ++failures;
  if (pDeviceName(NULL) != 225) ++failures;
  if (pCharsInArticleName("  a-b  ") != 2) ++failures;
  if (pFillLines(16, "x", &free_lines) != 215) ++failures;
  if (pFillPayment(5, "Karta", 1, 2) != 215) ++failures;
  if (ErasePayments() != 0 || EraseLines() != 0) ++failures;
  if (OpenDrawer(4) == 0) ++failures;

  /* Signatures only: these are never called here. */
  if (text[0] == 127) {
    (void)OpenPort(1, 9600, 3, 5);
    (void)ClosePort();
    (void)RSSequence(0x46, 1, 0, reply, parameters);
    (void)CommunicationInit(1, 9600, 5);
    (void)CommunicationEnd();
    (void)ReceiptConditions();
    (void)PrintResume();
    (void)PrintControl(1, 7);
    (void)ReceiptBegin();
    (void)pReceiptItem(1, "Chleb", 1, 0, 1, 0, "szt", 100, &value);
    (void)PackageItem(0, 1, 2, 3);
    (void)PrintSubtotal();
    (void)ReceiptEnd(0);
    (void)ReceiptCancel();
    (void)pReadTotal(text);
    (void)pReadSelTotal("A", text);
    (void)ReadVAT(&count, &a, &b, &c, &d, &e, &f, &g);
    (void)SetVAT(&count, a, b, c, d, e, f, g);
    (void)DailyReport(0);
    (void)LockedArticlesReport();
    (void)PeriodReport(1, 1, 1, 1, 1, 1, 2);
    (void)MonthlyReport(1, 5, 12);
    (void)NumberReport(1, 1, 2);
    (void)PrinterStatusReport();
    (void)pReadClock(text);
    (void)ReceiptNumber(&number);
    (void)DailyReportNumber(&number);
    (void)pReadUniqueNumber(text);
    (void)WriteLineFeed(3);
    (void)pDllAuthor(text);
    (void)SetCallbacks(NULL, NULL);
  }
  return failures;
}
