/*
 * tauravat - driver for KESTRA fiscal printers (TAURA, LUNO, RX820 families).
 *
 * C interface of libtauravat, in two parts:
 *
 *  - the handle interface (tauravat_*), for new programs: one tauravat_printer per
 *    connection, opened by device path, UTF-8 text, sized output buffers, 64-bit money,
 *    named result codes with Polish and English messages, safe from several threads;
 *  - the legacy interface (CommunicationInit, ReceiptItem, ...), kept exactly as it has
 *    always behaved: one connection per process, code page 1250 text, output buffers of
 *    unknown size (622 bytes covers every text), one thread at a time.
 *
 * Both return a result code: 0 (TAURAVAT_OK) is success, anything else an error named in
 * enum tauravat_result and explained by tauravat_message() or pErrMessage().
 */
#ifndef TAURAVAT_H
#define TAURAVAT_H

#include <stddef.h>
#include <stdint.h>

#include "tauravat_version.h"

#if defined(_WIN32) && !defined(_WIN64)
#define TAURAVAT_CALL __stdcall
#else
#define TAURAVAT_CALL
#endif

#if defined(_WIN32)
#if defined(TAURAVAT_BUILDING)
#define TAURAVAT_API __declspec(dllexport)
#else
#define TAURAVAT_API __declspec(dllimport)
#endif
#else
#define TAURAVAT_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ==== The handle interface ===================================================== *
 *
 * Conventions for every tauravat_* function:
 *  - The result is a tauravat_result code. TAURAVAT_E_NULL_ARGUMENT answers a null
 *    handle or a null pointer the function needs, before anything else happens.
 *  - Text in and out is UTF-8. Text going to the printer must be printable by it (Polish
 *    and most other Central European letters: see "Models and checks"); a character it
 *    cannot print is refused with TAURAVAT_E_PARAMETER_RANGE before anything is sent.
 *  - Text out goes into (text, size): the function writes the text and its terminating
 *    NUL and sets *needed (optional: may be NULL) to the bytes that takes, NUL included.
 *    When size is smaller it answers TAURAVAT_E_BUFFER_TOO_SMALL, sets *needed and writes
 *    only a NUL at text[0] (nothing at all when size is 0; text may then be NULL). The
 *    TAURAVAT_*_SIZE constants below always suffice.
 *  - Money is int64_t grosz (hundredths of a zloty); a quantity is an int64_t count of
 *    10^-decimals units with its decimals (0..4) beside it; tax rates are hundredths of a
 *    percent (2300 = 23 %), TAURAVAT_RATE_RESERVED and TAURAVAT_RATE_EXEMPT marking a rate
 *    not in use and the exempt rate.
 *  - "Printer: yes" means the function talks to the printer. If the connection was lost
 *    (a failed reconnection), it first reconnects and identifies the printer. "Receipt:
 *    refused" means it answers TAURAVAT_E_RECEIPT_OPEN while a receipt is begun; "needed"
 *    that it answers TAURAVAT_E_RECEIPT_NOT_OPEN without one. Any function may also answer
 *    the port codes (90..95) when it reconnects, the exchange codes (TAURAVAT_E_SEND_TIMEOUT, _RECEIVE_TIMEOUT, _BAD_REPLY, _NAK, the
 *    printer's refusals) and TAURAVAT_E_INTERNAL. One that follows a printout (opening,
 *    receipt end and cancel, reports, rates, receipt conditions) may answer 110 to 112
 *    when the handle's print_limit_ms runs out before the printout ends.
 *  - Threads: different handles work in parallel. Calls on one handle from several threads
 *    are taken one at a time. A progress call-back runs inside the call that reports; it
 *    must not call the driver with the same handle (TAURAVAT_E_REENTERED).
 *  - All functions and call-backs use TAURAVAT_CALL (stdcall on 32-bit Windows, the
 *    platform's C convention elsewhere).
 */

/* Result codes. The numbers are those of the legacy interface; 90 to 95 and 242 to 245
 * are returned by the handle interface only. */
enum tauravat_result {
  TAURAVAT_OK = 0,
  TAURAVAT_E_PORT_IN_USE = 5,            /* port held by another program or handle */
  TAURAVAT_E_SEND_TIMEOUT = 20,          /* a byte could not be written to the printer */
  TAURAVAT_E_RECEIVE_TIMEOUT = 21,       /* the printer's answer did not arrive */
  TAURAVAT_E_BAD_REPLY = 23,             /* the answer was neither ACK nor a known refusal */
  TAURAVAT_E_NAK = 24,                   /* the printer refused the command */
  TAURAVAT_E_REFUSED = 26,               /* the printer answered 200 instead of ACK */
  /* The port would not open or set up. tauravat_last_os_error() gives the system's error
   * number and text behind each. */
  TAURAVAT_E_PORT_NOT_FOUND = 90,        /* no device at that path, or none for COM<n> */
  TAURAVAT_E_PORT_PERMISSION = 91,       /* this user may not open it (Linux: the group
                                            owning the device, usually dialout) */
  TAURAVAT_E_PORT_BUSY = 92,             /* another program or handle holds the port */
  TAURAVAT_E_NOT_A_SERIAL_PORT = 93,     /* a directory, a file, a device of another kind */
  TAURAVAT_E_PORT_VANISHED = 94,         /* the port a handle had open is gone (a USB
                                            adapter unplugged) when it reconnects */
  TAURAVAT_E_PORT_FAILED = 95,           /* another failure: see the system's error */
  TAURAVAT_E_NOT_INITIALISED = 99,
  TAURAVAT_E_NO_MAKER_DATA = 100,
  TAURAVAT_E_SERVICE_JUMPER = 101,
  TAURAVAT_E_NO_CONTROLLER_LINK = 102,
  TAURAVAT_E_PRINTER_FAILURE = 103,
  TAURAVAT_E_NO_USER_DATA = 104,
  TAURAVAT_E_FISCAL_READ_ONLY = 105,
  TAURAVAT_E_NO_CUSTOMER_DISPLAY = 106,
  TAURAVAT_E_CMOS_ERASED = 107,
  TAURAVAT_E_DAILY_REPORT_DUE = 108,
  TAURAVAT_E_PAPER_OUT = 109,            /* recoverable: load paper, then print_control */
  TAURAVAT_E_DOCUMENT_IN_MEMORY = 110,
  TAURAVAT_E_CHARS_IN_PRINT_BUFFER = 111,
  TAURAVAT_E_STOPPED_FOR_PAPER = 112,
  TAURAVAT_E_NO_TAX_RATES = 113,
  TAURAVAT_E_NO_PORT = 114,
  TAURAVAT_E_RECEIPT_OPEN = 200,
  TAURAVAT_E_RECEIPT_NOT_OPEN = 201,
  TAURAVAT_E_NAME_TOO_SHORT = 202,
  TAURAVAT_E_RATE_RANGE = 203,
  TAURAVAT_E_MESSAGE_RANGE = 204,
  TAURAVAT_E_QUANTITY_RANGE = 205,
  TAURAVAT_E_DECIMALS_RANGE = 206,
  TAURAVAT_E_UNIT_RANGE = 207,
  TAURAVAT_E_PRICE_RANGE = 208,
  TAURAVAT_E_VALUE_MISMATCH = 209,
  TAURAVAT_E_RECEIPT_CANCELLED = 210,    /* the printer cancelled the receipt itself */
  TAURAVAT_E_NO_SALES_SINCE_REPORT = 211,
  TAURAVAT_E_DRAWER_RANGE = 212,
  TAURAVAT_E_COMMAND_UNAVAILABLE = 213,
  TAURAVAT_E_PACKAGE_KIND_RANGE = 214,
  TAURAVAT_E_PARAMETER_RANGE = 215,
  TAURAVAT_E_NO_FREE_LINES = 216,
  TAURAVAT_E_RATES_NOT_WRITTEN = 217,
  TAURAVAT_E_RECEIPT_COUNTER_NOT_ZERO = 218,
  TAURAVAT_E_BAD_REPORT_DATES = 219,
  TAURAVAT_E_NO_REPORTS_IN_PERIOD = 220,
  TAURAVAT_E_BAD_REPORT_NUMBERS = 221,
  TAURAVAT_E_MONTH_NOT_FINISHED = 222,
  TAURAVAT_E_PARAMETER_N_RANGE = 223,
  TAURAVAT_E_UNSUPPORTED_COMMAND = 224,
  TAURAVAT_E_EMPTY_BUFFER = 225,
  TAURAVAT_E_RATE_UNDEFINED = 226,
  TAURAVAT_E_LINE_VALUE_TOO_LARGE = 227,
  TAURAVAT_E_TRAINING_MODE = 228,
  TAURAVAT_E_USER_DATA_NOT_SAVED = 229,
  TAURAVAT_E_CMOS_NOT_ERASED = 230,
  TAURAVAT_E_SERVICE_JUMPER_NORMAL = 231,
  TAURAVAT_E_CRC = 232,
  TAURAVAT_E_DATA_ORDER = 233,
  TAURAVAT_E_DATA_REPEATED = 234,
  TAURAVAT_E_DATA_NOT_REPORTED = 235,
  TAURAVAT_E_CONTROLLER_UNIDENTIFIED = 236,
  TAURAVAT_E_EURO_CHANGEOVER_DUE = 237,
  TAURAVAT_E_NO_DISPLAY_DATA = 238,
  TAURAVAT_E_CLOCK_ALREADY_SET = 239,
  TAURAVAT_E_BAD_SIGNATURE = 240,
  TAURAVAT_E_FISCAL_MEMORY_MISMATCH = 241,
  TAURAVAT_E_BUFFER_TOO_SMALL = 242,     /* *needed tells the size that suffices */
  TAURAVAT_E_NULL_ARGUMENT = 243,        /* a null handle or a required null pointer */
  TAURAVAT_E_REENTERED = 244,            /* called from its own progress call-back */
  TAURAVAT_E_STOPPED = 245,              /* a sale stopped by its step call-back */
  TAURAVAT_E_INTERNAL = 999
};
/* The handle interface never answers a bare operating-system number: a port that would not
 * open is one of 90 to 95. TAURAVAT_E_PORT_IN_USE (5) is the legacy interface's. */

/* Output buffer sizes that always suffice, NUL included. */
#define TAURAVAT_MESSAGE_SIZE 700
#define TAURAVAT_DEVICE_NAME_SIZE 40
#define TAURAVAT_CLOCK_SIZE 20
#define TAURAVAT_UNIQUE_NUMBER_SIZE 36
#define TAURAVAT_PRINTER_CODE_SIZE 8

#define TAURAVAT_RATE_RESERVED 25500u
#define TAURAVAT_RATE_EXEMPT 10000u

/* ---- Library ---------------------------------------------------------------- */

/* The library's version, "MAJOR.MINOR.PATCH"; compare it with the TAURAVAT_VERSION_*
 * macros of the header a program was compiled with. Never NULL, static storage. */
TAURAVAT_API const char* TAURAVAT_CALL tauravat_version(void);

/* The text of result code `code` in `language` ("pl" Polish or "en" English), UTF-8,
 * lines separated by "\n". 0 has an empty text; a code without a text of its own gets
 * "Nieznany błąd (prawdopodobnie systemowy)" / "Unknown error (probably a system error)".
 * Returns TAURAVAT_OK, TAURAVAT_E_BUFFER_TOO_SMALL, TAURAVAT_E_NULL_ARGUMENT (null
 * language) or TAURAVAT_E_PARAMETER_RANGE (another language). Printer: no. */
TAURAVAT_API int32_t TAURAVAT_CALL tauravat_message(int32_t code, const char* language,
                                                    char* text, size_t size, size_t* needed);

/* The name of result code `code` as enum tauravat_result spells it ("TAURAVAT_E_NAK",
 * "TAURAVAT_OK"), or NULL for a number the enum does not name. Static storage.
 * Printer: no. */
TAURAVAT_API const char* TAURAVAT_CALL tauravat_code_name(int32_t code);

/* The operating system's error behind the last port code (TAURAVAT_E_PORT_NOT_FOUND ..
 * TAURAVAT_E_PORT_FAILED) answered on the calling thread: *error_number (optional: may be
 * NULL) is the system's number (errno on POSIX, GetLastError() on Windows), `text` the
 * system's text for it. Thread-local, since a failed open leaves no handle to ask:
 * tauravat_open, tauravat_open_port and every call carried out on a handle set it, to 0
 * and "" when they answer no port code; other functions leave it. Returns TAURAVAT_OK,
 * TAURAVAT_E_BUFFER_TOO_SMALL or TAURAVAT_E_NULL_ARGUMENT. Printer: no. */
TAURAVAT_API int32_t TAURAVAT_CALL tauravat_last_os_error(int32_t* error_number, char* text,
                                                          size_t size, size_t* needed);

/* How many of the first 28 characters of article name `utf8_name` are significant (letters,
 * digits, "%", ",", ".", "/", "\"): a name needs 10, or 5 on TAURA II, LUNO and LUNO F.
 * Sets *count (0..28). Returns TAURAVAT_OK, TAURAVAT_E_NULL_ARGUMENT or
 * TAURAVAT_E_PARAMETER_RANGE (outside code page 1250). Printer: no. */
TAURAVAT_API int32_t TAURAVAT_CALL tauravat_chars_in_article_name(const char* utf8_name,
                                                                  int32_t* count);

/* The device that port name COM`number` (1..255) opens, as tauravat_open maps it: on POSIX
 * the path in the environment variable TAURAVAT_COM<number>, else /dev/ttyS0..31 for COM1..32,
 * /dev/ttyUSB0..31 for COM33..64, /dev/ttyACM0..31 for COM65..96, nothing for the others;
 * on Windows the Win32 name (\\.\Com12). The text is the system's path as it is. Returns
 * TAURAVAT_OK, TAURAVAT_E_NO_PORT when no device stands for the number,
 * TAURAVAT_E_PARAMETER_RANGE (a number outside 1..255) or TAURAVAT_E_BUFFER_TOO_SMALL.
 * Printer: no; nothing is opened. */
TAURAVAT_API int32_t TAURAVAT_CALL tauravat_port_path(int32_t number, char* text, size_t size,
                                                      size_t* needed);

/* ---- Serial ports ----------------------------------------------------------- */

/* The serial ports of this computer, found without opening any: a list that the caller
 * reads with tauravat_port_list_item and frees with tauravat_free_ports.
 *
 * On Linux: every port the kernel lists in sysfs (/sys/class/tty/<name>/device; the
 * empty slots of on-board UARTs left out), with its /dev/serial/by-id name and the USB
 * device it hangs from; then every device a COM number opens that is not one of them (a
 * pseudo-terminal, a socket:// or rfc2217:// device server named in TAURAVAT_COM<n>),
 * listed as named. The environment variables TAURAVAT_SYSFS_ROOT and TAURAVAT_DEV_ROOT,
 * when set, stand for /sys and /dev (for tests on a made-up tree). On Windows: every COM
 * port of the device namespace, without by-id names or USB ids. Ports with a COM number
 * come first, by their lowest number, then the others by path. */
typedef struct tauravat_port_list tauravat_port_list;

typedef struct tauravat_port_info {
  uint32_t size;                /* sizeof(tauravat_port_info), set by the caller */
  const char* path;             /* what tauravat_open takes: "/dev/ttyUSB0", "\\.\Com3",
                                   "rfc2217://10.0.0.5:4001" */
  const char* by_id;            /* its stable name, "/dev/serial/by-id/usb-FTDI_..."; "" */
  int32_t usb;                  /* 1: a USB device (the four fields below are its), else 0 */
  uint16_t usb_vendor_id;       /* 0x0403 */
  uint16_t usb_product_id;      /* 0x6001 */
  const char* usb_serial;       /* the device's serial number; "" when it has none */
  const char* usb_manufacturer; /* "FTDI"; "" */
  const char* usb_product;      /* "FT232R USB UART"; "" */
  const int32_t* com_numbers;   /* the COM numbers that open it (tauravat_port_path),
                                   ascending; com_count of them */
  size_t com_count;
} tauravat_port_info;

/* Lists the ports: *out is a new list (never NULL on success, perhaps empty) and *count
 * (optional: may be NULL) the number of ports in it. Text is UTF-8 and stays valid until
 * the list is freed. Returns TAURAVAT_OK or TAURAVAT_E_NULL_ARGUMENT. Printer: no. */
TAURAVAT_API int32_t TAURAVAT_CALL tauravat_list_ports(tauravat_port_list** out, size_t* count);

/* Fills *info (info->size must be set) with port `index` (0..count-1) of `list`; its
 * pointers point into the list. Returns TAURAVAT_OK, TAURAVAT_E_NULL_ARGUMENT or
 * TAURAVAT_E_PARAMETER_RANGE (an index past the end, or info->size smaller than this
 * header's). Printer: no. */
TAURAVAT_API int32_t TAURAVAT_CALL tauravat_port_list_item(const tauravat_port_list* list,
                                                           size_t index,
                                                           tauravat_port_info* info);

/* Frees a list of tauravat_list_ports (NULL is ignored). Returns TAURAVAT_OK. */
TAURAVAT_API int32_t TAURAVAT_CALL tauravat_free_ports(tauravat_port_list* list);

/* ---- Opening and closing ---------------------------------------------------- */

typedef struct tauravat_printer tauravat_printer;

typedef void(TAURAVAT_CALL* tauravat_progress_fn)(void* user, const char* utf8_text);
/* `step` is the caption's stable identifier: "read_device_type", "read_status",
 * "check_fiscal_mode", "receipt_conditions", "check_printout", "follow_printout",
 * "resume_printout", "read_rates", "write_rates", "daily_report", "locked_articles_report",
 * "printer_status_report", "period_report", "monthly_report", "read_clock",
 * "read_unique_number", "read_daily_report_number", "read_receipt_number",
 * "write_line_feed", "open_drawer"; "other" for a caption a later version adds; "" with
 * "" when the caption is cleared. */
typedef void(TAURAVAT_CALL* tauravat_step_fn)(void* user, const char* step,
                                              const char* utf8_text);
/* One byte on the line, as one line of the TAURAVAT_TRACE file without its line end:
 * microseconds since the handle opened, ">" sent or "<" received, the sequence's command
 * and the byte in hex, and " failed" for a byte that could not be written; an answer
 * that did not come reads "-- timeout". */
typedef void(TAURAVAT_CALL* tauravat_trace_fn)(void* user, const char* line);

typedef struct tauravat_options {
  uint32_t size;        /* sizeof(tauravat_options): lets the struct grow */
  uint32_t baud;        /* 9600, 19200 or 28800; 0 means 9600 */
  uint32_t timeout_ms;  /* write and read time-out of one byte; 0 means 5000 */
  tauravat_progress_fn progress; /* optional: each operation's caption ("Raport
                                  * dobowy..."), UTF-8; "" clears it */
  void* user;           /* handed to progress unchanged */
  uint32_t print_limit_ms; /* the longest one call follows a printout that does not end;
                            * then it answers TAURAVAT_E_CHARS_IN_PRINT_BUFFER (still
                            * printing), TAURAVAT_E_DOCUMENT_IN_MEMORY (a document still
                            * waiting) or TAURAVAT_E_STOPPED_FOR_PAPER. 0: until it ends */
  tauravat_step_fn step;   /* optional: each caption with its step identifier, beside
                            * progress; inside the call, on its thread, with `user` */
  tauravat_trace_fn trace; /* optional: every byte sent and received, inside the call
                            * that moves it, with `user`; the TAURAVAT_TRACE file is
                            * written as well when that is set */
} tauravat_options;

/* Opens `device`, cancels a receipt the printer may hold open, follows any printout to its
 * end and identifies the printer, then sets *out to the new handle. `device` is a path
 * (/dev/ttyUSB0, /dev/serial/by-id/..., a pseudo-terminal; on Windows a Win32 name such as
 * \\.\COM12) or a port name COM1..COM255 mapped as by the legacy OpenPort. `options` may be
 * NULL for the defaults; fields beyond options->size take their defaults too.
 * Returns TAURAVAT_OK; TAURAVAT_E_NULL_ARGUMENT (device or out); TAURAVAT_E_PARAMETER_RANGE
 * (an empty device, baud not one of the three, options->size too small to reach
 * timeout_ms, timeout_ms over 600000); a port code from opening (TAURAVAT_E_PORT_NOT_FOUND,
 * _PORT_PERMISSION, _PORT_BUSY, _NOT_A_SERIAL_PORT, _PORT_FAILED; the system's error in
 * tauravat_last_os_error); an exchange code from the identification. On failure *out is NULL and nothing
 * stays open. Printer: yes. */
TAURAVAT_API int32_t TAURAVAT_CALL tauravat_open(const char* device,
                                                 const tauravat_options* options,
                                                 tauravat_printer** out);

/* Opens `device` as tauravat_open does, with the same options and codes, but sends nothing:
 * no cancel, no identification. Meant for tauravat_rs_sequence, which then reaches the
 * printer exactly as it was (to diagnose one in an unknown state). Any other function that
 * talks to the printer treats the handle as one whose connection was lost (see the
 * conventions above): it connects first. Printer: no. */
TAURAVAT_API int32_t TAURAVAT_CALL tauravat_open_port(const char* device,
                                                      const tauravat_options* options,
                                                      tauravat_printer** out);

/* Closes the port and frees the handle, which must not be used again (nor be in use by
 * another thread). A receipt left open stays open in the printer. Returns TAURAVAT_OK (also
 * for NULL, which is ignored) or the OS error of closing the port; the handle is freed in
 * every case. */
TAURAVAT_API int32_t TAURAVAT_CALL tauravat_close(tauravat_printer* printer);

/* ---- Identification, conditions, print supervision ---------------------------- */

/* Asks the printer what it is: *type is the device type code (0..10; 11 for another or an
 * unknown device) and *version (optional) its program version (0 when the model reports
 * none). The handle's own model decisions keep the type identified when it connected.
 * Printer: yes. Receipt: allowed. */
TAURAVAT_API int32_t TAURAVAT_CALL tauravat_device_type(tauravat_printer* printer, int32_t* type,
                                                        int32_t* version);

/* The model's name ("KESTRA LUNO", "TAURA II generacji", "INNE URZĄDZENIE", ...) of the
 * type identified when the handle connected. Printer: only to reconnect. Receipt: allowed. */
TAURAVAT_API int32_t TAURAVAT_CALL tauravat_device_name(tauravat_printer* printer, char* text,
                                                        size_t size, size_t* needed);

/* Whether a receipt may begin now: the printer's data, memory, jumper, controller, paper and
 * tax rates are checked in the printer's order, then any pending printout is followed.
 * Returns TAURAVAT_OK or the first condition that fails (100..113, 237). Printer: yes.
 * Receipt: refused. */
TAURAVAT_API int32_t TAURAVAT_CALL tauravat_receipt_conditions(tauravat_printer* printer);

/* Print supervision. `mode` TAURAVAT_PRINT_BEFORE checks before a printout, resuming a
 * stopped one; TAURAVAT_PRINT_FOLLOW follows a printout until it has ended. Polls the
 * printer, after the first three rounds with pauses between rounds that double from 20 ms
 * to 200 ms; returns TAURAVAT_OK when it is idle, TAURAVAT_E_PAPER_OUT (load paper and
 * call again), 102, 103, 110 to 112 when the handle's print_limit_ms ran out first, or
 * TAURAVAT_E_PARAMETER_RANGE for another mode. Printer: yes.
 * Receipt: allowed. */
#define TAURAVAT_PRINT_FOLLOW 0
#define TAURAVAT_PRINT_BEFORE 1
TAURAVAT_API int32_t TAURAVAT_CALL tauravat_print_control(tauravat_printer* printer,
                                                          int32_t mode);

/* Restarts a printout stopped for lack of paper and follows it to its end. Returns
 * TAURAVAT_OK, TAURAVAT_E_PAPER_OUT while paper is still missing. Printer: yes.
 * Receipt: refused. */
TAURAVAT_API int32_t TAURAVAT_CALL tauravat_print_resume(tauravat_printer* printer);

/* Sends ESC, `command` and parameter_count bytes of `parameters` (NULL when the count is 0)
 * and reads reply_length answer bytes, the ACK included (0: no answer is read); data byte k
 * lands at reply[k-1], the first byte of a status command at reply[0]. `reply` (size bytes)
 * must hold reply_length bytes (*needed says how many; NULL when reply_length is 0); it is
 * written on success only. Returns TAURAVAT_OK, TAURAVAT_E_PARAMETER_RANGE (a count or
 * length over 255), TAURAVAT_E_BUFFER_TOO_SMALL (checked before sending) or an exchange
 * code. No reconnection, no receipt check: the bytes go out as given. Printer: yes. */
TAURAVAT_API int32_t TAURAVAT_CALL tauravat_rs_sequence(tauravat_printer* printer,
                                                        uint8_t command,
                                                        const uint8_t* parameters,
                                                        size_t parameter_count,
                                                        size_t reply_length, uint8_t* reply,
                                                        size_t size, size_t* needed);

/* How many leading bytes of `reply` (reply_length bytes, as a successful
 * tauravat_rs_sequence for `command` with that reply_length wrote them) the printer sent:
 * 0 when reply_length is 0; 1 when it is 1 (the ACK) or when `command` is a status command
 * that answered its one byte bare; otherwise the reply_length - 1 data bytes, up to and
 * including the 0xFF that ends the answer of a list command (a record that begins with it).
 * Bytes beyond are not the printer's. Sets *length. Returns TAURAVAT_OK,
 * TAURAVAT_E_NULL_ARGUMENT (length, or reply when reply_length is not 0),
 * TAURAVAT_E_PARAMETER_RANGE (reply_length over 255). Printer: no. */
TAURAVAT_API int32_t TAURAVAT_CALL tauravat_rs_answer_length(uint8_t command,
                                                             const uint8_t* reply,
                                                             size_t reply_length,
                                                             size_t* length);

/* ---- A program that leads the conversation itself ------------------------------ */

/* Identifies the printer as tauravat_device_type does and makes the type the handle's
 * model from then on. Unlike every other function it does not connect first: on a handle
 * from tauravat_open_port it sends the identification alone (no cancel, no wait for a
 * printout) and the handle counts as connected after it, so later functions send only
 * their own sequences. For a program that checks the printer's state itself before it acts.
 * Returns TAURAVAT_OK, TAURAVAT_E_NULL_ARGUMENT (type), or an exchange code (the handle is
 * then left as it was). Printer: yes. Receipt: refused. */
TAURAVAT_API int32_t TAURAVAT_CALL tauravat_identify(tauravat_printer* printer, int32_t* type);

/* Reads the printer's status bytes: status[k-1] is byte k (1..8), 0 where not read. Bytes 1
 * to 4 are read from every model, 5 and 6 (and 7) from the models and program versions that
 * keep them, 8 from those with an eighth. Bit k-1 of *present is set for each byte read.
 * Identifies the printer first, as the model and version decide. Printer: yes.
 * Receipt: allowed. */
#define TAURAVAT_STATUS_BYTES 8
TAURAVAT_API int32_t TAURAVAT_CALL tauravat_read_status_bytes(tauravat_printer* printer,
                                                              uint8_t status[8],
                                                              uint32_t* present);

/* Called with `user` before each status poll while the driver follows a printout, and
 * every 20 ms while it pauses between polls, so that a user interface stays responsive
 * through a long report. It runs inside the call that follows the printout and must not
 * call the driver with the same handle (TAURAVAT_E_REENTERED). NULL removes it. Returns
 * TAURAVAT_OK. Printer: no. */
typedef void(TAURAVAT_CALL* tauravat_pump_fn)(void* user);
TAURAVAT_API int32_t TAURAVAT_CALL tauravat_set_message_pump(tauravat_printer* printer,
                                                             tauravat_pump_fn pump, void* user);

/* ---- Receipt ------------------------------------------------------------------------ */

/* Begins a receipt after the checks of tauravat_receipt_conditions (without the euro
 * check). A receipt the printer still holds from before (one a lost answer or a crashed
 * caller left behind) is cancelled first, so it never prints; when the begin's own answer
 * is lost, what it may have begun is cancelled and the exchange code returned, so a retry
 * is not refused. Printer: yes. Receipt: refused. */
TAURAVAT_API int32_t TAURAVAT_CALL tauravat_receipt_begin(tauravat_printer* printer);

/* Kinds of line (tauravat_item.kind). tauravat_receipt_item sends the first two; a whole
 * sale (tauravat_sale) holds all four, in the order they print. */
#define TAURAVAT_ITEM_CANCEL 0
#define TAURAVAT_ITEM_SALE 1
#define TAURAVAT_ITEM_PACKAGE 2  /* a returnable-package line: the package_* members */
#define TAURAVAT_ITEM_SUBTOTAL 3 /* the subtotal so far: no other member is read */

/* One line of a receipt. A sale or cancel line uses name .. value; a package line only the
 * package_* members; a subtotal line none. Members a kind does not use are not read.
 * The package_* members came later: a struct without them (size up to `value`, as the
 * first headers had it) still carries sale, cancel and subtotal lines, and is refused only
 * for a package line (TAURAVAT_E_PARAMETER_RANGE at "size"). */
typedef struct tauravat_item {
  uint32_t size;        /* sizeof(tauravat_item): lets the struct grow */
  int32_t kind;         /* TAURAVAT_ITEM_SALE, _CANCEL (cancels a line), _PACKAGE, _SUBTOTAL */
  const char* name;     /* article name, UTF-8; its first 28 characters are printed */
  int32_t rate;         /* tax rate 1..7 for A..G (1..5 on the RX820A 5-rate) */
  int32_t message;      /* message number 0..7 printed with the line */
  int64_t quantity;     /* in units of 10^-decimals: 1500 with 3 decimals is 1.5 */
  int32_t decimals;     /* 0..4 */
  const char* unit;     /* unit of measure, UTF-8, up to 4 characters; NULL for none */
  int64_t price;        /* unit price in grosz, 1..999999999 */
  int64_t value;        /* line value in grosz; 0: the driver computes quantity x price,
                           an exact half rounded up */
  /* A package line, as tauravat_package_item takes it (the printer prints it and keeps it
     out of the receipt's total): */
  int32_t package_kind;          /* 0 " S", 1 " Z", 2 "-S", 3 "-Z" */
  uint16_t package_first_value;  /* sent unchanged */
  uint16_t package_second_value; /* sent unchanged */
  int64_t package_amount;        /* grosz, 32-bit range, sent unchanged */
} tauravat_item;

/* Sends one sale or cancel line (a package or subtotal kind: TAURAVAT_E_PARAMETER_RANGE at
 * "kind", nothing sent; those go through tauravat_package_item and tauravat_print_subtotal).
 * *value (optional) receives the value sent. The item is checked before the line goes out,
 * since a line the printer refuses cancels the whole receipt:
 * the rules and codes of tauravat_check_item for the printer's model, with the rates the
 * printer held reserved when the receipt began (TAURAVAT_E_RATE_UNDEFINED). A refused item
 * sends nothing and leaves the receipt open and intact. TAURAVAT_E_RECEIPT_CANCELLED when
 * the printer has cancelled the receipt. Printer: yes. Receipt: needed. */
TAURAVAT_API int32_t TAURAVAT_CALL tauravat_receipt_item(tauravat_printer* printer,
                                                         const tauravat_item* item,
                                                         int64_t* value);

/* A returnable-package line: `kind` 0 " S", 1 " Z", 2 "-S", 3 "-Z"; the two 16-bit values
 * and `amount` (grosz, 32-bit range) go to the printer unchanged. Returns
 * TAURAVAT_E_COMMAND_UNAVAILABLE on models without packages (all but TAURA II, LUNO and
 * LUNO F),
 * TAURAVAT_E_PACKAGE_KIND_RANGE, TAURAVAT_E_PARAMETER_RANGE (amount). Printer: yes.
 * Receipt: needed. */
TAURAVAT_API int32_t TAURAVAT_CALL tauravat_package_item(tauravat_printer* printer,
                                                         int32_t kind, uint16_t first_value,
                                                         uint16_t second_value,
                                                         int64_t amount);

/* Prints the subtotal (TAURA II, LUNO, LUNO F; elsewhere TAURAVAT_E_COMMAND_UNAVAILABLE).
 * Printer: yes. Receipt: needed. */
TAURAVAT_API int32_t TAURAVAT_CALL tauravat_print_subtotal(tauravat_printer* printer);

/* Ends the receipt: the discount (1..99 percent; any other value none), the payment forms
 * filled with tauravat_fill_payment (TAURA II, LUNO, LUNO F), the extra lines of
 * tauravat_fill_lines, then follows the printout. Returns TAURAVAT_OK (printed, once),
 * TAURAVAT_E_RECEIPT_CANCELLED (the printer cancelled it), or an exchange code. After a
 * failure the receipt is never cancelled by the driver: call tauravat_receipt_end again
 * until it answers TAURAVAT_OK or TAURAVAT_E_RECEIPT_CANCELLED. A retry resumes after the
 * last step the printer has (the discount and the total go once) and, when the answer to
 * the end itself was lost, first asks the printer (receipt counter and status) whether it
 * printed: it then answers TAURAVAT_OK without printing again. TAURAVAT_E_NAK: refused,
 * the receipt still open. An acknowledged end whose outcome nothing can tell yet returns
 * the exchange code with the receipt closed; the next tauravat_receipt_end tells printed
 * (TAURAVAT_OK) or cancelled. See docs/receipts.md. Printer: yes. Receipt: needed. */
TAURAVAT_API int32_t TAURAVAT_CALL tauravat_receipt_end(tauravat_printer* printer,
                                                        int32_t discount_percent);

/* Cancels the receipt and follows the printout. After an end that went out, it first asks
 * what became of it: a receipt the printer printed is never reported cancelled
 * (TAURAVAT_E_RECEIPT_NOT_OPEN, and tauravat_receipt_end then answers TAURAVAT_OK).
 * Printer: yes. Receipt: needed. */
TAURAVAT_API int32_t TAURAVAT_CALL tauravat_receipt_cancel(tauravat_printer* printer);

/* Fills payment slot `number` (1..4), printed by tauravat_receipt_end: `name` UTF-8, cut or
 * padded to 13 characters; the amounts in grosz (32-bit range) go to the printer
 * unchanged. Returns TAURAVAT_E_PARAMETER_RANGE for a slot, amount or character out of
 * range. Printer: no. Receipt: allowed. */
TAURAVAT_API int32_t TAURAVAT_CALL tauravat_fill_payment(tauravat_printer* printer,
                                                         int32_t number, const char* name,
                                                         int64_t first_amount,
                                                         int64_t second_amount);

/* Stores a line printed after the receipt: `code` 0..15, `text` UTF-8 of at most 253
 * characters in code page 1250. *free_lines (optional) receives the slots still free.
 * Returns TAURAVAT_E_PARAMETER_RANGE, TAURAVAT_E_NO_FREE_LINES (six lines are waiting).
 * Printer: no. Receipt: allowed. */
TAURAVAT_API int32_t TAURAVAT_CALL tauravat_fill_lines(tauravat_printer* printer, int32_t code,
                                                       const char* text, int32_t* free_lines);

/* Empty the payment slots or the extra lines. Printer: no. Receipt: allowed. */
TAURAVAT_API int32_t TAURAVAT_CALL tauravat_erase_payments(tauravat_printer* printer);
TAURAVAT_API int32_t TAURAVAT_CALL tauravat_erase_lines(tauravat_printer* printer);

/* The printer's running total of all tax rates since the daily report, in grosz.
 * Returns TAURAVAT_E_UNSUPPORTED_COMMAND (all but TAURA F, TAURA II, LUNO and LUNO F),
 * TAURAVAT_E_NO_TAX_RATES. Printer: yes. Receipt: refused. */
TAURAVAT_API int32_t TAURAVAT_CALL tauravat_read_total(tauravat_printer* printer, int64_t* total);

/* The running total of one rate: `selector` "A".."G", or "+" for all. Returns
 * TAURAVAT_E_PARAMETER_N_RANGE (another selector), TAURAVAT_E_RATE_UNDEFINED (a reserved
 * rate), TAURAVAT_E_UNSUPPORTED_COMMAND. Printer: yes. Receipt: refused. */
TAURAVAT_API int32_t TAURAVAT_CALL tauravat_read_sel_total(tauravat_printer* printer,
                                                           const char* selector,
                                                           int64_t* total);

/* ---- Tax rates --------------------------------------------------------------------- */

/* Reads the printer's tax rates A..G into rates[0..6]: *count is 4, 6 or 7, and the rates
 * the model does not keep are set to TAURAVAT_RATE_RESERVED. Printer: yes.
 * Receipt: refused. */
TAURAVAT_API int32_t TAURAVAT_CALL tauravat_read_vat(tauravat_printer* printer, int32_t* count,
                                                     uint32_t rates[7]);

/* Writes tax rates A..G (the first *count the model keeps are used; *count receives 4, 6
 * or 7) and reads them back. The printer takes new rates only right after a daily report:
 * TAURAVAT_E_RECEIPT_COUNTER_NOT_ZERO otherwise, nothing sent. Returns
 * TAURAVAT_E_RATES_NOT_WRITTEN when the rates read back differ (4-rate models keep whole
 * percents only), TAURAVAT_E_PARAMETER_RANGE for a rate the model cannot carry.
 * Printer: yes. Receipt: refused. */
TAURAVAT_API int32_t TAURAVAT_CALL tauravat_set_vat(tauravat_printer* printer, int32_t* count,
                                                    const uint32_t rates[7]);

/* ---- Reports ----------------------------------------------------------------------- */
/* Each report checks the printer is idle first and follows the printout to its end;
 * TAURAVAT_E_PAPER_OUT is recoverable with tauravat_print_control. Printer: yes.
 * Receipt: refused. */

#define TAURAVAT_REPORT_SHORT 0
#define TAURAVAT_REPORT_DETAILED 1

/* The daily report. With no sale since the last one it answers
 * TAURAVAT_E_NO_SALES_SINCE_REPORT, unless `force` is non-zero and the model prints empty
 * daily reports (TAURA I, TAURA II, TAURA F, LUNO, LUNO F). */
TAURAVAT_API int32_t TAURAVAT_CALL tauravat_daily_report(tauravat_printer* printer,
                                                         int32_t force);
TAURAVAT_API int32_t TAURAVAT_CALL tauravat_locked_articles_report(tauravat_printer* printer);
TAURAVAT_API int32_t TAURAVAT_CALL tauravat_printer_status_report(tauravat_printer* printer);

/* The periodic report between two dates (years 2000..2099, months 1..12, days 1..31),
 * `kind` TAURAVAT_REPORT_SHORT or _DETAILED. Returns TAURAVAT_E_PARAMETER_RANGE before
 * sending anything; the printer's verdicts 219 and 220. */
TAURAVAT_API int32_t TAURAVAT_CALL tauravat_period_report(tauravat_printer* printer,
                                                          int32_t kind, int32_t from_year,
                                                          int32_t from_month, int32_t from_day,
                                                          int32_t to_year, int32_t to_month,
                                                          int32_t to_day);

/* The report of one month (year 2000..2099, month 1..12). Returns
 * TAURAVAT_E_PARAMETER_RANGE, TAURAVAT_E_UNSUPPORTED_COMMAND (all but TAURA F, TAURA II,
 * LUNO and LUNO F), the printer's verdicts 219..223. */
TAURAVAT_API int32_t TAURAVAT_CALL tauravat_monthly_report(tauravat_printer* printer,
                                                           int32_t kind, int32_t year,
                                                           int32_t month);

/* The report of daily reports number `from` to `to` (0..65535). Codes as the monthly. */
TAURAVAT_API int32_t TAURAVAT_CALL tauravat_number_report(tauravat_printer* printer,
                                                          int32_t kind, int32_t from,
                                                          int32_t to);

/* ---- Clock, counters, identity, drawer ------------------------------------------------ */
/* Printer: yes. Receipt: refused, except tauravat_open_drawer. */

/* The printer's clock as "YYYY-MM-DD hh:mm:ss", or "YYYY-MM-DD hh:mm" on models whose
 * clock gives no seconds (RX820, TAURA I, LUNO E and EFV). */
TAURAVAT_API int32_t TAURAVAT_CALL tauravat_read_clock(tauravat_printer* printer, char* text,
                                                       size_t size, size_t* needed);

/* The number of the last receipt, and of the last daily report. */
TAURAVAT_API int32_t TAURAVAT_CALL tauravat_receipt_number(tauravat_printer* printer,
                                                           int32_t* number);
TAURAVAT_API int32_t TAURAVAT_CALL tauravat_daily_report_number(tauravat_printer* printer,
                                                                int32_t* number);

/* The printer's receipt counter alone (command 0x66): the receipts since the last daily
 * report, which is the number at the foot of the last one. *known is 1 when the counter
 * tells that number, 0 when it reads 0 on a model that may keep it at 0 (LUNO, LUNO F):
 * a receipt may then have been completed without moving it. Unlike
 * tauravat_receipt_number, it never answers another counter in its place, so two reads
 * that are known and one apart tell that exactly one receipt was completed between them.
 * Returns TAURAVAT_E_NULL_ARGUMENT (number or known). */
TAURAVAT_API int32_t TAURAVAT_CALL tauravat_receipt_counter(tauravat_printer* printer,
                                                            int32_t* number, int32_t* known);

/* The printer's number (two digits) and its two-character code. */
TAURAVAT_API int32_t TAURAVAT_CALL tauravat_printer_number(tauravat_printer* printer,
                                                           int32_t* number, char* code,
                                                           size_t size, size_t* needed);

/* The fiscal module's unique number, its 11 characters without a separator. */
TAURAVAT_API int32_t TAURAVAT_CALL tauravat_read_unique_number(tauravat_printer* printer,
                                                               char* text, size_t size,
                                                               size_t* needed);

/* Opens cash drawer 1..3 (TAURAVAT_E_DRAWER_RANGE otherwise). Works during a receipt. */
TAURAVAT_API int32_t TAURAVAT_CALL tauravat_open_drawer(tauravat_printer* printer,
                                                        int32_t drawer);

/* Sets how many lines (0..255) the printer feeds after a printout. */
TAURAVAT_API int32_t TAURAVAT_CALL tauravat_write_line_feed(tauravat_printer* printer,
                                                            int32_t lines);

/* ---- Models and checks: no printer needed ------------------------------------- *
 *
 * What a model can do, and whether an item, a whole sale or a tax-rate table would be taken
 * by it, without a port: a program checks before it begins anything, and the handle's own
 * receipt calls apply the same rules. Model information comes from
 * tauravat_model_by_type() or, for an open printer, tauravat_printer_model(). */

/* Bits of tauravat_model_info.features. */
#define TAURAVAT_FEATURE_PACKAGES 0x01u           /* tauravat_package_item */
#define TAURAVAT_FEATURE_SUBTOTAL 0x02u           /* tauravat_print_subtotal */
#define TAURAVAT_FEATURE_PAYMENT_FORMS 0x04u      /* payment forms are printed */
#define TAURAVAT_FEATURE_RATE_TOTALS 0x08u        /* tauravat_read_total, _read_sel_total */
#define TAURAVAT_FEATURE_CLOCK_SECONDS 0x10u      /* the clock gives seconds */
#define TAURAVAT_FEATURE_EURO_CHANGEOVER 0x20u    /* may demand the currency change (237) */
#define TAURAVAT_FEATURE_LOCK_REASON 0x40u        /* says why the till is locked */
#define TAURAVAT_FEATURE_CANCELLED_COUNTER 0x80u  /* counts cancelled receipts; its rates may
                                                     be written only while that count is 0 */

/* Bits of tauravat_model_info.reports: the reports the model prints. */
#define TAURAVAT_REPORT_KIND_DAILY 0x01u
#define TAURAVAT_REPORT_KIND_EMPTY_DAILY 0x02u     /* forced, after a day without sales */
#define TAURAVAT_REPORT_KIND_PERIOD 0x04u
#define TAURAVAT_REPORT_KIND_MONTHLY 0x08u
#define TAURAVAT_REPORT_KIND_NUMBER 0x10u
#define TAURAVAT_REPORT_KIND_LOCKED_ARTICLES 0x20u
#define TAURAVAT_REPORT_KIND_PRINTER_STATUS 0x40u

typedef struct tauravat_model_info {
  uint32_t size;               /* sizeof(tauravat_model_info), set by the caller */
  int32_t type;                /* device type code 0..11, as tauravat_device_type gives it */
  const char* short_name;      /* "luno", "luno-f", "taura-f", "rx820a-4", ..., "unknown" for
                                  11; static storage */
  const char* name;            /* "KESTRA LUNO", UTF-8, as tauravat_device_name; static */
  int32_t fiscal;              /* 1: a fiscal printer; 0: another device (type 11) */
  int32_t rate_count;          /* 4, 6 or 7: the printer keeps rates A..D, A..F or A..G */
  /* Bit n (A = bit 0) of these masks is about rate n: */
  uint32_t rates_editable;     /* the printer keeps it: it can be written */
  uint32_t rates_exempt;       /* it may be TAURAVAT_RATE_EXEMPT */
  uint32_t rates_reserved;     /* it may be TAURAVAT_RATE_RESERVED */
  uint32_t rates_ordered;      /* the ordinary rates among these must not grow from one to
                                  the next (A >= B >= C ...): the older models */
  int32_t whole_percent_rates; /* 1: ordinary rates in whole percents only */
  uint32_t highest_rate;       /* highest ordinary rate, hundredths of a percent (9983) */
  int32_t highest_item_rate;   /* highest rate number an item line may name: 5 or 7 */
  int32_t min_name_characters; /* significant characters an article name needs: 5 or 10 */
  int64_t highest_quantity;    /* of one item line, in units of its decimals */
  uint32_t features;           /* TAURAVAT_FEATURE_* */
  uint32_t reports;            /* TAURAVAT_REPORT_KIND_* */
} tauravat_model_info;

/* Fills *info (info->size must be set) with the model of device type `type`. Returns
 * TAURAVAT_OK, TAURAVAT_E_NULL_ARGUMENT, TAURAVAT_E_PARAMETER_RANGE (a type outside 0..11,
 * or info->size smaller than this header's). Printer: no. */
TAURAVAT_API int32_t TAURAVAT_CALL tauravat_model_by_type(int32_t type,
                                                          tauravat_model_info* info);

/* Fills *info (info->size must be set) with the model identified when the handle
 * connected. Returns as tauravat_model_by_type. Printer: only to reconnect. Receipt:
 * allowed. */
TAURAVAT_API int32_t TAURAVAT_CALL tauravat_printer_model(tauravat_printer* printer,
                                                          tauravat_model_info* info);

/* A tax-rate table A..G: the first `count` values are given. */
typedef struct tauravat_rates {
  uint32_t size;      /* sizeof(tauravat_rates) */
  int32_t count;      /* 0..7 */
  uint32_t values[7]; /* hundredths of a percent, TAURAVAT_RATE_RESERVED, _EXEMPT */
} tauravat_rates;

/* Which rule a checked value breaks (tauravat_problem.rule). */
enum tauravat_rule {
  TAURAVAT_RULE_NONE = 0,
  TAURAVAT_RULE_MISSING = 1,        /* a required pointer is NULL */
  TAURAVAT_RULE_SIZE = 2,           /* a size member below this header's sizeof (limit), or
                                       an array element's other than the first's */
  TAURAVAT_RULE_NOT_UTF8 = 3,       /* the text is not well-formed UTF-8 from offset on */
  TAURAVAT_RULE_NOT_PRINTABLE = 4,  /* the printer cannot print code_point at offset */
  TAURAVAT_RULE_TOO_LONG = 5,       /* over limit characters as printed; offset and
                                       code_point name the first that does not fit */
  TAURAVAT_RULE_TOO_FEW = 6,        /* fewer than limit: significant characters, items */
  TAURAVAT_RULE_TOO_MANY = 7,       /* more than limit: payments, extra lines */
  TAURAVAT_RULE_TOO_SMALL = 8,      /* a value below limit */
  TAURAVAT_RULE_TOO_LARGE = 9,      /* a value above limit */
  TAURAVAT_RULE_NOT_ALLOWED = 10,   /* a value or a part the model does not take */
  TAURAVAT_RULE_RESERVED = 11,      /* the item names a rate the table holds reserved */
  TAURAVAT_RULE_WHOLE_PERCENT = 12, /* the model takes whole percents only */
  TAURAVAT_RULE_ORDER = 13          /* the rate is above the ordinary rate before it
                                       (limit) */
};

#define TAURAVAT_FIELD_SIZE 48

/* What a check found wrong, and where. */
typedef struct tauravat_problem {
  uint32_t size;        /* sizeof(tauravat_problem), set by the caller */
  int32_t code;         /* the code the check returned; TAURAVAT_OK when nothing is wrong */
  int32_t rule;         /* enum tauravat_rule */
  int32_t offset;       /* characters (code points) into the field's text; -1: not text */
  uint32_t code_point;  /* the character at offset; 0 when none */
  int64_t limit;        /* the bound broken (a value, a length, a count); 0 when none */
  char field[TAURAVAT_FIELD_SIZE]; /* NUL-terminated: "name", "items[0].name", "rates[2]",
                                      "payments[1].first_amount", "lines", "total", ... */
} tauravat_problem;

/* The rules below apply to each part as it will be printed: typographic quotes, dashes, the
 * no-break space and "..." for the ellipsis in their plain forms, every other character as
 * it is. A character is printable when code page 1250 holds it and the printer's code page
 * 852 does too ("€" and "ñ" are not); control characters never are. The check functions
 * return the code of the first problem found, in the order given, and fill *problem
 * (optional: may be NULL; its size must be set) with it, or with TAURAVAT_OK, rule NONE,
 * offset -1 and an empty field when all is well. They also return TAURAVAT_E_NULL_ARGUMENT
 * for a null model (field "model") and TAURAVAT_E_PARAMETER_RANGE when model->size or
 * problem->size is below this header's. Printer: no. */

/* One item line for `model`, in this order: item->size and kind (PARAMETER_RANGE); the size
 * and count (0..7) of `rates` when given (PARAMETER_RANGE); the name (NULL: NULL_ARGUMENT)
 * and the unit (NULL for none), each well-formed and printable
 * (PARAMETER_RANGE); the name's significant characters among the first 28
 * (NAME_TOO_SHORT: fewer than model->min_name_characters); the rate 1..highest_item_rate
 * (RATE_RANGE); the message 0..7 (MESSAGE_RANGE); the quantity 1..highest_quantity
 * (QUANTITY_RANGE); decimals 0..4 (DECIMALS_RANGE); the unit at most 4 characters
 * (UNIT_RANGE); the price 1..999999999 (PRICE_RANGE); with `rates` (optional), a rate the
 * table holds reserved (RATE_UNDEFINED; rates beyond rates->count are not known to be);
 * the value (negative: PARAMETER_RANGE) or the computed one, 1..999999999
 * (0: PARAMETER_RANGE; above: LINE_VALUE_TOO_LARGE). Fields are the item's member names:
 * "kind", "name", "unit", "rate", ...; those of the table "rates.size", "rates.count".
 * A package line: its size (without the package_* members: PARAMETER_RANGE at "size"); a
 * model without TAURAVAT_FEATURE_PACKAGES (COMMAND_UNAVAILABLE, rule NOT_ALLOWED, at
 * "kind"; in a sale at the line itself, "items[n]"); package_kind 0..3
 * (PACKAGE_KIND_RANGE); package_amount within 32 bits (PARAMETER_RANGE). A subtotal line:
 * a model without TAURAVAT_FEATURE_SUBTOTAL (COMMAND_UNAVAILABLE, as for a package). */
TAURAVAT_API int32_t TAURAVAT_CALL tauravat_check_item(const tauravat_model_info* model,
                                                       const tauravat_rates* rates,
                                                       const tauravat_item* item,
                                                       tauravat_problem* problem);

/* A payment form of a sale: slot `slot` of tauravat_fill_payment. */
typedef struct tauravat_payment {
  uint32_t size;         /* sizeof(tauravat_payment) */
  int32_t slot;          /* 1..4, or 0 for its place in the array (the first is 1) */
  const char* name;      /* UTF-8, 1..13 characters */
  int64_t first_amount;  /* grosz, 0..999999999 */
  int64_t second_amount; /* grosz, 0..999999999 */
} tauravat_payment;

/* An extra line printed after the receipt, as tauravat_fill_lines takes it. */
typedef struct tauravat_line {
  uint32_t size;    /* sizeof(tauravat_line) */
  int32_t code;     /* 0..15 */
  const char* text; /* UTF-8, at most 253 characters */
} tauravat_line;

/* A whole sale: what one receipt prints. Each array holds its elements at the stride of
 * its first element's size member, and every element has that size. */
typedef struct tauravat_sale {
  uint32_t size;                    /* sizeof(tauravat_sale) */
  const tauravat_item* items;       /* item_count lines of any kind, in order */
  size_t item_count;                /* at least 1, and one sale or cancel line among them */
  int32_t discount_percent;         /* 0 for none, 1..99 */
  const tauravat_payment* payments; /* NULL when payment_count is 0 */
  size_t payment_count;             /* 0..4 */
  const tauravat_line* lines;       /* NULL when line_count is 0 */
  size_t line_count;                /* 0..6 */
} tauravat_sale;

/* A whole sale for `model`, in this order: sale->size (PARAMETER_RANGE); the items (none, or
 * no sale or cancel line: PARAMETER_RANGE at "items"; NULL: NULL_ARGUMENT), each as
 * tauravat_check_item (package and subtotal lines too) with its fields named
 * "items[n].name" and so on (an element's size other than the first's: PARAMETER_RANGE at
 * "items[n].size", and so for payments and lines), and a cancel line worth more than its rate holds at that point
 * (PARAMETER_RANGE at "items[n].value"); the discount 0..99 (PARAMETER_RANGE); the
 * payments: a model without payment forms (COMMAND_UNAVAILABLE at "payments"), more than 4,
 * a slot outside 1..4 or used twice, a name empty, unprintable or over 13 characters, an
 * amount outside 0..999999999 (PARAMETER_RANGE); the extra lines: more than 6
 * (NO_FREE_LINES at "lines"), a code outside 0..15, a text NULL (NULL_ARGUMENT),
 * unprintable or over 253 characters (PARAMETER_RANGE); then the total before the
 * discount, at most 999999999 (PARAMETER_RANGE at "total"). */
TAURAVAT_API int32_t TAURAVAT_CALL tauravat_check_sale(const tauravat_model_info* model,
                                                       const tauravat_rates* rates,
                                                       const tauravat_sale* sale,
                                                       tauravat_problem* problem);

/* A tax-rate table to write to `model`, in this order: rates->size; rates->count at least
 * model->rate_count (rates beyond it are not looked at); each rate the model keeps, A
 * first: RATE_RESERVED where rates_reserved allows, RATE_EXEMPT where rates_exempt allows,
 * otherwise an ordinary rate up to highest_rate; the order of the ordinary rates among
 * rates_ordered; whole percents where whole_percent_rates. Every problem is
 * TAURAVAT_E_PARAMETER_RANGE at "rates[n]" (or "rates.size", "rates.count"), its rule
 * saying which; NULL rates is TAURAVAT_E_NULL_ARGUMENT. */
TAURAVAT_API int32_t TAURAVAT_CALL tauravat_check_rates(const tauravat_model_info* model,
                                                        const tauravat_rates* rates,
                                                        tauravat_problem* problem);

/* tauravat_write_rates flags. */
#define TAURAVAT_FORCE 1u /* write even when the printer already holds these rates */

/* Writes a tax-rate table, spending a fiscal-memory entry (and the printed notice of the
 * change) only on a change. Reads the printer's rates first; rates->values[0..count-1] are
 * written and the rates beyond rates->count stay as the printer holds them. The whole table
 * is checked as tauravat_check_rates does for the connected model (TAURAVAT_E_PARAMETER_RANGE,
 * nothing sent; that function names the rate). When the printer already holds every rate
 * the model keeps, nothing is written and *written is 0, unless flags has TAURAVAT_FORCE.
 * Otherwise as tauravat_set_vat, and *written is 1 once the printer has taken the rates.
 * *written (optional: may be NULL) is 0 on every failure. rates->size below this header's,
 * rates->count outside 0..7 or an unknown flag: TAURAVAT_E_PARAMETER_RANGE; NULL rates:
 * TAURAVAT_E_NULL_ARGUMENT. Printer: yes. Receipt: refused. */
TAURAVAT_API int32_t TAURAVAT_CALL tauravat_write_rates(tauravat_printer* printer,
                                                        const tauravat_rates* rates,
                                                        uint32_t flags, int32_t* written);

/* ---- A whole sale in one call ------------------------------------------------ */

/* What becomes of a sale (tauravat_sale_outcome.state). */
#define TAURAVAT_SALE_PRINTED 1   /* printed once: it is sold */
#define TAURAVAT_SALE_CANCELLED 2 /* a receipt was begun and cancelled: nothing is sold */
#define TAURAVAT_SALE_FAILED 3    /* no receipt was begun: nothing is sold */
#define TAURAVAT_SALE_UNKNOWN 4   /* the end went out and nothing could tell whether it
                                   * printed: check the paper or tauravat_receipt_counter
                                   * before ringing the sale again */

/* The steps of a sale. The call-back is told of BEGIN, ITEM and END, each before it
 * happens; the codes seen name the step they answered. */
#define TAURAVAT_STEP_PREPARE 0 /* the check, the rate read, the tables, the counter */
#define TAURAVAT_STEP_BEGIN 1   /* the receipt is about to begin */
#define TAURAVAT_STEP_ITEM 2    /* line `item` (of any kind) is about to go out */
#define TAURAVAT_STEP_END 3     /* the end is about to go out: from here it may print */
#define TAURAVAT_STEP_CANCEL 4  /* the cancel of the receipt begun */

typedef struct tauravat_step_info {
  uint32_t size;    /* sizeof(tauravat_step_info) as the driver filled it */
  int32_t step;     /* TAURAVAT_STEP_* */
  int32_t counter;  /* the receipt counter read before the begin; -1 when not known (not
                       read, or a 0 that does not tell, see tauravat_receipt_counter) */
  int32_t item;     /* the index of the item for TAURAVAT_STEP_ITEM; -1 otherwise */
  int64_t total;    /* for TAURAVAT_STEP_END the receipt's total after the discount, in
                       grosz, as the printer sums it; 0 otherwise */
} tauravat_step_info;

/* Called inside tauravat_print_sale before each step, on the caller's thread. A caller that
 * must not lose a sale records the step durably here (the counter before the begin, the end
 * about to go out), and answers 0 to go on. Any other answer stops the sale: before the
 * begin nothing is printed, after it the receipt is cancelled (the end is never sent). It
 * must not call the driver with the same handle. */
typedef int32_t(TAURAVAT_CALL* tauravat_sale_step_fn)(void* user, const tauravat_step_info* step);

/* A code seen during a sale, and the step it answered (TAURAVAT_STEP_*). */
typedef struct tauravat_sale_code {
  int32_t step;
  int32_t code;
} tauravat_sale_code;

#define TAURAVAT_SALE_CODES 16

typedef struct tauravat_sale_outcome {
  uint32_t size;          /* sizeof(tauravat_sale_outcome), set by the caller */
  int32_t state;          /* TAURAVAT_SALE_* */
  int32_t code;           /* what tauravat_print_sale returned */
  int32_t receipt_number; /* the number at the foot of the printed receipt; -1 when not
                             printed or not known */
  int64_t total;          /* the receipt's total after the discount, in grosz, once its
                             items went out; 0 before */
  int32_t stopped_at;     /* the TAURAVAT_STEP_* the call-back stopped before; 0 when it
                             did not */
  int32_t code_count;     /* codes[0..code_count-1]; when more came, the last holds the
                             latest */
  tauravat_sale_code codes[TAURAVAT_SALE_CODES]; /* every code other than TAURAVAT_OK, in
                                                    order */
  tauravat_problem problem; /* what the check refused (its code TAURAVAT_OK when it did
                               not) */
} tauravat_sale_outcome;

/* Prints a whole sale, with the recovery of docs/receipts.md for every answer, so that it
 * prints once or not at all and the outcome says which. In order:
 *  1. the sale is checked as tauravat_check_sale does, for the printer's model and the tax
 *     rates read from it; a sale that fails is refused with the check's code (state
 *     FAILED, outcome->problem says where) before anything is sent;
 *  2. the payment and extra-line tables are filled with the sale's (what they held
 *     before is erased), the receipt counter is read, the call-back told of the begin,
 *     and the receipt begun (a begin whose answer was lost is tried again, up to 3 times);
 *  3. each line goes out after the call-back was told of it (TAURAVAT_STEP_ITEM, whatever
 *     its kind); a line whose answer was lost is sent again, up to 3 times, except a
 *     package line whose data went out before its answer was lost: it may have printed,
 *     and sent again it could print twice, so the receipt is cancelled instead (state
 *     CANCELLED, the code among the codes); when a line fails for good the receipt is
 *     cancelled. Package lines are not part of the total;
 *  4. the call-back is told of the end, and the end sent until it answers printed or
 *     cancelled (up to 3 times); then the receipt is cancelled (up to 3 times), which
 *     first learns what became of the end, and if the printer had printed it the end is
 *     asked once more; what nothing can tell is UNKNOWN.
 * `step` (optional) and `user` are the step call-back and what it is handed. The payment
 * and extra-line tables are empty after the call, except after UNKNOWN with the receipt
 * still open on the handle: then tauravat_receipt_end, called again once the printer
 * answers, says printed (TAURAVAT_OK) or not, and until the receipt is ended or cancelled
 * tauravat_print_sale answers TAURAVAT_E_RECEIPT_OPEN.
 * Returns TAURAVAT_OK when the sale printed (a printout stopped after it, for paper, is
 * among the codes); TAURAVAT_E_NULL_ARGUMENT (sale or outcome); TAURAVAT_E_PARAMETER_RANGE
 * when outcome->size is below this header's (then *outcome is not written); the check's
 * code; TAURAVAT_E_RECEIPT_OPEN when the caller has a receipt begun on this handle;
 * TAURAVAT_E_STOPPED when the call-back stopped the sale; otherwise the code that decided
 * the outcome (TAURAVAT_E_RECEIPT_CANCELLED, a condition 100..113, an exchange code). The
 * state is in outcome->state. Printer: yes. Receipt: refused. */
TAURAVAT_API int32_t TAURAVAT_CALL tauravat_print_sale(tauravat_printer* printer,
                                                       const tauravat_sale* sale,
                                                       tauravat_sale_step_fn step, void* user,
                                                       tauravat_sale_outcome* outcome);

/* ==== The legacy interface ===================================================== */

/* ---- Port and raw sequences ------------------------------------------------ */

/* Opens COM port `port` (on POSIX: the path in TAURAVAT_COM<port>, or the default
 * mapping documented in the README). Returns 0, an OS error number (2 no such port,
 * 5 access denied / held by another program / already open) or 999. */
TAURAVAT_API int32_t TAURAVAT_CALL OpenPort(uint8_t port, uint32_t baud, uint16_t writeTimeout,
                                            uint16_t readTimeout);
TAURAVAT_API int32_t TAURAVAT_CALL ClosePort(void);

/* Sends ESC, `command`, then the parameters, and reads the reply. `reply` and
 * `parameters` point to 256 bytes each; only the low 8 bits of the lengths reach the
 * wire. A null `reply` is allowed when replyLength is 0, a null `parameters` when
 * parameterLength is 0. */
TAURAVAT_API int32_t TAURAVAT_CALL RSSequence(uint8_t command, int32_t replyLength,
                                              int32_t parameterLength, uint8_t* reply,
                                              const uint8_t* parameters);

/* ---- Messages ----------------------------------------------------------------- */

TAURAVAT_API int32_t TAURAVAT_CALL pErrMessage(int32_t code, char* buffer);

/* ---- Connection, identification, supervision --------------------------------- */

TAURAVAT_API int32_t TAURAVAT_CALL CommunicationInit(uint8_t port, uint32_t baud, uint32_t timeout);
TAURAVAT_API int32_t TAURAVAT_CALL CommunicationEnd(void);
TAURAVAT_API int32_t TAURAVAT_CALL pDeviceName(char* buffer);
TAURAVAT_API int32_t TAURAVAT_CALL ReceiptConditions(void);
TAURAVAT_API int32_t TAURAVAT_CALL PrintResume(void);
TAURAVAT_API int32_t TAURAVAT_CALL PrintControl(int32_t Mode, uint8_t DeviceType);
TAURAVAT_API int32_t TAURAVAT_CALL pCharsInArticleName(const char* name);

/* ---- Receipt ------------------------------------------------------------------ */

TAURAVAT_API int32_t TAURAVAT_CALL ReceiptBegin(void);
TAURAVAT_API int32_t TAURAVAT_CALL pReceiptItem(int32_t Typ, const char* Nazwa, int32_t Stawka,
                                                int32_t Komunikat, int32_t Ilosc, int32_t MP,
                                                const char* Jedn, int32_t Cena, int32_t* Wartosc);
TAURAVAT_API int32_t TAURAVAT_CALL PackageItem(int32_t Param, uint16_t firstValue,
                                               uint16_t secondValue, int32_t amount);
TAURAVAT_API int32_t TAURAVAT_CALL PrintSubtotal(void);
TAURAVAT_API int32_t TAURAVAT_CALL ReceiptEnd(int32_t Rabat);
TAURAVAT_API int32_t TAURAVAT_CALL ReceiptCancel(void);
TAURAVAT_API int32_t TAURAVAT_CALL pFillPayment(int32_t Number, const char* Name,
                                                int32_t FirstAmount, int32_t SecondAmount);
TAURAVAT_API int32_t TAURAVAT_CALL pFillLines(int32_t LineCode, const char* Text,
                                              int32_t* FreeLines);
TAURAVAT_API int32_t TAURAVAT_CALL ErasePayments(void);
TAURAVAT_API int32_t TAURAVAT_CALL EraseLines(void);
TAURAVAT_API int32_t TAURAVAT_CALL pReadTotal(char* buffer);
TAURAVAT_API int32_t TAURAVAT_CALL pReadSelTotal(const char* N, char* buffer);

/* ---- Tax rates (hundredths of a percent; 25500 reserved, 10000 exempt) ---------- */

TAURAVAT_API int32_t TAURAVAT_CALL ReadVAT(int32_t* Count, uint32_t* A, uint32_t* B, uint32_t* C,
                                           uint32_t* D, uint32_t* E, uint32_t* F, uint32_t* G);
TAURAVAT_API int32_t TAURAVAT_CALL SetVAT(int32_t* Count, uint32_t A, uint32_t B, uint32_t C,
                                          uint32_t D, uint32_t E, uint32_t F, uint32_t G);

/* ---- Reports -------------------------------------------------------------------- */

TAURAVAT_API int32_t TAURAVAT_CALL DailyReport(int32_t Force);
TAURAVAT_API int32_t TAURAVAT_CALL LockedArticlesReport(void);
TAURAVAT_API int32_t TAURAVAT_CALL PeriodReport(int32_t Kind, int32_t FromYear, int32_t FromMonth,
                                                int32_t FromDay, int32_t ToYear, int32_t ToMonth,
                                                int32_t ToDay);
TAURAVAT_API int32_t TAURAVAT_CALL MonthlyReport(int32_t Kind, int32_t Year, int32_t Month);
TAURAVAT_API int32_t TAURAVAT_CALL NumberReport(int32_t Kind, int32_t From, int32_t To);
TAURAVAT_API int32_t TAURAVAT_CALL PrinterStatusReport(void);

/* ---- Clock, counters, identification --------------------------------------------- */

TAURAVAT_API int32_t TAURAVAT_CALL pReadClock(char* buffer);
TAURAVAT_API int32_t TAURAVAT_CALL ReceiptNumber(int32_t* Number);
TAURAVAT_API int32_t TAURAVAT_CALL DailyReportNumber(int32_t* Number);
TAURAVAT_API int32_t TAURAVAT_CALL pReadUniqueNumber(char* buffer);
TAURAVAT_API int32_t TAURAVAT_CALL OpenDrawer(int32_t DrawerNumber);
TAURAVAT_API int32_t TAURAVAT_CALL WriteLineFeed(uint8_t Count);
TAURAVAT_API int32_t TAURAVAT_CALL pDllVersion(char* buffer);
TAURAVAT_API int32_t TAURAVAT_CALL pDllAuthor(char* buffer);

/* ---- Application call-backs --------------------------------------------------------
 * Every operation announces itself through the progress call-back with a short text
 * ending in "..." (code page 1250); an empty text clears it. Print supervision calls
 * the message-pump call-back before each status poll and every 20 ms while it pauses
 * between polls, so a user interface can stay responsive during a long printout; it must
 * not call back into the driver.
 * Both default to doing nothing; pass NULL to restore the default. Returns 0. */
typedef void(TAURAVAT_CALL* TauravatProgressCallback)(const char* text);
typedef void(TAURAVAT_CALL* TauravatMessagePumpCallback)(void);
TAURAVAT_API int32_t TAURAVAT_CALL SetCallbacks(TauravatProgressCallback progress,
                                                TauravatMessagePumpCallback messagePump);

#ifdef __cplusplus
}
#endif

#endif /* TAURAVAT_H */
