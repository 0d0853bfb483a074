// The payload checksum and cipher of a node.
#pragma once

#include <cstddef>
#include <cstdint>

// Bytes after which the cipher's key stream repeats: the key register turns once every 32 bytes.
constexpr std::size_t KEY_STREAM_PERIOD = 32;

// Returns the sum of the payload's bytes, taken as 0 to 255, modulo 2^32.
std::uint32_t payload_checksum(const std::uint8_t* bytes, std::size_t length);

// Encrypts or decrypts length bytes in place under key: byte i is XORed with the low byte of the
// key rotated right by i mod 32 bits. Applying it twice with the same key restores the bytes.
void crypt_payload(std::uint8_t* bytes, std::size_t length, std::uint32_t key);

// The cipher's key register after offset bytes of a payload under key: crypt_payload over the
// bytes from offset on, with this key, continues the stream of the bytes before them. A payload
// handled in pieces of any sizes is so encrypted exactly as if it were handled whole.
std::uint32_t session_key_at(std::uint32_t key, std::uint64_t offset);
