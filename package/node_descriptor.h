// The 52-byte record that opens every node of a package image, and its serialised form.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr std::uint32_t NODE_MAGIC = 0x6E6F6465;  // "edon" on disk
constexpr std::uint32_t NODE_DESCRIPTOR_VERSION = 52;
constexpr std::size_t NODE_DESCRIPTOR_SIZE = 52;
constexpr std::uint32_t NODE_FLAG_UPGRADE = 0x00000004;
constexpr std::size_t NODE_NAME_SIZE = 16;
constexpr std::size_t NODE_NAME_MAX_LENGTH = NODE_NAME_SIZE - 1;  // room for the NUL

// The firmware image: the one node the bootloader installs (and then deletes), always under this
// name, flagged NODE_FLAG_UPGRADE, and never larger than the bootloader takes.
constexpr char FIRMWARE_NODE_NAME[] = "upgrade";
constexpr std::uint32_t FIRMWARE_SIZE_LIMIT = 126976;  // bytes, 0x1F000

struct NodeDescriptor {
  std::uint32_t magic;
  std::uint32_t version;
  std::uint32_t flags;         // 0, or NODE_FLAG_UPGRADE for the firmware node
  std::uint32_t node_size;     // bytes of the whole node, descriptor included
  std::uint32_t file_size;     // bytes of payload
  std::uint32_t header_size;   // bytes of descriptor before the payload
  std::uint32_t checksum;      // payload_checksum of the payload as stored
  std::uint32_t payload_size;  // bytes of payload, equal to file_size
  std::uint32_t session_key;   // 0 for a plain payload
  char name[NODE_NAME_SIZE];   // NUL-terminated, zero-filled after the NUL
};

// Fills descriptor with the starting values for a payload of size bytes named name, and returns
// it: file_size is size, and node_size, payload_size, checksum, flags and session_key are 0. The
// name field is zero-filled; a name longer than NODE_NAME_MAX_LENGTH is cut there.
NodeDescriptor* make_node_descriptor(NodeDescriptor* descriptor, const char* name,
                                     std::uint32_t size);

// Sets the three sizes that follow from a payload of size bytes: file_size and payload_size to
// size, node_size to size plus the descriptor. size must leave room for the descriptor below 2^32.
void set_node_payload_size(NodeDescriptor* descriptor, std::uint32_t size);

// Writes descriptor's ten fields in order, little-endian, to the NODE_DESCRIPTOR_SIZE bytes at
// bytes.
void serialise_node_descriptor(const NodeDescriptor& descriptor, std::uint8_t* bytes);

// The inverse of serialise_node_descriptor: reads the ten fields from the NODE_DESCRIPTOR_SIZE
// bytes at bytes, which the caller has checked are there. Takes them as they are; whether they
// make sense is for the image reader to judge.
NodeDescriptor parse_node_descriptor(const std::uint8_t* bytes);
