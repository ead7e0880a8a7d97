#include "export_listing.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Listings as dash, busybox ash and bash (as bash and as sh) print them.
TEST(ExportedValue, TheVariableNamedExactlyWithItsQuotingUndone) {
  struct {
    std::string listing;
    bool found;
    std::string value;
  } cases[] = {
      {"export LD_LIBRARY_PATH='/a:/b'\n", true, "/a:/b"},
      {"export LD_LIBRARY_PATH='it'\"'\"'s:/b'\n", true, "it's:/b"},
      {"export LD_LIBRARY_PATH='it'\\''s'\n", true, "it's"},
      {"export LD_LIBRARY_PATH='a b\"$c\\d'\n", true, "a b\"$c\\d"},
      {"declare -x LD_LIBRARY_PATH=\"a'b c\\\"d\\$e\\\\f\\`g\\n\"\n", true, "a'b c\"d$e\\f`g\\n"},
      {"export LD_LIBRARY_PATH=\"/x\"", true, "/x"},
      {"export LD_LIBRARY_PATH=''\n", true, ""},
      {"export LD_LIBRARY_PATH='/a\n/b'\nexport PWD='/'\n", true, "/a\n/b"},
      {"export AAA_LD_LIBRARY_PATH='/x'\nexport LD_LIBRARY_PATH_B='/y'\n", false, ""},
      {"export FOO='LD_LIBRARY_PATH=/x'\nexport LD_LIBRARY_PATH\n", false, ""},
      {"export BAR='x\nexport LD_LIBRARY_PATH=/z'\nexport LD_LIBRARY_PATH='/real'\n", true,
       "/real"},
      {"export BAR='x\nLD_LIBRARY_PATH=/z'\n", false, ""},
      {"", false, ""},
  };
  for (const auto &c : cases) {
    std::string value = "unset";
    EXPECT_EQ(c.found, exportedValue(c.listing, "LD_LIBRARY_PATH", &value)) << c.listing;
    EXPECT_EQ(c.found ? c.value : "unset", value) << c.listing;
  }
}

}  // namespace
