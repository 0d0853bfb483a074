// The command line of corvane-inspect:
//   [--json] [--extract DIR] IMAGE [--against FILE_OR_DIR ...], --help, --version.
#pragma once

#include <string>
#include <vector>

struct InspectOptions {
  bool json;                        // print one JSON document instead of the listing
  bool extract;                     // write every node that passes verification to directory
  std::string directory;            // where --extract writes
  std::string image;                // the image to inspect
  bool against;                     // check the image against what corvane makes of inputs
  std::vector<std::string> inputs;  // corvane's arguments, exactly as it would take them
};

// What the command line asks for.
constexpr int OPTIONS_INSPECT = 0;
constexpr int OPTIONS_HELP = 1;
constexpr int OPTIONS_VERSION = 2;
constexpr int OPTIONS_INVALID = -1;  // error holds why; the usage follows it

// Reads the arguments after the program's own path. Options come in any order before IMAGE;
// --help and --version act as soon as they are met. After IMAGE only --against may follow, and
// every argument after it is an input, whatever it looks like.
int parse_options(int argument_count, const char* const* arguments, InspectOptions* options,
                  std::string* error);
