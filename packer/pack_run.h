// One run of the packer, from the package's creation to its close: everything the run owns is
// here and is passed down to every step, so nothing lives in a global.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "package_output.h"
#include "session_keys.h"

// The package image, always made in the current directory under this name.
constexpr char OUTPUT_FILE_NAME[] = "package.img";

struct PackRun {
  std::FILE* console;     // where the run reports every step
  SessionKeys keys;       // one key drawn for each firmware image, in order
  PackageOutput package;  // the package being written
};

// Packs every argument, in order, into OUTPUT_FILE_NAME in the current directory, with the
// session keys seeded from seed, and reports each step on console. Returns STATUS_OK once the
// package is written, whatever became of single inputs, or STATUS_PACKAGE_FAILED when it cannot
// be created or written (an incomplete package is removed).
int pack_arguments(std::FILE* console, std::uint32_t seed,
                   const std::vector<NativeString>& arguments);
