// The payload checksum and cipher of a node.
#pragma once

#include <cstddef>
#include <cstdint>

// Returns the sum of the payload's bytes, taken as 0 to 255, modulo 2^32.
std::uint32_t payload_checksum(const std::uint8_t* bytes, std::size_t length);

// Encrypts or decrypts length bytes in place under key: byte i is XORed with the low byte of the
// key rotated right by i mod 32 bits. Applying it twice with the same key restores the bytes.
void crypt_payload(std::uint8_t* bytes, std::size_t length, std::uint32_t key);
