/* Compiled as C: the exported interface must be usable from plain C. Including the header
 * here already makes the C compiler check every declaration; these calls need no printer. */
#include <stddef.h>
#include <string.h>

#include "tauravat.h"

int tauravat_c_abi_check(void) {
  char text[700];
  int32_t free_lines = 0;
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

  return failures;
}
