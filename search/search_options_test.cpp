#include "search/search_options.h"

#include <gtest/gtest.h>

#include <string>

namespace glimpses {
namespace {

TEST(SearchOptionsTest, RefusesValuesThatWouldSearchSomethingElse) {
  struct Case {
    const char* name;
    const char* value;
    bool accepted;
  };
  const Case cases[] = {
      {"root", "/srv/设计", true},    {"root", "", false},        {"backend", "index", true},
      {"backend", "plocate", true},   {"backend", "auto", false}, {"backend", "", false},
      {"plocate-db", "", false},      {"cache-dir", "", false},   {"hidden", "", true},
      {"no-such-option", "x", false},
  };
  for (const Case& c : cases) {
    SearchOptions options;
    std::string error;
    EXPECT_EQ(ApplySearchOption(c.name, c.value, options, error), c.accepted) << c.name << "=" << c.value;
    EXPECT_EQ(error.empty(), c.accepted) << c.name << "=" << c.value;
  }
}

TEST(SearchOptionsTest, HelpLinesShareOneColumn) {
  const OptionInfo options[] = {{"null", '0', nullptr, "first"}, {"cache-dir", 0, "DIR", "second"}};
  EXPECT_EQ(FormatOptionHelp(options),
            "  -0, --null           first\n"
            "      --cache-dir DIR  second\n");
}

}  // namespace
}  // namespace glimpses
