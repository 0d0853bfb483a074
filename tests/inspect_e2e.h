// Test support for the end-to-end runs of corvane-inspect: its exit statuses, its listing's
// headers, and fixture bytes as its listing shows them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "byte_order.h"
#include "node_bytes.h"
#include "platform.h"

// Exit statuses, as a shell sees them.
constexpr int VALID = 0;
constexpr int PROBLEMS = 1;
constexpr int FAILED = 2;

inline const std::string HEADER =
    "index      offset  name             flag           size  checksum    check  key\n";
inline const std::string EXTRACT_HEADER =
    "index      offset  name             flag           size  checksum    check  key         "
    "extracted as\n";

inline std::string hex(const std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08x", value);
  return text;
}

// The checksum field of a node's descriptor, as the listing shows it.
inline std::string stored_checksum(const std::string& node) {
  return hex(get_le32(reinterpret_cast<const std::uint8_t*>(&node[24])));
}

// image with the little-endian 32-bit number at offset set to value.
inline std::string with(std::string image, const std::size_t offset, const std::uint32_t value) {
  put_number(&image, offset, value);
  return image;
}

// A directory and a name in it, joined and printed as the tools do.
inline std::string joined(const std::string& directory, const std::string& name) {
  return narrow_name(join_path(native_name(directory), native_name(name)));
}
