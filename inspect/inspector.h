// corvane-inspect: lists, verifies and extracts one package image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "options.h"

// Exit statuses.
constexpr int INSPECT_VALID = 0;     // no problem, and everything asked for was extracted
constexpr int INSPECT_PROBLEMS = 1;  // the image has a problem (or a name could not be extracted)
constexpr int INSPECT_FAILED = 2;    // usage, an unreadable image, a file that cannot be written

// Lists and verifies the size bytes at image, and extracts its nodes when options ask for it.
// The listing or the JSON document goes to out; each problem and failure to errors. Returns
// the exit status.
int inspect_image(const std::uint8_t* image, std::size_t size, const InspectOptions& options,
                  std::FILE* out, std::FILE* errors);

// The whole command: reads the arguments after the program's path, loads IMAGE and inspects it
// on standard output and standard error. Returns the exit status.
int run_inspector(int argument_count, const char* const* arguments);
