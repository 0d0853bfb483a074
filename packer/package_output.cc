#include "package_output.h"

#include <cstdlib>
#include <cstring>

#include "status.h"

namespace {

// Writes out what is gathered. After a failure the bytes are dropped: they will never be used.
void write_gathered(PackageOutput* const output) {
  if (!output->failed && output->used > 0) {
    if (write_to_file(output->file.handle, output->buffer, output->used) == PLATFORM_OK) {
      output->written += static_cast<std::int64_t>(output->used);
    } else {
      output->failed = true;
    }
  }
  output->used = 0;
}

// Makes the buffer hold at least room more bytes. Returns false when no memory can be had.
bool make_room(PackageOutput* const output, const std::size_t room) {
  if (output->buffer != nullptr && output->capacity - output->used >= room) return true;
  write_gathered(output);
  if (output->buffer != nullptr && output->capacity >= room) return true;
  const std::size_t capacity = room > PACKAGE_BUFFER_SIZE ? room : PACKAGE_BUFFER_SIZE;
  auto* const buffer = static_cast<std::uint8_t*>(std::malloc(capacity));
  if (buffer == nullptr) return false;
  std::free(output->buffer);
  output->buffer = buffer;
  output->capacity = capacity;
  return true;
}

}  // namespace

int create_package_output(PackageOutput* const output, const std::string& name) {
  *output = PackageOutput{};
  return create_output(name, &output->file) == PLATFORM_OK ? STATUS_OK : STATUS_PACKAGE_FAILED;
}

std::int64_t package_size(const PackageOutput& output) {
  return output.written + static_cast<std::int64_t>(output.used);
}

int begin_node(PackageOutput* const output, const std::size_t payload_size) {
  // One byte more than the payload: reading to the end of an input asks for one byte past it.
  const std::size_t room =
      output->file.is_temporary ? NODE_DESCRIPTOR_SIZE : NODE_DESCRIPTOR_SIZE + payload_size + 1;
  if (!make_room(output, room)) return STATUS_NO_MEMORY;
  if (output->failed) return STATUS_PACKAGE_FAILED;
  output->node_offset = package_size(*output);
  output->slot = output->used;
  output->slot_written = false;
  // The descriptor's place may be written out before the descriptor is known: never as whatever
  // the buffer held before.
  std::memset(output->buffer + output->used, 0, NODE_DESCRIPTOR_SIZE);
  output->used += NODE_DESCRIPTOR_SIZE;
  return STATUS_OK;
}

std::uint8_t* payload_room(PackageOutput* const output, std::size_t* const length) {
  if (output->used == output->capacity) {
    write_gathered(output);
    output->slot_written = true;
  }
  if (output->failed) return nullptr;
  *length = output->capacity - output->used;
  return output->buffer + output->used;
}

void add_payload(PackageOutput* const output, const std::size_t length) {
  output->used += length;
}

int end_node(PackageOutput* const output, const NodeDescriptor& descriptor) {
  if (output->failed) return STATUS_PACKAGE_FAILED;
  if (!output->slot_written) {
    serialise_node_descriptor(descriptor, output->buffer + output->slot);
  } else {
    std::uint8_t bytes[NODE_DESCRIPTOR_SIZE];
    serialise_node_descriptor(descriptor, bytes);
    if (write_output_at(output->file, bytes, sizeof bytes, output->node_offset) != PLATFORM_OK) {
      output->failed = true;
    }
  }
  // A node held whole beyond the usual buffer is written at once, so that a failing write is
  // found while that node is the one being reported.
  if (output->used >= PACKAGE_BUFFER_SIZE) write_gathered(output);
  return output->failed ? STATUS_PACKAGE_FAILED : STATUS_OK;
}

int drop_node(PackageOutput* const output) {
  if (!output->slot_written) {
    output->used = output->slot;
  } else {
    output->used = 0;
    if (!output->failed && cut_output(output->file, output->node_offset) == PLATFORM_OK) {
      output->written = output->node_offset;
    } else {
      output->failed = true;
    }
  }
  return output->failed ? STATUS_PACKAGE_FAILED : STATUS_OK;
}

int commit_package_output(PackageOutput* const output) {
  if (output->closed) return output->failed ? STATUS_PACKAGE_FAILED : STATUS_OK;
  write_gathered(output);
  std::free(output->buffer);
  output->buffer = nullptr;
  output->closed = true;
  if (output->failed) {
    discard_output(&output->file);
    return STATUS_PACKAGE_FAILED;
  }
  if (commit_output(&output->file) != PLATFORM_OK) output->failed = true;
  return output->failed ? STATUS_PACKAGE_FAILED : STATUS_OK;
}

void abandon_package_output(PackageOutput* const output) {
  if (output->closed) return;
  std::free(output->buffer);
  output->buffer = nullptr;
  output->closed = true;
  discard_output(&output->file);
}
