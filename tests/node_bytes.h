// Test support: the bytes of a node as a correct packer writes them, for fixtures.
#pragma once

#include <cstdint>
#include <string>

// The descriptor of a node named name whose payload of size bytes sums to checksum.
std::string descriptor_bytes(const std::string& name, std::uint32_t size, std::uint32_t checksum,
                             std::uint32_t flags = 0, std::uint32_t key = 0);

// One node: the descriptor for payload named name, then payload encrypted under key (stored as
// it is when key is 0), with node_size, payload_size and checksum as they must be.
std::string node_bytes(const std::string& name, const std::string& payload, std::uint32_t flags = 0,
                       std::uint32_t key = 0);

// Overwrites the little-endian 32-bit number at offset of bytes.
void put_number(std::string* bytes, std::size_t offset, std::uint32_t value);
