// The packer's command line: banner and usage, the package image's life, and the argument and
// directory dispatch.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

constexpr char OUTPUT_FILE_NAME[] = "package.img";

// Returns the calendar time in whole seconds since 1970-01-01 00:00:00 UTC, cut to 32 bits.
using SeedClock = std::uint32_t (*)();

// Packs every argument after the first into OUTPUT_FILE_NAME in the current directory, seeding
// the session keys from clock. Returns the exit status: STATUS_OK, STATUS_USAGE when there is
// no input, or STATUS_PACKAGE_FAILED when the package image cannot be created or written (it is
// removed then).
int run(int argument_count, const char* const* arguments, SeedClock clock);

// Packs every entry of directory whose name does not begin with a dot. Returns the number of
// entries handed to the packer, STATUS_USAGE (-1) when the directory cannot be listed, or
// STATUS_PACKAGE_FAILED when writing the package failed and the run must stop.
int pack_directory(std::FILE* package, const std::string& directory);
