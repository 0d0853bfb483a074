#include "node_packer.h"

#include <cinttypes>
#include <cstdlib>

#include "node_descriptor.h"
#include "payload.h"
#include "platform.h"
#include "session_keys.h"
#include "status.h"

namespace {

int write_node(std::FILE* const package, const NodeDescriptor& descriptor,
               const std::uint8_t* const payload) {
  std::uint8_t header[NODE_DESCRIPTOR_SIZE];
  serialise_node_descriptor(descriptor, header);
  const std::size_t length = descriptor.payload_size;
  if (std::fwrite(header, 1, sizeof header, package) != sizeof header ||
      std::fwrite(payload, 1, length, package) != length) {
    return STATUS_PACKAGE_FAILED;
  }
  return STATUS_OK;
}

// Reads the whole input into a fresh buffer of exactly size bytes, then encrypts and sums it into
// descriptor and writes the node. Closes input.
int read_and_write_node(std::FILE* const package, const std::string& path, std::FILE* const input,
                        NodeDescriptor* const descriptor) {
  const std::size_t size = descriptor->payload_size;
  std::rewind(input);
  // One byte at least: an empty file still needs a usable buffer, and malloc(0) may give none.
  auto* const payload = static_cast<std::uint8_t*>(std::malloc(size > 0 ? size : 1));
  if (payload == nullptr) {
    std::printf("Can NOT allocate buffer.\r\n");
    std::fclose(input);
    return STATUS_NO_MEMORY;
  }
  std::printf("Reading ... ");
  const std::size_t read = std::fread(payload, 1, size, input);
  std::fclose(input);
  if (read != size) {
    std::printf("Can NOT read %s !\r\n", path.c_str());
    std::free(payload);
    return STATUS_SHORT_READ;
  }
  if (descriptor->session_key != 0) {
    std::printf("\r\nSession key: 0x%08" PRIx32 ", Encrypting ...\r\n", descriptor->session_key);
    crypt_payload(payload, size, descriptor->session_key);
  }
  std::printf("Checking ... ");
  descriptor->checksum = payload_checksum(payload, size);
  std::printf("Writting ...\r\n");
  const int status = write_node(package, *descriptor, payload);
  std::free(payload);
  return status;
}

}  // namespace

bool is_firmware_path(const std::string& path) {
  const std::string::size_type dot = path.rfind('.');
  if (dot == std::string::npos || path.size() - dot != 4) return false;
  const char* const extension = ".bin";
  for (std::size_t i = 0; i < 4; ++i) {
    const char c = path[dot + i];
    const char lower = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    if (lower != extension[i]) return false;
  }
  return true;
}

int pack_file(std::FILE* const package, const std::string& path) {
  // Checked before opening: packing the image into itself is never wanted.
  if (names_same_file(path, package)) {
    std::printf("Can NOT pack %s: it is the output file !\r\n", path.c_str());
    return STATUS_OUTPUT_FILE;
  }
  std::FILE* const input = open_regular_file(path);
  const std::int64_t size = input != nullptr ? seek_to_end(input) : -1;
  if (size < 0) {
    if (input != nullptr) std::fclose(input);
    std::printf("Can NOT open %s !\r\n", path.c_str());
    return STATUS_CANNOT_OPEN;
  }
  std::printf("Processing %s (%" PRId64 "B) ...\r\n", path.c_str(), size);
  if (size > PAYLOAD_SIZE_LIMIT) {
    std::printf("Can NOT pack %s: larger than 2147483647 bytes !\r\n", path.c_str());
    std::fclose(input);
    return STATUS_FILE_TOO_LARGE;
  }
  const auto size32 = static_cast<std::uint32_t>(size);
  NodeDescriptor descriptor;
  if (is_firmware_path(path)) {
    if (size > FIRMWARE_SIZE_LIMIT) {
      std::printf("Firmware is too big for bootloader (%" PRId64 "B - %" PRId64 "B = %" PRId64
                  "B) !\r\n",
                  size, FIRMWARE_SIZE_LIMIT, size - FIRMWARE_SIZE_LIMIT);
      std::fclose(input);
      return STATUS_FIRMWARE_TOO_BIG;
    }
    std::printf("Firmware size: %" PRId64 "B (Remains: %" PRId64 "B)\r\n", size,
                FIRMWARE_SIZE_LIMIT - size);
    make_node_descriptor(&descriptor, FIRMWARE_NODE_NAME, size32);
    descriptor.session_key = next_session_key();
    descriptor.flags |= NODE_FLAG_UPGRADE;
  } else {
    // A device looks its files up by name, so a name that does not fit is refused, not cut.
    const std::string name = base_name(path);
    if (name.size() > NODE_NAME_MAX_LENGTH) {
      std::printf("Can NOT pack %s: name longer than 15 characters !\r\n", path.c_str());
      std::fclose(input);
      return STATUS_NAME_TOO_LONG;
    }
    std::printf("Packing as %s ...\r\n", name.c_str());
    make_node_descriptor(&descriptor, name.c_str(), size32);
  }
  descriptor.payload_size = size32;
  descriptor.node_size = size32 + static_cast<std::uint32_t>(NODE_DESCRIPTOR_SIZE);
  return read_and_write_node(package, path, input, &descriptor);
}
