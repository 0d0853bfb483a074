// The packer's command line: the banner, the usage, the seed of the session keys, and the exit
// status.
#pragma once

#include <cstdint>

// Returns the calendar time in whole seconds since 1970-01-01 00:00:00 UTC, cut to 32 bits.
using SeedClock = std::uint32_t (*)();

// Prints the banner, then packs every argument after the first into package.img in the current
// directory, seeding the session keys from clock. Returns the exit status: STATUS_OK,
// STATUS_USAGE when there is no input, or STATUS_PACKAGE_FAILED when the package image cannot
// be created or written.
int run(int argument_count, const char* const* arguments, SeedClock clock);
