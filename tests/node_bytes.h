// Test support: the bytes of a node as a correct packer writes them, for fixtures, and images
// read back as the inspector reads them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image_reader.h"

// The descriptor of a node named name whose payload of size bytes sums to checksum.
std::string descriptor_bytes(const std::string& name, std::uint32_t size, std::uint32_t checksum,
                             std::uint32_t flags = 0, std::uint32_t key = 0);

// One node: the descriptor for payload named name, then payload encrypted under key (stored as
// it is when key is 0), with node_size, payload_size and checksum as they must be.
std::string node_bytes(const std::string& name, const std::string& payload, std::uint32_t flags = 0,
                       std::uint32_t key = 0);

// Overwrites the little-endian 32-bit number at offset of bytes.
void put_number(std::string* bytes, std::size_t offset, std::uint32_t value);

// A copy of exactly length bytes of image from offset on.
std::vector<std::uint8_t> piece_of(const std::string& image, std::uint64_t offset,
                                   std::size_t length);

// An image as a caller reading it in order hands it to the image reader.
struct WalkedImage {
  std::vector<ImageNode> nodes;
  std::vector<std::string> payloads;   // each node's stored payload, as it was handed over
  std::vector<ImageProblem> problems;  // every node's, then the trailing bytes'
  bool has_trailing_problem;
  ImageProblem trailing_problem;
  bool in_step;  // every node began where the caller stood
};

// Walks image: each descriptor handed over whole, each payload in pieces of at most piece bytes,
// each piece a copy of exactly its bytes, so that the reader touching a byte it was not handed is
// a sanitizer error.
WalkedImage walk_image(const std::string& image, std::size_t piece = SIZE_MAX);
