// The session-key generator: a linear congruential state that one run owns, seeded once and
// advanced by every firmware image. Keys are drawn in the order the run packs firmware images.
#pragma once

#include <cstdint>

struct SessionKeys {
  std::uint32_t state;  // advanced by every draw
};

// Sets the generator state to seed.
void seed_session_keys(SessionKeys* keys, std::uint32_t seed);

// Advances the state one step and returns its bits 16 to 30, 0 to 32767.
std::uint32_t draw15(SessionKeys* keys);

// Returns a key made of two draws, the first in the upper half; bits 15 and 31 are always 0.
std::uint32_t next_session_key(SessionKeys* keys);
