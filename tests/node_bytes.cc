#include "node_bytes.h"

#include <algorithm>
#include <iterator>

#include "byte_order.h"
#include "node_descriptor.h"
#include "payload.h"

std::string descriptor_bytes(const std::string& name, const std::uint32_t size,
                             const std::uint32_t checksum, const std::uint32_t flags,
                             const std::uint32_t key) {
  NodeDescriptor descriptor;
  make_node_descriptor(&descriptor, name.c_str(), size);
  descriptor.flags = flags;
  descriptor.session_key = key;
  set_node_payload_size(&descriptor, size);
  descriptor.checksum = checksum;
  std::uint8_t header[NODE_DESCRIPTOR_SIZE];
  serialise_node_descriptor(descriptor, header);
  return std::string(std::begin(header), std::end(header));
}

std::string node_bytes(const std::string& name, const std::string& payload,
                       const std::uint32_t flags, const std::uint32_t key) {
  std::string stored = payload;
  auto* const bytes = reinterpret_cast<std::uint8_t*>(stored.data());
  crypt_payload(bytes, stored.size(), key);
  return descriptor_bytes(name, static_cast<std::uint32_t>(stored.size()),
                          payload_checksum(bytes, stored.size()), flags, key) +
         stored;
}

void put_number(std::string* const bytes, const std::size_t offset, const std::uint32_t value) {
  put_le32(reinterpret_cast<std::uint8_t*>(&(*bytes)[offset]), value);
}

std::vector<std::uint8_t> piece_of(const std::string& image, const std::uint64_t offset,
                                   const std::size_t length) {
  const auto begin = image.begin() + static_cast<std::ptrdiff_t>(offset);
  return std::vector<std::uint8_t>(begin, begin + static_cast<std::ptrdiff_t>(length));
}

WalkedImage walk_image(const std::string& image, const std::size_t piece) {
  ImageWalk walk = start_image_walk(image.size());
  WalkedImage walked{};
  walked.in_step = true;
  std::uint64_t position = 0;  // where the caller stands in the image
  while (next_node_begins(&walk)) {
    walked.in_step = walked.in_step && position == walk.offset;
    ImageNode node;
    read_node_descriptor(&walk, piece_of(image, position, NODE_DESCRIPTOR_SIZE).data(), &node);
    position += NODE_DESCRIPTOR_SIZE;
    std::string payload;
    for (std::uint32_t done = 0; node.is_whole && done < node.payload_length;) {
      const std::size_t length = std::min<std::size_t>(piece, node.payload_length - done);
      add_node_payload(&node, piece_of(image, position, length).data(), length);
      payload.append(image, static_cast<std::size_t>(position), length);
      position += length;
      done += static_cast<std::uint32_t>(length);
    }
    finish_node(&node);
    walked.nodes.push_back(node);
    walked.payloads.push_back(payload);
    walked.problems.insert(walked.problems.end(), node.problems,
                           node.problems + node.problem_count);
  }
  walked.has_trailing_problem = walk.has_trailing_problem;
  walked.trailing_problem = walk.trailing_problem;
  if (walk.has_trailing_problem) walked.problems.push_back(walk.trailing_problem);
  return walked;
}
