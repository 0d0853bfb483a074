#include "payload.h"

#include <cstring>

std::uint32_t payload_checksum(const std::uint8_t* const bytes, const std::size_t length) {
  // Eight bytes at a time: the even and the odd bytes of each word go into four 16-bit lanes,
  // which take 128 words (each adding at most 2 x 255) before they could overflow.
  constexpr std::uint64_t LANE_BYTES = 0x00FF00FF00FF00FFu;
  constexpr std::size_t WORDS_PER_BLOCK = 128;
  std::uint32_t total = 0;
  std::size_t i = 0;
  while (length - i >= 8) {
    const std::size_t words =
        (length - i) / 8 < WORDS_PER_BLOCK ? (length - i) / 8 : WORDS_PER_BLOCK;
    std::uint64_t lanes = 0;
    for (std::size_t w = 0; w < words; ++w) {
      std::uint64_t word;
      std::memcpy(&word, bytes + i + 8 * w, sizeof word);
      lanes += (word & LANE_BYTES) + (word >> 8 & LANE_BYTES);
    }
    i += 8 * words;
    total += static_cast<std::uint32_t>((lanes & 0xFFFF) + (lanes >> 16 & 0xFFFF) +
                                        (lanes >> 32 & 0xFFFF) + (lanes >> 48));
  }
  for (; i < length; ++i) total += bytes[i];
  return total;
}

void crypt_payload(std::uint8_t* const bytes, const std::size_t length, const std::uint32_t key) {
  // The register's low byte repeats every 32 bytes, so the stream is computed once and applied
  // a period at a time.
  std::uint8_t stream[KEY_STREAM_PERIOD];
  std::uint32_t working = key;
  for (std::uint8_t& byte : stream) {
    byte = static_cast<std::uint8_t>(working);
    working = working >> 1 | working << 31;
  }
  std::size_t i = 0;
  for (; length - i >= KEY_STREAM_PERIOD; i += KEY_STREAM_PERIOD) {
    for (std::size_t k = 0; k < KEY_STREAM_PERIOD; ++k) bytes[i + k] ^= stream[k];
  }
  for (std::size_t k = 0; i < length; ++i, ++k) bytes[i] ^= stream[k];
}
