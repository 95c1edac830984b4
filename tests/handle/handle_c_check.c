/* Compiled as C: the handle interface must be usable from plain C. Returns the number of
 * checks that failed. */
#include <string.h>

#include "tauravat.h"

int tauravat_handle_c_check(void) {
  char text[TAURAVAT_MESSAGE_SIZE];
  size_t needed = 0;
  int failures = 0;
  tauravat_printer* printer = NULL;
  tauravat_options options = {sizeof(tauravat_options), 9600, 2000, NULL, NULL};
  tauravat_item item = {sizeof(tauravat_item), TAURAVAT_ITEM_SALE, "Chleb", 1, 0, 1, 0, "szt",
                        450, 0};
  int64_t value = 0;
  enum tauravat_result result = TAURAVAT_E_NAK;

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
