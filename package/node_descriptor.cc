#include "node_descriptor.h"

#include <cstring>

#include "byte_order.h"

namespace {
constexpr std::size_t NAME_OFFSET = 36;
static_assert(NAME_OFFSET + NODE_NAME_SIZE == NODE_DESCRIPTOR_SIZE,
              "nine 32-bit fields and the name make up the descriptor");
}  // namespace

NodeDescriptor* make_node_descriptor(NodeDescriptor* const descriptor, const char* const name,
                                     const std::uint32_t size) {
  *descriptor = NodeDescriptor{};
  descriptor->magic = NODE_MAGIC;
  descriptor->version = NODE_DESCRIPTOR_VERSION;
  descriptor->file_size = size;
  descriptor->header_size = NODE_DESCRIPTOR_SIZE;
  std::strncpy(descriptor->name, name, NODE_NAME_MAX_LENGTH);
  return descriptor;
}

void set_node_payload_size(NodeDescriptor* const descriptor, const std::uint32_t size) {
  descriptor->file_size = size;
  descriptor->payload_size = size;
  descriptor->node_size = size + static_cast<std::uint32_t>(NODE_DESCRIPTOR_SIZE);
}

void serialise_node_descriptor(const NodeDescriptor& descriptor, std::uint8_t* const bytes) {
  const std::uint32_t fields[] = {
      descriptor.magic,     descriptor.version,      descriptor.flags,
      descriptor.node_size, descriptor.file_size,    descriptor.header_size,
      descriptor.checksum,  descriptor.payload_size, descriptor.session_key};
  static_assert(sizeof fields == NAME_OFFSET, "every numeric field is serialised");
  for (std::size_t i = 0; i < sizeof fields / sizeof fields[0]; ++i)
    put_le32(bytes + 4 * i, fields[i]);
  std::memcpy(bytes + NAME_OFFSET, descriptor.name, NODE_NAME_SIZE);
}

NodeDescriptor parse_node_descriptor(const std::uint8_t* const bytes) {
  NodeDescriptor descriptor;
  std::uint32_t* const fields[] = {
      &descriptor.magic,     &descriptor.version,      &descriptor.flags,
      &descriptor.node_size, &descriptor.file_size,    &descriptor.header_size,
      &descriptor.checksum,  &descriptor.payload_size, &descriptor.session_key};
  static_assert(sizeof fields / sizeof fields[0] * 4 == NAME_OFFSET, "every numeric field is read");
  for (std::size_t i = 0; i < sizeof fields / sizeof fields[0]; ++i)
    *fields[i] = get_le32(bytes + 4 * i);
  std::memcpy(descriptor.name, bytes + NAME_OFFSET, NODE_NAME_SIZE);
  return descriptor;
}
