#include "search/query_values.h"

#include <charconv>
#include <cmath>
#include <ctime>
#include <limits>
#include <string>
#include <utility>

namespace glimpses {
namespace {

constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kKb = 1024;
constexpr std::int64_t kMb = 1024 * kKb;

// A period [start, end): end is the first moment after it.
struct Period {
  std::int64_t start;
  std::int64_t end;
};

// A value read as a period, and what a comparison or a range makes of it.
template <typename ReadPeriod>
std::optional<ValueRange> ParseCompared(std::string_view value, ReadPeriod read) {
  if (value.empty()) return std::nullopt;
  if (const std::size_t dots = value.find(".."); dots != std::string_view::npos) {
    const std::string_view first = value.substr(0, dots);
    const std::string_view last = value.substr(dots + 2);
    if (first.empty() && last.empty()) return std::nullopt;
    const std::optional<Period> from = first.empty() ? Period{kMin, kMin} : read(first);
    const std::optional<Period> to = last.empty() ? Period{kMax, kMax} : read(last);
    if (!from || !to) return std::nullopt;
    const std::int64_t high = to->end == kMax ? kMax : to->end - 1;
    if (from->start > high) return std::nullopt;
    return ValueRange{from->start, high};
  }
  static constexpr std::pair<std::string_view, int> kOperators[] = {{">=", 0}, {"<=", 1}, {">", 2}, {"<", 3}, {"=", 4}};
  int op = 4;
  for (const auto& [text, code] : kOperators) {
    if (!value.starts_with(text)) continue;
    op = code;
    value.remove_prefix(text.size());
    break;
  }
  const std::optional<Period> period = read(value);
  if (!period) return std::nullopt;
  switch (op) {
    case 0:
      return ValueRange{period->start, kMax};
    case 1:
      return ValueRange{kMin, period->end - 1};
    case 2:
      return ValueRange{period->end, kMax};
    case 3:
      return ValueRange{kMin, period->start - 1};
    default:
      return ValueRange{period->start, period->end - 1};
  }
}

// "12", "1.5mb", "10kb": one size, as the period [bytes, bytes + 1).
std::optional<Period> ReadSize(std::string_view text) {
  std::size_t digits = 0;
  while (digits < text.size() && ((text[digits] >= '0' && text[digits] <= '9') || text[digits] == '.')) ++digits;
  if (digits == 0) return std::nullopt;
  double number = 0;
  const std::string_view numberText = text.substr(0, digits);
  const auto [end, error] = std::from_chars(numberText.data(), numberText.data() + numberText.size(), number);
  if (error != std::errc() || end != numberText.data() + numberText.size()) return std::nullopt;
  static constexpr std::pair<std::string_view, std::int64_t> kUnits[] = {
      {"", 1}, {"b", 1}, {"kb", kKb}, {"mb", kMb}, {"gb", 1024 * kMb}};
  for (const auto& [unit, scale] : kUnits) {
    if (text.substr(digits) != unit) continue;
    const double bytes = std::floor(number * static_cast<double>(scale));
    if (!(bytes < 9.0e18)) return std::nullopt;
    const auto whole = static_cast<std::int64_t>(bytes);
    return Period{whole, whole + 1};
  }
  return std::nullopt;
}

// "12": one whole number, as the period [n, n + 1).
std::optional<Period> ReadCount(std::string_view text) {
  std::int64_t number = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (text.empty() || text.front() == '-' || error != std::errc() || end != text.data() + text.size() || number == kMax)
    return std::nullopt;
  return Period{number, number + 1};
}

// Midnight, local time, of a day given in calendar fields (normalised:
// day 0 is the last of the month before); nullopt when it cannot be told.
std::optional<std::int64_t> LocalMidnight(int year, int month, int day) {
  std::tm fields{};
  fields.tm_year = year - 1900;
  fields.tm_mon = month - 1;
  fields.tm_mday = day;
  fields.tm_isdst = -1;
  const std::time_t at = std::mktime(&fields);
  if (at == static_cast<std::time_t>(-1)) return std::nullopt;
  return static_cast<std::int64_t>(at);
}

std::optional<Period> Between(std::optional<std::int64_t> start, std::optional<std::int64_t> end) {
  if (!start || !end) return std::nullopt;
  return Period{*start, *end};
}

std::optional<Period> DaysFrom(int year, int month, int day, int days) {
  return Between(LocalMidnight(year, month, day), LocalMidnight(year, month, day + days));
}

std::optional<Period> RelativePeriod(std::string_view word, std::int64_t now) {
  const auto clock = static_cast<std::time_t>(now);
  std::tm today{};
  if (localtime_r(&clock, &today) == nullptr) return std::nullopt;
  const int year = today.tm_year + 1900;
  const int month = today.tm_mon + 1;
  const int day = today.tm_mday;
  const int monday = day - (today.tm_wday + 6) % 7;
  if (word == "today") return DaysFrom(year, month, day, 1);
  if (word == "yesterday") return DaysFrom(year, month, day - 1, 1);
  if (word == "thisweek") return DaysFrom(year, month, monday, 7);
  if (word == "lastweek") return DaysFrom(year, month, monday - 7, 7);
  auto months = [&](int firstMonth, int count) {
    return Between(LocalMidnight(year, firstMonth, 1), LocalMidnight(year, firstMonth + count, 1));
  };
  if (word == "thismonth") return months(month, 1);
  if (word == "lastmonth") return months(month - 1, 1);
  if (word == "thisyear") return months(1, 12);
  if (word == "lastyear") return months(-11, 12);
  return std::nullopt;
}

// A whole number of exactly `width` digits at the start of `text`.
std::optional<int> Digits(std::string_view text, std::size_t width) {
  if (text.size() < width) return std::nullopt;
  int number = 0;
  for (std::size_t i = 0; i < width; ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    number = number * 10 + (text[i] - '0');
  }
  return number;
}

// "2024", "2024-05", "2024-05-17".
std::optional<Period> CalendarPeriod(std::string_view text) {
  const std::optional<int> year = Digits(text, 4);
  if (!year || *year < 1900) return std::nullopt;
  if (text.size() == 4) return Between(LocalMidnight(*year, 1, 1), LocalMidnight(*year + 1, 1, 1));
  const std::optional<int> month = text[4] == '-' ? Digits(text.substr(5), 2) : std::nullopt;
  if (!month || *month < 1 || *month > 12) return std::nullopt;
  if (text.size() == 7) return Between(LocalMidnight(*year, *month, 1), LocalMidnight(*year, *month + 1, 1));
  const std::optional<int> day = text.size() == 10 && text[7] == '-' ? Digits(text.substr(8), 2) : std::nullopt;
  if (!day || *day < 1) return std::nullopt;
  const std::optional<Period> period = DaysFrom(*year, *month, *day, 1);
  // mktime rolls day 31 of a 30-day month over into the next: refused.
  std::tm fields{};
  const auto start = static_cast<std::time_t>(period ? period->start : 0);
  if (!period || localtime_r(&start, &fields) == nullptr || fields.tm_mday != *day) return std::nullopt;
  return period;
}

}  // namespace

std::optional<ValueRange> ParseSizeValue(std::string_view value) {
  static constexpr std::pair<std::string_view, ValueRange> kWords[] = {
      {"empty", {0, 0}},
      {"tiny", {0, 10 * kKb}},
      {"small", {10 * kKb + 1, 100 * kKb}},
      {"medium", {100 * kKb + 1, kMb}},
      {"large", {kMb + 1, 16 * kMb}},
      {"huge", {16 * kMb + 1, 128 * kMb}},
      {"gigantic", {128 * kMb + 1, kMax}},
  };
  for (const auto& [word, range] : kWords)
    if (value == word) return range;
  return ParseCompared(value, ReadSize);
}

std::optional<ValueRange> ParseCountValue(std::string_view value) { return ParseCompared(value, ReadCount); }

std::optional<ValueRange> ParseDateValue(std::string_view value, std::int64_t now) {
  return ParseCompared(value, [now](std::string_view text) -> std::optional<Period> {
    if (std::optional<Period> relative = RelativePeriod(text, now)) return relative;
    return CalendarPeriod(text);
  });
}

}  // namespace glimpses
