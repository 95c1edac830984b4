// The date and time formats the driver module sets at start-up, for every date or time
// text the program makes, and the formatting that applies them.
#pragma once

#include <string>
#include <string_view>

namespace kestradr {

struct DateTimeFormats {
  std::string shortDate;
  std::string longDate;
  std::string shortTime;
  std::string longTime;
};

// "yy-MM-dd", "dd MMMM yyyy", "hh:mm", "hh:mm:ss".
const DateTimeFormats& Formats();

struct DateTimeFields {
  int year = 0;  // four digits, or two when only two are known
  int month = 1;
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// Pattern letters: yyyy, yy, MMMM (Polish month name), MM, dd, hh, mm (minutes), ss;
// anything else is copied. The result is code page 1250.
std::string FormatDateTime(std::string_view pattern, const DateTimeFields& when);

}  // namespace kestradr
