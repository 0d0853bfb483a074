// Reads a package image from memory, node by node, and checks every node against the format.
// The image is untrusted: no size field is believed before it is checked against the bytes that
// are really there, nothing is read outside them, nothing is allocated, and every step moves
// forward by at least one descriptor, so a walk always ends.
#pragma once

#include <cstddef>
#include <cstdint>

#include "node_descriptor.h"

// The rules a node or the image can break. Each rule is checked at most once per node, in this
// order, which is the order of the descriptor's fields.
enum ImageRule {
  RULE_MAGIC,              // magic is not NODE_MAGIC
  RULE_VERSION,            // version is not 52
  RULE_FLAGS,              // flags other than 0 or NODE_FLAG_UPGRADE
  RULE_NODE_TOO_SHORT,     // node_size below the descriptor's own 52 bytes: the walk ends
  RULE_NODE_PAST_END,      // node_size runs past the end of the image: the walk ends
  RULE_NODE_SIZE,          // node_size is not file_size + 52
  RULE_HEADER_SIZE,        // header_size is not 52
  RULE_CHECKSUM,           // checksum is not the sum of the stored payload
  RULE_PAYLOAD_SIZE,       // payload_size is not file_size
  RULE_SESSION_KEY,        // a session key without NODE_FLAG_UPGRADE
  RULE_NAME_UNTERMINATED,  // no NUL inside the 16 bytes of name
  RULE_NAME_EMPTY,         // name is empty
  RULE_UPGRADE_NAME,       // the upgrade node is not named "upgrade"
  RULE_FIRMWARE_TOO_BIG,   // the upgrade node's payload is over the bootloader's limit
  RULE_TRAILING_BYTES,     // bytes after the last node, too few for a descriptor
  RULE_COUNT
};

// One broken rule. expected and found are the numbers the rule compares; for the name rules and
// RULE_TRAILING_BYTES, expected is unused and found is what was there (a length).
struct ImageProblem {
  int rule;                // an ImageRule
  std::size_t node_index;  // the node's index from 0; for trailing bytes, the next index
  std::size_t offset;      // the node's first byte in the image; for trailing bytes, theirs
  std::uint64_t expected;
  std::uint64_t found;
};

enum ChecksumResult {
  CHECKSUM_MATCHES,
  CHECKSUM_DIFFERS,
  CHECKSUM_UNCHECKED  // the node's payload is not all there, so there is nothing to sum
};

// One node as read from the image, with what was found wrong with it.
struct ImageNode {
  std::size_t index;
  std::size_t offset;
  NodeDescriptor descriptor;
  const std::uint8_t* payload;  // inside the image; nullptr unless the node is whole
  std::size_t payload_length;   // node_size - 52: the bytes between descriptor and next node
  std::uint32_t payload_sum;    // payload_checksum of those bytes, when the node is whole
  int checksum_result;          // a ChecksumResult
  std::size_t problem_count;
  ImageProblem problems[RULE_COUNT];
};

// The state of one walk over an image, from start_image_walk to the last read_next_node.
struct ImageWalk {
  const std::uint8_t* image;
  std::size_t size;
  std::size_t offset;  // where the next node begins
  std::size_t index;   // the next node's index
  bool ended;
  bool has_trailing_problem;  // set when the walk ended on RULE_TRAILING_BYTES
  ImageProblem trailing_problem;
};

// Starts a walk over the size bytes at image, which stay the caller's and must outlive it.
ImageWalk start_image_walk(const std::uint8_t* image, std::size_t size);

// Reads and checks the node where walk stands and moves past it. Returns true with node filled,
// or false when the walk is over: at the exact end of the image, after a node whose node_size
// cannot be followed, or on trailing bytes (then walk->trailing_problem says so).
bool read_next_node(ImageWalk* walk, ImageNode* node);

// The name as stored: the bytes before the NUL, or all 16 when there is none.
std::size_t node_name_length(const NodeDescriptor& descriptor);
