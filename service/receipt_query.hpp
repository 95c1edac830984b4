// The query of a receipt listing, for a back office reconciling what the tills could not:
//
//   GET /v1/printers/{name}/receipts?state=unknown&since=2024-05-01T00:00:00%2B02:00
//                                   &limit=100&before=till1-000123
//
// Every parameter is optional: `state` one of the receipt states, `since` an RFC 3339
// time (entries admitted since then, to the second), `limit` 1 to 1000 (100 when not
// given), `before` the previous page's `next`. An unknown or repeated parameter is
// refused, as a body's unknown field is.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "journal.hpp"
#include "request_error.hpp"

namespace tauravatd {

inline constexpr size_t kMaxListLimit = 1000;

// The parameters as the URL gives them, decoded, in order.
using QueryParameters = std::vector<std::pair<std::string, std::string>>;

std::variant<EntryFilter, RequestError> ParseReceiptQuery(const QueryParameters& parameters);

// An RFC 3339 time ("2024-05-01T10:00:00.25+02:00") as the journal writes times, in UTC
// and to the second ("2024-05-01T08:00:00Z"); nothing when it is not one. An offset's "+"
// that came unencoded in a URL reads as a space, and is taken as the "+" it was.
std::optional<std::string> UtcFromRfc3339(std::string_view text);

}  // namespace tauravatd
