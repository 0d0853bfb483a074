// What a run does with its arguments, step by step, before any byte is packed: the paths it
// looks at in order, the inputs it packs and under which node names, and the inputs it refuses
// and why. The packer packs what the plan yields; corvane-inspect checks a package against it.
// Nothing here prints or writes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform.h"

// The largest input packed: sizes are printed and stored as signed 32-bit numbers.
constexpr std::int64_t PAYLOAD_SIZE_LIMIT = 2147483647;

enum PlanStepKind {
  STEP_DIRECTORY,  // an argument that is a directory: its entries follow, one level deep
  STEP_INPUT,      // a file to pack, named by an argument or met in a walk
};

struct PlanStep {
  int kind;                  // a PlanStepKind
  int verdict;               // STATUS_OK, or the status that says why the step is refused
  NativeString native_path;  // as typed, or joined by the walk
  std::string path;          // the same as it is printed (see narrow_name)
  std::string entry_name;    // the bare name of an entry met in a walk, printed; empty for an
                             // argument
  std::int64_t size;         // bytes measured when the input was opened, or -1
  bool is_firmware;          // the path names the firmware image
  std::string node_name;     // the name of the input's node
  InputFile input;           // open when an input's verdict is STATUS_OK; the caller closes it
};

// The state of one walk over the arguments.
struct Plan {
  std::vector<NativeString> arguments;
  std::size_t next_argument;
  std::vector<FileIdentity> output_files;  // files that are never inputs: the package itself
  bool walking;                            // directory is open and entries are still to come
  OpenDirectory directory;                 // the directory argument being walked
  std::vector<NativeString> entries;       // its entries to pack, in walk order
  std::size_t next_entry;
};

// Starts a walk over the arguments in order. An input that is one of output_files is refused.
void start_plan(Plan* plan, const std::vector<NativeString>& arguments,
                const std::vector<FileIdentity>& output_files);

// Fills step with the next thing the run meets and returns true, or returns false after the last.
bool next_plan_step(Plan* plan, PlanStep* step);

// Releases what the walk holds open, when it is left before its end.
void end_plan(Plan* plan);

// True when path ends in ".bin", in any letter case, counted from the last dot of the whole path.
bool is_firmware_path(const NativeString& path);
