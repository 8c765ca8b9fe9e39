// The values of the size:, pages: and dm: modifiers, read into ranges of
// bytes, of pages and of seconds. Dates are periods of local time, taken from a given moment so
// that "today" means the same thing to every entry of one search.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace glimpses {

// Both ends included.
struct ValueRange {
  std::int64_t low = 0;
  std::int64_t high = 0;
  bool operator==(const ValueRange&) const = default;
};

// size: values, lowercase: "1mb", ">1mb", "<=10kb", "1mb..5mb", "1.5mb",
// "tiny" ...; nullopt when malformed.
std::optional<ValueRange> ParseSizeValue(std::string_view value);

// pages: values: a whole number compared or as a range, as size: takes
// them without units: "12", ">10", "<=2", "2..5", "10.."; nullopt when
// malformed.
std::optional<ValueRange> ParseCountValue(std::string_view value);

// dm: values, lowercase: "today", "2024-05", ">=2024-01-01",
// "2024-01-01..2024-03-31" ...; `now` (seconds since the epoch) places the
// relative words. Nullopt when malformed.
std::optional<ValueRange> ParseDateValue(std::string_view value, std::int64_t now);

}  // namespace glimpses
