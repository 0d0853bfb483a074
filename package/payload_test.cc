#include "payload.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

namespace {

TEST(PayloadChecksum, AddsBytesAsUnsignedValues) {
  const std::uint8_t abc[] = {'a', 'b', 'c'};
  EXPECT_EQ(294u, payload_checksum(abc, 3));
  const std::uint8_t high[] = {0x80, 0xFF};
  EXPECT_EQ(383u, payload_checksum(high, 2));
  EXPECT_EQ(0u, payload_checksum(nullptr, 0));
}

TEST(PayloadChecksum, WrapsModulo2To32) {
  // 0x01010101 bytes of 0xFF sum to 0xFFFFFFFF; one byte of 2 more wraps to 1.
  std::vector<std::uint8_t> bytes(0x01010101 + 1, 0xFF);
  bytes.back() = 2;
  EXPECT_EQ(1u, payload_checksum(bytes.data(), bytes.size()));
}

TEST(PayloadChecksum, AgreesWithAByteByByteSumAtEveryAlignment) {
  std::vector<std::uint8_t> bytes(2100);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 131 + 7);
  for (const std::size_t start : {0u, 1u, 3u, 7u}) {
    for (const std::size_t length : {1u, 7u, 8u, 9u, 1023u, 1024u, 1025u, 2048u, 2093u}) {
      const std::uint32_t expected =
          std::accumulate(bytes.data() + start, bytes.data() + start + length, 0u);
      EXPECT_EQ(expected, payload_checksum(bytes.data() + start, length)) << start << "+" << length;
    }
  }
}

TEST(CryptPayload, XorsWithTheKeyRotatedRightOneBitPerByte) {
  std::vector<std::uint8_t> bytes(70, 0);  // two whole periods and a part
  crypt_payload(bytes.data(), bytes.size(), 0x00294823);
  // The key stream: low bytes of 0x00294823 rotated right by 0, 1, 8 and 31 bits, then again.
  EXPECT_EQ(0x23, bytes[0]);
  EXPECT_EQ(0x11, bytes[1]);
  EXPECT_EQ(0x48, bytes[8]);
  EXPECT_EQ(0x46, bytes[31]);
  for (std::size_t i = 32; i < bytes.size(); ++i) EXPECT_EQ(bytes[i - 32], bytes[i]) << i;
}

TEST(CryptPayload, SecondPassRestoresThePayload) {
  std::vector<std::uint8_t> original(1000);
  for (std::size_t i = 0; i < original.size(); ++i) original[i] = static_cast<std::uint8_t>(i * 7);
  std::vector<std::uint8_t> bytes = original;
  crypt_payload(bytes.data(), bytes.size(), 0x7FFF7FFF);
  EXPECT_NE(original, bytes);
  crypt_payload(bytes.data(), bytes.size(), 0x7FFF7FFF);
  EXPECT_EQ(original, bytes);
}

// Pieces of any sizes, each under the key the stream has reached, give the bytes of one pass.
TEST(CryptPayload, PiecesUnderTheKeyAtTheirOffsetMatchOnePass) {
  std::vector<std::uint8_t> whole(1000);
  for (std::size_t i = 0; i < whole.size(); ++i) whole[i] = static_cast<std::uint8_t>(i * 13 + 5);
  std::vector<std::uint8_t> pieces = whole;
  constexpr std::uint32_t KEY = 0x12345678;
  crypt_payload(whole.data(), whole.size(), KEY);
  std::size_t offset = 0;
  for (const std::size_t length : {1u, 31u, 33u, 64u, 7u, 500u, 364u}) {
    crypt_payload(pieces.data() + offset, length, session_key_at(KEY, offset));
    offset += length;
  }
  ASSERT_EQ(whole.size(), offset);
  EXPECT_EQ(whole, pieces);
  EXPECT_EQ(KEY, session_key_at(KEY, 32 * 1000003ull));
}

TEST(CryptPayload, KeyZeroChangesNothing) {
  std::vector<std::uint8_t> bytes = {1, 2, 3, 250};
  crypt_payload(bytes.data(), bytes.size(), 0);
  EXPECT_EQ((std::vector<std::uint8_t>{1, 2, 3, 250}), bytes);
}

}  // namespace
