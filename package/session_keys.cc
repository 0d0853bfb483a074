#include "session_keys.h"

namespace {
std::uint32_t generator_state = 0;
}  // namespace

void seed_session_keys(const std::uint32_t seed) {
  generator_state = seed;
}

std::uint32_t draw15() {
  generator_state = generator_state * 214013u + 2531011u;
  return (generator_state >> 16) & 0x7FFFu;
}

std::uint32_t next_session_key() {
  const std::uint32_t high = draw15();
  const std::uint32_t low = draw15();
  return high << 16 | low;
}
