#include "node_bytes.h"

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
