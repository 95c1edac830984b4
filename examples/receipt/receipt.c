/* Prints one receipt through libtauravat's handle interface: two items, a discount-free
 * end, then the receipt's number. Every failure is told with the driver's English text.
 *
 *   receipt DEVICE        for example /dev/ttyUSB0, /dev/kestra-printer or COM1
 *
 * Build it with CMake (CMakeLists.txt: find_package(tauravat)) or with pkg-config
 * (Makefile: pkg-config --cflags --libs tauravat). docs/receipts.md tells what each answer
 * of tauravat_receipt_end means. */
#include <stdio.h>
#include <string.h>
#include <tauravat.h>

static int fail(const char* what, int32_t code) {
  char text[TAURAVAT_MESSAGE_SIZE];
  if (tauravat_message(code, "en", text, sizeof text, NULL) != TAURAVAT_OK) text[0] = '\0';
  const char* name = tauravat_code_name(code);
  fprintf(stderr, "%s: %s (%d): %s\n", what, name ? name : "?", (int)code, text);
  int32_t os_error = 0;
  char os_text[256];
  if (tauravat_last_os_error(&os_error, os_text, sizeof os_text, NULL) == TAURAVAT_OK &&
      os_error != 0)
    fprintf(stderr, "  the system said: %s (%d)\n", os_text, (int)os_error);
  return 1;
}

/* Sends one sold item: `price` grosz for each, `quantity` whole pieces, tax rate A. */
static int32_t sell(tauravat_printer* printer, const char* name, int64_t quantity, int64_t price) {
  tauravat_item item;
  memset(&item, 0, sizeof item);
  item.size = sizeof item;
  item.kind = TAURAVAT_ITEM_SALE;
  item.name = name;
  item.rate = 1;
  item.quantity = quantity;
  item.unit = "szt";
  item.price = price;
  return tauravat_receipt_item(printer, &item, NULL);
}

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: %s DEVICE\n", argv[0]);
    return 2;
  }
  tauravat_options options;
  memset(&options, 0, sizeof options);
  options.size = sizeof options;
  options.baud = 9600;
  options.timeout_ms = 2000;

  tauravat_printer* printer = NULL;
  int32_t code = tauravat_open(argv[1], &options, &printer);
  if (code != TAURAVAT_OK) return fail(argv[1], code);

  code = tauravat_receipt_begin(printer);
  if (code == TAURAVAT_OK) code = sell(printer, "Chleb żytni", 1, 499);
  if (code == TAURAVAT_OK) code = sell(printer, "Masło 200 g", 2, 789);
  if (code != TAURAVAT_OK) {
    /* Nothing is printed yet: the receipt is cancelled. */
    tauravat_receipt_cancel(printer);
    tauravat_close(printer);
    return fail("receipt", code);
  }
  /* After a failed end the receipt may have printed: asking again tells, and never
   * prints it twice. */
  for (int attempt = 0; attempt < 3; ++attempt) {
    code = tauravat_receipt_end(printer, 0);
    if (code == TAURAVAT_OK || code == TAURAVAT_E_RECEIPT_CANCELLED) break;
  }
  if (code != TAURAVAT_OK) {
    tauravat_close(printer);
    return fail("end of the receipt", code);
  }
  int32_t number = 0;
  code = tauravat_receipt_number(printer, &number);
  tauravat_close(printer);
  if (code != TAURAVAT_OK) return fail("receipt number", code);
  printf("printed receipt %d\n", (int)number);
  return 0;
}
