#include "image_reader.h"

#include <cstring>

#include "payload.h"

namespace {

// Keeps the node's problems in rule order: the checksum, found only after the payload, goes in
// before the problems of the fields after it.
void add_problem(ImageNode* const node, const int rule, const std::uint64_t expected,
                 const std::uint64_t found) {
  std::size_t at = node->problem_count;
  while (at > 0 && node->problems[at - 1].rule > rule) {
    node->problems[at] = node->problems[at - 1];
    --at;
  }
  node->problems[at] = {rule, node->index, node->offset, expected, found};
  ++node->problem_count;
}

// Follows node_size when it can be followed; a node whose end cannot be trusted ends the walk.
void check_extent(ImageWalk* const walk, ImageNode* const node) {
  const std::uint32_t node_size = node->descriptor.node_size;
  const std::uint64_t left = walk->size - node->offset;
  if (node_size < NODE_DESCRIPTOR_SIZE) {
    add_problem(node, RULE_NODE_TOO_SHORT, NODE_DESCRIPTOR_SIZE, node_size);
    walk->ended = true;
  } else if (node_size > left) {
    add_problem(node, RULE_NODE_PAST_END, left, node_size);
    walk->ended = true;
  } else {
    node->is_whole = true;
    node->payload_length = static_cast<std::uint32_t>(node_size - NODE_DESCRIPTOR_SIZE);
    walk->offset = node->offset + node_size;
  }
}

void check_name(ImageNode* const node) {
  const NodeDescriptor& descriptor = node->descriptor;
  const std::size_t length = node_name_length(descriptor);
  if (length == NODE_NAME_SIZE) {
    add_problem(node, RULE_NAME_UNTERMINATED, 0, length);
  } else if (length == 0) {
    add_problem(node, RULE_NAME_EMPTY, 0, 0);
  } else if ((descriptor.flags & NODE_FLAG_UPGRADE) != 0 &&
             std::strcmp(descriptor.name, FIRMWARE_NODE_NAME) != 0) {
    add_problem(node, RULE_UPGRADE_NAME, 0, length);
  }
}

void check_descriptor(ImageWalk* const walk, ImageNode* const node) {
  const NodeDescriptor& descriptor = node->descriptor;
  if (descriptor.magic != NODE_MAGIC) add_problem(node, RULE_MAGIC, NODE_MAGIC, descriptor.magic);
  if (descriptor.version != NODE_DESCRIPTOR_VERSION) {
    add_problem(node, RULE_VERSION, NODE_DESCRIPTOR_VERSION, descriptor.version);
  }
  if (descriptor.flags != 0 && descriptor.flags != NODE_FLAG_UPGRADE) {
    add_problem(node, RULE_FLAGS, NODE_FLAG_UPGRADE, descriptor.flags);
  }
  check_extent(walk, node);
  // 64-bit: a file_size near 2^32 must not wrap round to a small expected node_size.
  const std::uint64_t expected_node_size =
      std::uint64_t{descriptor.file_size} + NODE_DESCRIPTOR_SIZE;
  if (descriptor.node_size != expected_node_size) {
    add_problem(node, RULE_NODE_SIZE, expected_node_size, descriptor.node_size);
  }
  if (descriptor.header_size != NODE_DESCRIPTOR_SIZE) {
    add_problem(node, RULE_HEADER_SIZE, NODE_DESCRIPTOR_SIZE, descriptor.header_size);
  }
  if (descriptor.payload_size != descriptor.file_size) {
    add_problem(node, RULE_PAYLOAD_SIZE, descriptor.file_size, descriptor.payload_size);
  }
  if (descriptor.session_key != 0 && (descriptor.flags & NODE_FLAG_UPGRADE) == 0) {
    add_problem(node, RULE_SESSION_KEY, 0, descriptor.session_key);
  }
  check_name(node);
  if ((descriptor.flags & NODE_FLAG_UPGRADE) != 0 &&
      descriptor.payload_size > FIRMWARE_SIZE_LIMIT) {
    add_problem(node, RULE_FIRMWARE_TOO_BIG, FIRMWARE_SIZE_LIMIT, descriptor.payload_size);
  }
}

}  // namespace

ImageWalk start_image_walk(const std::uint64_t size) {
  ImageWalk walk{};
  walk.size = size;
  return walk;
}

bool next_node_begins(ImageWalk* const walk) {
  if (walk->ended) return false;
  const std::uint64_t left = walk->size - walk->offset;
  if (left >= NODE_DESCRIPTOR_SIZE) return true;
  walk->ended = true;
  if (left > 0) {
    walk->has_trailing_problem = true;
    walk->trailing_problem = {RULE_TRAILING_BYTES, walk->index, walk->offset, 0, left};
  }
  return false;
}

void read_node_descriptor(ImageWalk* const walk, const std::uint8_t* const bytes,
                          ImageNode* const node) {
  *node = ImageNode{};
  node->index = walk->index++;
  node->offset = walk->offset;
  node->descriptor = parse_node_descriptor(bytes);
  node->checksum_result = CHECKSUM_UNCHECKED;
  check_descriptor(walk, node);
}

void add_node_payload(ImageNode* const node, const std::uint8_t* const bytes,
                      const std::size_t length) {
  node->payload_sum += payload_checksum(bytes, length);
  node->payload_added += static_cast<std::uint32_t>(length);
}

void finish_node(ImageNode* const node) {
  if (!node->is_whole || node->payload_added != node->payload_length ||
      node->checksum_result != CHECKSUM_UNCHECKED) {
    return;
  }
  const bool matches = node->payload_sum == node->descriptor.checksum;
  node->checksum_result = matches ? CHECKSUM_MATCHES : CHECKSUM_DIFFERS;
  if (!matches) add_problem(node, RULE_CHECKSUM, node->descriptor.checksum, node->payload_sum);
}

std::size_t node_name_length(const NodeDescriptor& descriptor) {
  const void* const nul = std::memchr(descriptor.name, '\0', NODE_NAME_SIZE);
  return nul == nullptr ? NODE_NAME_SIZE
                        : static_cast<std::size_t>(static_cast<const char*>(nul) - descriptor.name);
}
