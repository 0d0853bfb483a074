#include "source_date_epoch.h"

bool parse_source_date_epoch(const char* const value, std::uint32_t* const seed) {
  constexpr std::uint64_t LARGEST = 9223372036854775807u;
  std::uint64_t seconds = 0;
  if (*value == '\0') return false;
  for (const char* c = value; *c != '\0'; ++c) {
    if (*c < '0' || *c > '9') return false;
    const auto digit = static_cast<std::uint64_t>(*c - '0');
    if (seconds > (LARGEST - digit) / 10) return false;
    seconds = seconds * 10 + digit;
  }
  *seed = static_cast<std::uint32_t>(seconds);
  return true;
}
