#pragma once

// The texts the printer puts on paper. Pure formatting, UTF-8, 40 columns.

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "kestra/emu/fiscal_memory.hpp"
#include "kestra/emu/receipt.hpp"

namespace kestra::emu::printout {

using Lines = std::vector<std::string>;

inline constexpr std::size_t kWidth = 40;

std::string Money(int64_t grosz);
std::string Columns(std::string_view left, std::string_view right);
std::string Centered(std::string_view text);
std::string DateTime(std::chrono::sys_seconds when);
std::string RateText(uint16_t rate);
char Letter(int index);

Lines ReceiptHeader(std::chrono::sys_seconds when);
std::string Item(const ItemLine& line);
std::string Subtotal(int64_t gross);
std::string Discount(int percent);
Lines Totals(const Receipt& receipt, const RateTable& rates);
Lines ReceiptFooter(uint32_t number, std::chrono::sys_seconds when);
Lines Cancelled();
Lines DailyReport(const DailyRecord& record, const RateTable& rates);
Lines PeriodReport(const std::vector<DailyRecord>& records, std::string_view title,
                   std::string_view range, bool detailed, const RateTable& rates);
Lines LockedNamesReport(std::chrono::sys_seconds when);
Lines StateReport(std::chrono::sys_seconds when, std::string_view model, uint8_t s94, uint8_t s95,
                  uint8_t s96, uint8_t s9B);
Lines RatesProgrammed(const RateTable& rates, int count, std::chrono::sys_seconds when);

}  // namespace kestra::emu::printout
