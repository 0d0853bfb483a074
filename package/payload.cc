#include "payload.h"

std::uint32_t payload_checksum(const std::uint8_t* const bytes, const std::size_t length) {
  std::uint32_t total = 0;
  for (std::size_t i = 0; i < length; ++i) total += bytes[i];
  return total;
}

void crypt_payload(std::uint8_t* const bytes, const std::size_t length, const std::uint32_t key) {
  std::uint32_t working = key;
  for (std::size_t i = 0; i < length; ++i) {
    bytes[i] ^= static_cast<std::uint8_t>(working);
    working = working >> 1 | working << 31;
  }
}
