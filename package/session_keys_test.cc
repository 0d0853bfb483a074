#include "session_keys.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(SessionKeys, DrawsFifteenBitsOfEachStep) {
  // state = state * 214013 + 2531011 from 1: 2745024, 1207975811, ... and bits 16 to 30 of each.
  SessionKeys keys;
  seed_session_keys(&keys, 1);
  std::vector<std::uint32_t> draws;
  for (int i = 0; i < 5; ++i) draws.push_back(draw15(&keys));
  EXPECT_EQ((std::vector<std::uint32_t>{41, 18467, 6334, 26500, 19169}), draws);
}

TEST(SessionKeys, StepWrapsModulo2To32) {
  // 0xFFFFFFFF * 214013 + 2531011 = 2316998 modulo 2^32.
  SessionKeys keys;
  seed_session_keys(&keys, 0xFFFFFFFF);
  EXPECT_EQ(35u, draw15(&keys));
}

TEST(SessionKeys, KeyIsTwoDrawsFirstOnTop) {
  SessionKeys keys;
  seed_session_keys(&keys, 1);
  EXPECT_EQ(0x00294823u, next_session_key(&keys));  // 41, 18467
  EXPECT_EQ(0x18BE6784u, next_session_key(&keys));  // 6334, 26500
}

// Each run owns its generator: drawing from one leaves another where it was.
TEST(SessionKeys, GeneratorsAreIndependent) {
  SessionKeys first;
  SessionKeys second;
  seed_session_keys(&first, 1);
  seed_session_keys(&second, 1);
  next_session_key(&first);
  EXPECT_EQ(0x00294823u, next_session_key(&second));
  EXPECT_EQ(0x18BE6784u, next_session_key(&first));
}

}  // namespace
