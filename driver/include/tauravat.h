/*
 * tauravat - driver for KESTRA fiscal printers (TAURA, LUNO, RX820 families).
 *
 * C interface of libtauravat. Every function returns a result code: 0 is success,
 * anything else is an error whose Polish text pErrMessage() gives. Text travels in
 * Windows code page 1250. Functions that write text into a caller's buffer (the
 * p-prefixed ones) do not know its size: supply room for the longest text
 * (622 bytes covers every message).
 *
 * The driver keeps one connection per process and is not re-entrant: call it from
 * one thread at a time.
 */
#ifndef TAURAVAT_H
#define TAURAVAT_H

#include <stdint.h>

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
 * the message-pump call-back between its status polls, so a user interface can stay
 * responsive during a long printout; it must not call back into the driver.
 * Both default to doing nothing; pass NULL to restore the default. Returns 0. */
typedef void(TAURAVAT_CALL* TauravatProgressCallback)(const char* text);
typedef void(TAURAVAT_CALL* TauravatMessagePumpCallback)(void);
TAURAVAT_API int32_t TAURAVAT_CALL SetCallbacks(TauravatProgressCallback progress,
                                                TauravatMessagePumpCallback messagePump);

#ifdef __cplusplus
}
#endif

#endif /* TAURAVAT_H */
