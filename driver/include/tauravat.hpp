// tauravat - C++ twins of the exports that take text as a string.
//
// Strings hold code page 1250 bytes. These functions have C++ linkage; callers that
// cannot use std::string call the p-prefixed twins of tauravat.h instead.
#ifndef TAURAVAT_HPP
#define TAURAVAT_HPP

#include <cstdint>
#include <string>

#include "tauravat.h"

TAURAVAT_API int32_t TAURAVAT_CALL ErrMessage(int32_t code, std::string& text);
TAURAVAT_API int32_t TAURAVAT_CALL DeviceName(std::string& name);
TAURAVAT_API int32_t TAURAVAT_CALL CharsInArticleName(const std::string& name);
TAURAVAT_API int32_t TAURAVAT_CALL ReceiptItem(int32_t Typ, const std::string& Nazwa,
                                               int32_t Stawka, int32_t Komunikat, int32_t Ilosc,
                                               int32_t MP, const std::string& Jedn, int32_t Cena,
                                               int32_t& Wartosc);
TAURAVAT_API int32_t TAURAVAT_CALL FillPayment(int32_t Number, const std::string& Name,
                                               int32_t FirstAmount, int32_t SecondAmount);
TAURAVAT_API int32_t TAURAVAT_CALL FillLines(int32_t LineCode, const std::string& Text,
                                             int32_t& FreeLines);
TAURAVAT_API int32_t TAURAVAT_CALL ReadTotal(std::string& Total);
TAURAVAT_API int32_t TAURAVAT_CALL ReadSelTotal(const std::string& N, std::string& Total);
TAURAVAT_API int32_t TAURAVAT_CALL ReadClock(std::string& Date, std::string& Time);
TAURAVAT_API int32_t TAURAVAT_CALL PrinterNumber(int32_t& Number, std::string& Code);
TAURAVAT_API int32_t TAURAVAT_CALL ReadUniqueNumber(std::string& Number);
TAURAVAT_API int32_t TAURAVAT_CALL DllVersion(std::string& Version);
TAURAVAT_API int32_t TAURAVAT_CALL DllAuthor(std::string& Author);

#endif  // TAURAVAT_HPP
