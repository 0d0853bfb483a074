#include "image_stream.h"

#include <algorithm>
#include <cstring>

#include "inspect_status.h"

namespace {

// Refills an empty buffer. Returns false when the file yields nothing more.
bool refill(ImageStream* const stream) {
  const std::int64_t got = read_input(stream->file, stream->buffer.data(), stream->buffer.size());
  stream->next = 0;
  stream->end = got > 0 ? static_cast<std::size_t>(got) : 0;
  return got > 0;
}

}  // namespace

void start_image_stream(const InputFile& file, ImageStream* const stream) {
  stream->file = file;
  stream->size = static_cast<std::uint64_t>(file.size);
  // A small image needs no more than itself; one byte more shows whether it grew meanwhile.
  stream->buffer.assign(
      static_cast<std::size_t>(std::min<std::uint64_t>(IMAGE_BUFFER_SIZE, stream->size + 1)), 0);
  stream->next = 0;
  stream->end = 0;
  stream->position = 0;
}

int read_image_bytes(ImageStream* const stream, std::uint8_t* const bytes,
                     const std::size_t length) {
  std::size_t done = 0;
  while (done < length) {
    const std::uint8_t* piece = nullptr;
    std::size_t got = 0;
    if (next_image_piece(stream, length - done, &piece, &got) != INSPECT_OK) return INSPECT_FAILED;
    std::memcpy(bytes + done, piece, got);
    done += got;
  }
  return INSPECT_OK;
}

int next_image_piece(ImageStream* const stream, const std::size_t most,
                     const std::uint8_t** const piece, std::size_t* const length) {
  if (stream->next == stream->end && !refill(stream)) return INSPECT_FAILED;
  *piece = stream->buffer.data() + stream->next;
  *length = std::min(most, stream->end - stream->next);
  stream->next += *length;
  stream->position += *length;
  return INSPECT_OK;
}

bool image_ends_here(ImageStream* const stream) {
  return stream->next == stream->end && read_input(stream->file, stream->buffer.data(), 1) == 0;
}
