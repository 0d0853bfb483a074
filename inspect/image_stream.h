// The image file read from start to end in large pieces, so that memory stays that of one
// buffer whatever the image's size, and a walk of millions of tiny nodes costs few reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform.h"

// Bytes read from the file at a time, at the most.
constexpr std::size_t IMAGE_BUFFER_SIZE = std::size_t{1} << 20;

struct ImageStream {
  InputFile file;                    // open, and owned by whoever opened it
  std::uint64_t size;                // the file's size measured when it was opened
  std::vector<std::uint8_t> buffer;  // up to IMAGE_BUFFER_SIZE bytes
  std::size_t next;                  // the first byte of buffer not handed out yet
  std::size_t end;                   // the end of what buffer holds
  std::uint64_t position;            // bytes of the file handed out
};

// Starts reading file from its current position, which must be its start.
void start_image_stream(const InputFile& file, ImageStream* stream);

// Copies the next length bytes to bytes. Returns INSPECT_OK, or
// INSPECT_FAILED when reading fails or the file ends before them.
int read_image_bytes(ImageStream* stream, std::uint8_t* bytes, std::size_t length);

// Hands out the next bytes in place, between 1 and most of them (most at least 1): sets piece
// and length and returns INSPECT_OK, or returns INSPECT_FAILED when reading fails or the file
// has ended. The piece stays valid until the next call.
int next_image_piece(ImageStream* stream, std::size_t most, const std::uint8_t** piece,
                     std::size_t* length);

// True when the file ends where the stream stands: a file that still yields bytes, or fails to
// say, has changed since it was measured.
bool image_ends_here(ImageStream* stream);
