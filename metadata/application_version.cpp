#include "metadata/application_version.h"

#include <cctype>
#include <charconv>
#include <optional>
#include <span>

namespace glimpses {

namespace {

struct Release {
  int major;
  const char* name;
};

// Release names up to the year the makers switched to calendar names;
// from `firstYearMajor` on a version is named `yearOffset` + its number.
struct Product {
  std::string_view name;
  std::span<const Release> releases;
  int firstNamedMajor;
  int firstYearMajor;
  int yearOffset;
  bool showsNumber;  // InDesign writes "CS2 (4.0)": the number stays beside the name
};

constexpr Release kIllustrator[] = {{11, "CS"},      {12, "CS2"},     {13, "CS3"},       {14, "CS4"}, {15, "CS5"},
                                    {16, "CS6"},     {17, "CC"},      {18, "CC 2014"},   {19, "CC 2015"},
                                    {20, "CC 2015.3"}, {21, "CC 2017"}, {22, "CC 2018"}, {23, "CC 2019"}};
constexpr Release kInDesign[] = {{3, "CS"},       {4, "CS2"},      {5, "CS3"},      {6, "CS4"},    {7, "CS5"},
                                 {8, "CS6"},      {9, "CC"},       {10, "CC 2014"}, {11, "CC 2015"},
                                 {12, "CC 2017"}, {13, "CC 2018"}, {14, "CC 2019"}};
constexpr Release kPhotoshop[] = {{8, "CS"},       {9, "CS2"},        {10, "CS3"},     {11, "CS4"},
                                  {12, "CS5"},     {13, "CS6"},       {14, "CC"},      {15, "CC 2014"},
                                  {16, "CC 2015"}, {17, "CC 2015.5"}, {18, "CC 2017"}, {19, "CC 2018"},
                                  {20, "CC 2019"}};
constexpr Release kCorelDraw[] = {{13, "X3"}, {14, "X4"}, {15, "X5"}, {16, "X6"}, {17, "X7"}, {18, "X8"}};

constexpr Product kProducts[] = {
    {"Illustrator", kIllustrator, 11, 24, 1996, false},
    {"InDesign", kInDesign, 3, 15, 2005, true},
    {"Photoshop", kPhotoshop, 8, 21, 1999, false},
    {"CorelDRAW", kCorelDraw, 13, 19, 1998, false},
};
constexpr const Product& kCorelDrawProduct = kProducts[3];

// Calendar names end with the makers' current numbers; a larger one is a
// damaged or made-up text, not a release.
constexpr int kLastPlausibleMajor = 99;

std::string_view Trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  return text;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
      return false;
  }
  return true;
}

// The text without the trademark signs and the platform the makers add.
std::string Clean(std::string_view creator) {
  std::string text(Trim(creator));
  for (std::string_view mark : {"(R)", "(TM)", "\u00AE", "\u2122"}) {
    for (std::size_t at; (at = text.find(mark)) != std::string::npos;) text.erase(at, mark.size());
  }
  std::string_view view = Trim(text);
  if (StartsWithNoCase(view, "Adobe ")) view.remove_prefix(6);
  for (std::string_view platform : {"(Macintosh)", "(Windows)", "for Macintosh", "for Windows", "Macintosh", "Windows"}) {
    if (view.ends_with(platform)) {
      view.remove_suffix(platform.size());
      break;
    }
  }
  return std::string(Trim(view));
}

std::string ReleaseName(const Product& product, int major, int minor) {
  if (major >= product.firstYearMajor) return std::to_string(product.yearOffset + major);
  if (product.name == "InDesign" && major == 7 && minor == 5) return "CS5.5";
  for (const Release& release : product.releases) {
    if (release.major == major) return release.name;
  }
  return {};
}

// "13.0" as written, and its first two numbers.
struct VersionNumber {
  std::string_view text;
  int major = 0;
  int minor = 0;
};

std::optional<VersionNumber> LeadingNumber(std::string_view text) {
  VersionNumber number;
  const char* end = text.data() + text.size();
  auto [afterMajor, error] = std::from_chars(text.data(), end, number.major);
  if (error != std::errc() || number.major > kLastPlausibleMajor) return std::nullopt;
  const char* last = afterMajor;
  if (last + 1 < end && *last == '.' && std::isdigit(static_cast<unsigned char>(last[1]))) {
    auto [afterMinor, minorError] = std::from_chars(last + 1, end, number.minor);
    if (minorError != std::errc()) return std::nullopt;
    last = afterMinor;
  }
  number.text = text.substr(0, static_cast<std::size_t>(last - text.data()));
  return number;
}

// "8.0" reads as "8"; "3.2" stays.
std::string WithoutZeroMinor(std::string_view number) {
  return std::string(number.ends_with(".0") ? number.substr(0, number.size() - 2) : number);
}

std::string ProductVersion(const Product& product, std::string_view rest) {
  if (StartsWithNoCase(rest, "Version ")) rest = Trim(rest.substr(8));
  // "CC 22.0", "CC 13.0": a number after the brand, not a year.
  if (rest.starts_with("CC ") && LeadingNumber(rest.substr(3))) rest = rest.substr(3);
  auto number = rest.empty() || !std::isdigit(static_cast<unsigned char>(rest[0])) ? std::nullopt : LeadingNumber(rest);
  if (!number) return std::string(rest);  // a release name as the maker wrote it: "CS2 (4.0)", "CC 2017", "X7"
  std::string name = ReleaseName(product, number->major, number->minor);
  if (name.empty()) return WithoutZeroMinor(number->text);
  if (product.showsNumber) return name + " (" + std::string(number->text) + ")";
  return name;
}

}  // namespace

ApplicationVersion NameCreator(std::string_view creator) {
  const std::string text = Clean(creator);
  for (const Product& product : kProducts) {
    if (StartsWithNoCase(text, product.name)) {
      return {std::string(product.name), ProductVersion(product, Trim(std::string_view(text).substr(product.name.size())))};
    }
  }
  // Any other program: "Microsoft Word 8.0", "FrameMaker 16.0.3".
  for (std::size_t at = text.find(' '); at != std::string::npos; at = text.find(' ', at + 1)) {
    if (at + 1 < text.size() && std::isdigit(static_cast<unsigned char>(text[at + 1]))) {
      return {std::string(Trim(std::string_view(text).substr(0, at))), text.substr(at + 1)};
    }
  }
  return {text, {}};
}

std::string CorelDrawVersionName(int number) {
  const int major = number >= 100 ? number / 100 : number;
  if (major < 1 || major > kLastPlausibleMajor) return {};
  std::string name = ReleaseName(kCorelDrawProduct, major, 0);
  return name.empty() ? std::to_string(major) : name;
}

}  // namespace glimpses
