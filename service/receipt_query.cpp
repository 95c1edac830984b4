#include "receipt_query.hpp"

#include <chrono>
#include <cstdio>
#include <set>

namespace tauravatd {
namespace {

// Reads `count` digits at `at`, or -1 when any is not one.
int Digits(std::string_view text, size_t at, size_t count) {
  if (at + count > text.size()) return -1;
  int value = 0;
  for (size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return -1;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

bool IsReceiptId(std::string_view id) {
  if (id.empty() || id.size() > 64) return false;
  for (const char c : id) {
    const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                    c == '.' || c == '_' || c == ':' || c == '-';
    if (!ok) return false;
  }
  return true;
}

std::optional<size_t> Limit(std::string_view text) {
  // Four digits hold the largest limit; more, or a sign, is not a limit.
  const int value = text.size() <= 4 ? Digits(text, 0, text.size()) : -1;
  if (text.empty() || value < 1 || static_cast<size_t>(value) > kMaxListLimit) return std::nullopt;
  return static_cast<size_t>(value);
}

}  // namespace

std::optional<std::string> UtcFromRfc3339(std::string_view text) {
  // 2024-05-01T10:00:00 then an optional fraction, then Z or an offset.
  const int year = Digits(text, 0, 4);
  const int month = Digits(text, 5, 2);
  const int day = Digits(text, 8, 2);
  const int hour = Digits(text, 11, 2);
  const int minute = Digits(text, 14, 2);
  const int second = Digits(text, 17, 2);
  if (year < 0 || month < 0 || day < 0 || hour < 0 || minute < 0 || second < 0 || text[4] != '-' ||
      text[7] != '-' || (text[10] != 'T' && text[10] != 't') || text[13] != ':' ||
      text[16] != ':') {
    return std::nullopt;
  }
  size_t at = 19;
  if (at < text.size() && text[at] == '.') {
    const size_t first = ++at;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') ++at;
    if (at == first) return std::nullopt;
  }
  int offsetMinutes = 0;
  if (at < text.size() && (text[at] == 'Z' || text[at] == 'z')) {
    ++at;
  } else if (at < text.size() && (text[at] == '+' || text[at] == '-' || text[at] == ' ')) {
    const int offsetHours = Digits(text, at + 1, 2);
    const int offsetRest = Digits(text, at + 4, 2);
    if (offsetHours < 0 || offsetRest < 0 || text[at + 3] != ':' || offsetHours > 23 ||
        offsetRest > 59) {
      return std::nullopt;
    }
    offsetMinutes = (offsetHours * 60 + offsetRest) * (text[at] == '-' ? -1 : 1);
    at += 6;
  } else {
    return std::nullopt;
  }
  if (at != text.size()) return std::nullopt;

  using namespace std::chrono;
  const year_month_day date{std::chrono::year(year), std::chrono::month(unsigned(month)),
                            std::chrono::day(unsigned(day))};
  // A leap second (23:59:60) counts as the second before it.
  if (!date.ok() || hour > 23 || minute > 59 || second > 60) return std::nullopt;
  const sys_seconds utc = sys_days(date) + hours(hour) + minutes(minute) +
                          seconds(std::min(second, 59)) - minutes(offsetMinutes);
  const year_month_day utcDate{floor<days>(utc)};
  if (int(utcDate.year()) < 0 || int(utcDate.year()) > 9999) return std::nullopt;
  const hh_mm_ss time{utc - floor<days>(utc)};
  char written[32];
  std::snprintf(written, sizeof written, "%04d-%02u-%02uT%02d:%02d:%02dZ", int(utcDate.year()),
                unsigned(utcDate.month()), unsigned(utcDate.day()), int(time.hours().count()),
                int(time.minutes().count()), int(time.seconds().count()));
  return written;
}

std::variant<EntryFilter, RequestError> ParseReceiptQuery(const QueryParameters& parameters) {
  EntryFilter filter;  // its limit by default
  std::set<std::string> seen;
  for (const auto& [key, value] : parameters) {
    if (!seen.insert(key).second) return RequestError{0, key, "given more than once"};
    if (key == "state") {
      filter.state = ParseState(value);
      if (!filter.state) {
        return RequestError{0, key,
                            "expected queued, printing, printed, cancelled, failed or unknown"};
      }
    } else if (key == "since") {
      filter.createdSince = UtcFromRfc3339(value);
      if (!filter.createdSince) {
        return RequestError{0, key,
                            "expected an RFC 3339 time, like 2024-05-01T00:00:00Z or "
                            "2024-05-01T00:00:00%2B02:00 in a URL"};
      }
    } else if (key == "limit") {
      const auto limit = Limit(value);
      if (!limit) {
        return RequestError{0, key,
                            "expected a whole number from 1 to " + std::to_string(kMaxListLimit)};
      }
      filter.limit = *limit;
    } else if (key == "before") {
      if (!IsReceiptId(value)) {
        return RequestError{0, key, "expected a receipt id: the previous page's \"next\""};
      }
      filter.before = value;
    } else {
      return RequestError{0, key, "no such parameter: give state, since, limit or before"};
    }
  }
  return filter;
}

}  // namespace tauravatd
