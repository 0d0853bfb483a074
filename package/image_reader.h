// Reads a package image node by node, as a stream, and checks every node against the format.
// The reader does no I/O: its caller reads the image in order and hands it the bytes, a
// descriptor whole and a payload in pieces of any size, so that an image of any size is read in
// the memory of one piece. The image is untrusted: no size field is believed before it is
// checked against the image's size, nothing is allocated, and every node moves the walk forward
// by at least one descriptor, so a walk always ends.
//
// One walk, in the order of the image:
//   ImageWalk walk = start_image_walk(size);
//   while (next_node_begins(&walk)) {
//     read NODE_DESCRIPTOR_SIZE bytes at walk.offset, then read_node_descriptor(&walk, bytes,
//     &node); read node.payload_length bytes, handing each piece to add_node_payload(&node, piece,
//     n); finish_node(&node);
//   }
#pragma once

#include <cstddef>
#include <cstdint>

#include "node_descriptor.h"

// The rules a node or the image can break. Each rule is checked at most once per node, and a
// node's problems are kept in this order, which is the order of the descriptor's fields.
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
  std::uint64_t offset;    // the node's first byte in the image; for trailing bytes, theirs
  std::uint64_t expected;
  std::uint64_t found;
};

enum ChecksumResult {
  CHECKSUM_MATCHES,
  CHECKSUM_DIFFERS,
  CHECKSUM_UNCHECKED  // the node's payload is not all there (or not all added yet)
};

// One node as read from the image, with what was found wrong with it.
struct ImageNode {
  std::size_t index;
  std::uint64_t offset;
  NodeDescriptor descriptor;
  bool is_whole;                 // node_size can be followed: the payload is all in the image
  std::uint32_t payload_length;  // node_size - 52 when whole: the bytes before the next node
  std::uint32_t payload_added;   // bytes handed to add_node_payload so far
  std::uint32_t payload_sum;     // payload_checksum of the bytes added so far
  int checksum_result;           // a ChecksumResult, set by finish_node
  std::size_t problem_count;
  ImageProblem problems[RULE_COUNT];
};

// The state of one walk over an image, from start_image_walk to the last next_node_begins.
struct ImageWalk {
  std::uint64_t size;    // bytes in the image, as the caller measured them
  std::uint64_t offset;  // where the next node begins
  std::size_t index;     // the next node's index
  bool ended;
  bool has_trailing_problem;  // set when the walk ended on RULE_TRAILING_BYTES
  ImageProblem trailing_problem;
};

// Starts a walk over an image of size bytes.
ImageWalk start_image_walk(std::uint64_t size);

// True when a node begins at walk->offset: its NODE_DESCRIPTOR_SIZE bytes are in the image. False
// when the walk is over: at the exact end of the image, after a node whose node_size cannot be
// followed, or on trailing bytes (then walk->trailing_problem says so).
bool next_node_begins(ImageWalk* walk);

// Checks the descriptor whose NODE_DESCRIPTOR_SIZE bytes begin at walk->offset, fills node, and
// moves the walk past the node. When node->is_whole, its payload_length bytes follow the
// descriptor; otherwise the walk has ended there and nothing of the node follows.
void read_node_descriptor(ImageWalk* walk, const std::uint8_t* bytes, ImageNode* node);

// Takes the next length bytes of the node's payload, at most those still missing of its
// payload_length.
void add_node_payload(ImageNode* node, const std::uint8_t* bytes, std::size_t length);

// Completes the node's checks once its whole payload has been added: the checksum. A node that
// is not whole keeps CHECKSUM_UNCHECKED.
void finish_node(ImageNode* node);

// The name as stored: the bytes before the NUL, or all 16 when there is none.
std::size_t node_name_length(const NodeDescriptor& descriptor);
