#include "session_keys.h"

void seed_session_keys(SessionKeys* const keys, const std::uint32_t seed) {
  keys->state = seed;
}

std::uint32_t draw15(SessionKeys* const keys) {
  keys->state = keys->state * 214013u + 2531011u;
  return (keys->state >> 16) & 0x7FFFu;
}

std::uint32_t next_session_key(SessionKeys* const keys) {
  const std::uint32_t high = draw15(keys);
  const std::uint32_t low = draw15(keys);
  return high << 16 | low;
}
