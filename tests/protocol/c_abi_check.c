/* Including the header makes the C compiler check every declaration; these calls need no
 * printer. Returns the number of checks that failed. */
#include <stddef.h>
#include <string.h>

#include "tauravat.h"

int tauravat_c_abi_check(void) {
  char text[TAURAVAT_MESSAGE_SIZE];
  int32_t free_lines = 0;
  size_t needed = 0;
  int failures = 0;
  tauravat_printer* printer = NULL;
  tauravat_options options = {sizeof(tauravat_options), 9600, 2000, NULL, NULL, 0, NULL, NULL};
  tauravat_item item = {
      sizeof(tauravat_item), TAURAVAT_ITEM_SALE, "Chleb", 1, 0, 1, 0, "szt", 450, 0, 0, 0, 0, 0};
  int64_t value = 0;
  enum tauravat_result result = TAURAVAT_E_NAK;
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
  if (tauravat_message(result, "en", text, sizeof text, &needed) != TAURAVAT_OK ||
      strcmp(text, "NAK in reply to the control sequence.") != 0 || needed != strlen(text) + 1)
    ++failures;
  if (tauravat_open(NULL, &options, &printer) != TAURAVAT_E_NULL_ARGUMENT || printer != NULL)
    ++failures;
  if (tauravat_receipt_item(NULL, &item, &value) != TAURAVAT_E_NULL_ARGUMENT) ++failures;
  if (strncmp(tauravat_version(), TAURAVAT_VERSION_STRING, sizeof TAURAVAT_VERSION_STRING) != 0)
    ++failures;
  return failures;
}
