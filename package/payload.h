// The payload checksum and cipher of a node.
#pragma once

#include <cstddef>
#include <cstdint>

// Bytes after which the cipher's key stream repeats: the key register turns once every 32 bytes.
// A payload handled in pieces keeps the stream in step when every piece but the last is a multiple
// of it.
constexpr std::size_t KEY_STREAM_PERIOD = 32;

// Returns the sum of the payload's bytes, taken as 0 to 255, modulo 2^32.
std::uint32_t payload_checksum(const std::uint8_t* bytes, std::size_t length);

// Encrypts or decrypts length bytes in place under key: byte i is XORed with the low byte of the
// key rotated right by i mod 32 bits. Applying it twice with the same key restores the bytes.
void crypt_payload(std::uint8_t* bytes, std::size_t length, std::uint32_t key);
