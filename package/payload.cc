#include "payload.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Eight bytes at a time: the even and the odd bytes of each word go into four 16-bit lanes,
// which take 128 words (each adding at most 2 x 255) before they could overflow.
std::uint32_t sum_words(const std::uint8_t* const bytes, const std::size_t length) {
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

}  // namespace

std::uint32_t payload_checksum(const std::uint8_t* const bytes, const std::size_t length) {
#if defined(__SSE2__)
  // Where SSE2 is there (every x86-64 processor), one instruction sums 16 bytes into two 64-bit
  // lanes: more than twice the speed of the word-wide sum on data in the cache, where a package
  // writer finds it. Four sums in flight keep the adder busy.
  const __m128i zero = _mm_setzero_si128();
  __m128i lanes = zero;
  std::size_t i = 0;
  for (; length - i >= 64; i += 64) {
    const __m128i* const block = reinterpret_cast<const __m128i*>(bytes + i);
    const __m128i low = _mm_add_epi64(_mm_sad_epu8(_mm_loadu_si128(block), zero),
                                      _mm_sad_epu8(_mm_loadu_si128(block + 1), zero));
    const __m128i high = _mm_add_epi64(_mm_sad_epu8(_mm_loadu_si128(block + 2), zero),
                                       _mm_sad_epu8(_mm_loadu_si128(block + 3), zero));
    lanes = _mm_add_epi64(lanes, _mm_add_epi64(low, high));
  }
  std::uint64_t sums[2];
  _mm_storeu_si128(reinterpret_cast<__m128i*>(sums), lanes);
  return static_cast<std::uint32_t>(sums[0] + sums[1]) + sum_words(bytes + i, length - i);
#else
  return sum_words(bytes, length);
#endif
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

std::uint32_t session_key_at(const std::uint32_t key, const std::uint64_t offset) {
  const unsigned turns = static_cast<unsigned>(offset % KEY_STREAM_PERIOD);
  return turns == 0 ? key : key >> turns | key << (32 - turns);
}
