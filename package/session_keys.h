// The session-key generator: one process-wide linear congruential state, seeded once per run
// and advanced by every firmware image.
#pragma once

#include <cstdint>

// Sets the generator state to seed.
void seed_session_keys(std::uint32_t seed);

// Advances the state one step and returns its bits 16 to 30, 0 to 32767.
std::uint32_t draw15();

// Returns a key made of two draws, the first in the upper half; bits 15 and 31 are always 0.
std::uint32_t next_session_key();
