// Turns one input file into one node of the package image.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

constexpr std::int64_t FIRMWARE_SIZE_LIMIT = 126976;     // the bootloader's limit, 0x1F000
constexpr std::int64_t PAYLOAD_SIZE_LIMIT = 2147483647;  // what a size line's %i can carry
constexpr char FIRMWARE_NODE_NAME[] = "upgrade";

// True when path ends in ".bin", in any letter case, counted from the last dot of the whole path.
bool is_firmware_path(const std::string& path);

// Packs the file at path as one node appended to package, reporting each step on standard
// output. Returns STATUS_OK, or a negative status after printing why; on every negative result
// nothing was written, except STATUS_PACKAGE_FAILED, which means package itself failed.
int pack_file(std::FILE* package, const std::string& path);
