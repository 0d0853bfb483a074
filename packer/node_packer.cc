#include "node_packer.h"

#include <cinttypes>

#include "node_descriptor.h"
#include "payload.h"
#include "status.h"

namespace {

// Reads the whole input straight into the package, encrypting and summing each piece as it
// arrives, and asks for one byte past the measured size so that the end of the input is seen:
// an input that yields fewer or more bytes than measured is refused. Completes the checksum.
int read_payload(PackageOutput* const package, const InputFile& input,
                 NodeDescriptor* const descriptor) {
  const std::uint32_t key = descriptor->session_key;
  std::uint64_t remaining = descriptor->payload_size;
  std::uint64_t offset = 0;
  std::uint32_t checksum = 0;
  for (;;) {
    std::size_t room = 0;
    std::uint8_t* const bytes = payload_room(package, &room);
    if (bytes == nullptr) return STATUS_PACKAGE_FAILED;
    const std::size_t wanted = remaining < room ? static_cast<std::size_t>(remaining) + 1 : room;
    const std::int64_t got = read_input(input, bytes, wanted);
    if (got < 0 || static_cast<std::uint64_t>(got) > remaining) return STATUS_SHORT_READ;
    const auto length = static_cast<std::size_t>(got);
    if (key != 0) crypt_payload(bytes, length, session_key_at(key, offset));
    checksum += payload_checksum(bytes, length);
    add_payload(package, length);
    remaining -= length;
    offset += length;
    if (length < wanted) break;
  }
  if (remaining != 0) return STATUS_SHORT_READ;
  descriptor->checksum = checksum;
  return STATUS_OK;
}

}  // namespace

int pack_file(PackRun* const run, PlanStep* const step) {
  const auto size = static_cast<std::uint32_t>(step->size);
  NodeDescriptor descriptor;
  make_node_descriptor(&descriptor, step->node_name.c_str(), size);
  set_node_payload_size(&descriptor, size);
  if (step->is_firmware) {
    descriptor.session_key = next_session_key(&run->keys);
    descriptor.flags |= NODE_FLAG_UPGRADE;
  }
  int status = begin_node(&run->package, size);
  if (status == STATUS_NO_MEMORY) {
    std::fputs("Can NOT allocate buffer.\r\n", run->console);
    close_input(step->input);
    return status;
  }
  std::fputs("Reading ... ", run->console);
  if (status == STATUS_OK) status = read_payload(&run->package, step->input, &descriptor);
  close_input(step->input);
  if (status == STATUS_SHORT_READ) {
    std::fprintf(run->console, "Can NOT read %s !\r\n", step->path.c_str());
    return drop_node(&run->package) == STATUS_OK ? STATUS_SHORT_READ : STATUS_PACKAGE_FAILED;
  }
  // The stages are reported in the order of a node read whole, then encrypted, summed and
  // written, though here they happen piece by piece; a failed write is reported after them.
  if (descriptor.session_key != 0) {
    std::fprintf(run->console, "\r\nSession key: 0x%08" PRIx32 ", Encrypting ...\r\n",
                 descriptor.session_key);
  }
  std::fputs("Checking ... Writting ...\r\n", run->console);
  return status == STATUS_OK ? end_node(&run->package, descriptor) : status;
}
