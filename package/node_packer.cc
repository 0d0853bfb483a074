#include "node_packer.h"

#include <cinttypes>
#include <cstdlib>

#include "node_descriptor.h"
#include "payload.h"
#include "platform.h"
#include "session_keys.h"
#include "status.h"

namespace {

// One buffer serves every input in turn and only grows: a fresh buffer for each file would pay a
// page fault for every page it is filled through, which costs more than the copy itself.
std::uint8_t* payload_buffer = nullptr;
std::size_t payload_capacity = 0;

// Returns a buffer of at least size bytes, or nullptr when none can be had.
std::uint8_t* reserve_payload_buffer(const std::size_t size) {
  if (payload_buffer != nullptr && size <= payload_capacity) return payload_buffer;
  std::free(payload_buffer);
  constexpr std::size_t SMALLEST = std::size_t{64} << 10;
  payload_capacity = size > SMALLEST ? size : SMALLEST;
  payload_buffer = static_cast<std::uint8_t*>(std::malloc(payload_capacity));
  if (payload_buffer == nullptr) {
    payload_capacity = 0;
    return nullptr;
  }
  return payload_buffer;
}

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

// Reads the whole input before anything is written, so that an input that fails adds nothing
// to the package; then writes the node. Closes input. Each chunk is encrypted and summed as soon
// as it is read, while it is still in the cache.
int read_and_write_node(std::FILE* const package, const std::string& path, const InputFile& input,
                        NodeDescriptor* const descriptor) {
  const std::size_t size = descriptor->payload_size;
  std::uint8_t* const payload = reserve_payload_buffer(size);
  if (payload == nullptr) {
    std::printf("Can NOT allocate buffer.\r\n");
    close_input(input);
    return STATUS_NO_MEMORY;
  }
  std::printf("Reading ... ");
  constexpr std::size_t CHUNK = std::size_t{256} << 10;
  static_assert(CHUNK % KEY_STREAM_PERIOD == 0, "chunks must keep the key stream in step");
  const std::uint32_t key = descriptor->session_key;
  std::uint32_t checksum = 0;
  std::size_t read = 0;
  while (read < size) {
    std::uint8_t* const chunk = payload + read;
    const std::size_t wanted = size - read < CHUNK ? size - read : CHUNK;
    const std::size_t got = read_input(input, chunk, wanted);
    if (key != 0) crypt_payload(chunk, got, key);
    checksum += payload_checksum(chunk, got);
    read += got;
    if (got != wanted) break;
  }
  close_input(input);
  if (read != size) {
    std::printf("Can NOT read %s !\r\n", path.c_str());
    return STATUS_SHORT_READ;
  }
  if (key != 0) {
    std::printf("\r\nSession key: 0x%08" PRIx32 ", Encrypting ...\r\n", key);
  }
  std::printf("Checking ... ");
  descriptor->checksum = checksum;
  std::printf("Writting ...\r\n");
  return write_node(package, *descriptor, payload);
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
  InputFile input;
  const int opened = open_input(path, package, &input);
  // Packing the image into itself is never wanted; it is refused before anything is read.
  if (opened == INPUT_IS_PACKAGE) {
    std::printf("Can NOT pack %s: it is the output file !\r\n", path.c_str());
    return STATUS_OUTPUT_FILE;
  }
  if (opened != 0) {
    std::printf("Can NOT open %s !\r\n", path.c_str());
    return STATUS_CANNOT_OPEN;
  }
  const std::int64_t size = input.size;
  std::printf("Processing %s (%" PRId64 "B) ...\r\n", path.c_str(), size);
  if (size > PAYLOAD_SIZE_LIMIT) {
    std::printf("Can NOT pack %s: larger than 2147483647 bytes !\r\n", path.c_str());
    close_input(input);
    return STATUS_FILE_TOO_LARGE;
  }
  const auto size32 = static_cast<std::uint32_t>(size);
  NodeDescriptor descriptor;
  if (is_firmware_path(path)) {
    if (size > FIRMWARE_SIZE_LIMIT) {
      std::printf("Firmware is too big for bootloader (%" PRId64 "B - %" PRId64 "B = %" PRId64
                  "B) !\r\n",
                  size, FIRMWARE_SIZE_LIMIT, size - FIRMWARE_SIZE_LIMIT);
      close_input(input);
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
      close_input(input);
      return STATUS_NAME_TOO_LONG;
    }
    std::printf("Packing as %s ...\r\n", name.c_str());
    make_node_descriptor(&descriptor, name.c_str(), size32);
  }
  descriptor.payload_size = size32;
  descriptor.node_size = size32 + static_cast<std::uint32_t>(NODE_DESCRIPTOR_SIZE);
  return read_and_write_node(package, path, input, &descriptor);
}
