// corvane-inspect: lists, verifies and extracts one package image, and checks it against the
// inputs it was meant to hold.
#pragma once

#include <cstdio>

#include "inspect_status.h"
#include "options.h"
#include "platform.h"

// Inspects the image open as image, read from its start to its measured size, as options ask:
// lists and verifies every node, extracts them, checks them against inputs. The listing or the
// JSON document goes to out; each problem, difference and failure to errors. Returns the exit
// status.
int inspect_image(const InputFile& image, const InspectOptions& options, std::FILE* out,
                  std::FILE* errors);

// The whole command: reads the arguments after the program's path, opens IMAGE and inspects it
// on standard output and standard error. Returns the exit status.
int run_inspector(int argument_count, const char* const* arguments);
