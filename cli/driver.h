// The packer's command line: the banner, the usage, the seed of the session keys, and the exit
// status.
#pragma once

#include <cstdint>
#include <vector>

#include "platform.h"

// Exit statuses of corvane. Single inputs that fail never change them.
constexpr int EXIT_OK = 0;                      // the package was written
constexpr int EXIT_USAGE = -1;                  // no input given: the usage was printed
constexpr int EXIT_BAD_SOURCE_DATE_EPOCH = -3;  // SOURCE_DATE_EPOCH is not whole seconds
constexpr int EXIT_PACKAGE_FAILED = -5;         // package.img cannot be created or written

// Returns the calendar time in whole seconds since 1970-01-01 00:00:00 UTC, cut to 32 bits.
using SeedClock = std::uint32_t (*)();

// Prints the banner, then packs every input, as the command line names them, into package.img
// in the current directory. The session keys are seeded from source_date_epoch, the value of the
// variable SOURCE_DATE_EPOCH, when it is set and not empty (nullptr when unset), and from clock
// otherwise. Returns the exit status.
int run(const std::vector<NativeString>& inputs, SeedClock clock, const char* source_date_epoch);
