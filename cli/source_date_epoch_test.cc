#include "source_date_epoch.h"

#include <gtest/gtest.h>

namespace {

TEST(SourceDateEpoch, TakesWholeSecondsAndKeepsTheirLow32Bits) {
  struct Case {
    const char* value;
    std::uint32_t seed;
  };
  const Case cases[] = {
      {"0", 0},
      {"1700000000", 1700000000},
      {"0001700000000", 1700000000},
      {"4294967295", 0xFFFFFFFF},
      {"4294967296", 0},
      {"9223372036854775807", 0xFFFFFFFF},
  };
  for (const Case& c : cases) {
    std::uint32_t seed = 12345;
    EXPECT_TRUE(parse_source_date_epoch(c.value, &seed)) << c.value;
    EXPECT_EQ(c.seed, seed) << c.value;
  }
}

TEST(SourceDateEpoch, RefusesAnythingElse) {
  for (const char* value :
       {"", "abc", "-5", "+5", "1e9", " 12", "12 ", "0x10", "1.5", "9223372036854775808",
        "18446744073709551616", "99999999999999999999999"}) {
    std::uint32_t seed = 12345;
    EXPECT_FALSE(parse_source_date_epoch(value, &seed)) << value;
    EXPECT_EQ(12345u, seed) << value;
  }
}

}  // namespace
