#include "plan.h"

#include <utility>

#include "node_descriptor.h"
#include "status.h"

namespace {

// Measures the input, whose opening returned opened, and decides whether it is packed, and as
// what. Leaves the input open only when it is.
void classify_input(const std::vector<FileIdentity>& output_files, const int opened,
                    PlanStep* const step) {
  if (opened != PLATFORM_OK) {
    step->verdict = STATUS_CANNOT_OPEN;
    return;
  }
  for (const FileIdentity& output : output_files) {
    // Packing the image into itself is never wanted; it is refused before anything is read.
    if (is_same_file(step->input.identity, output)) step->verdict = STATUS_OUTPUT_FILE;
  }
  if (step->verdict == STATUS_OK) {
    step->size = step->input.size;
    step->is_firmware = is_firmware_path(step->native_path);
    // The name is stored as its bytes in the code page; one that has no exact bytes there would
    // name another file, or none.
    bool exact = true;
    step->node_name =
        step->is_firmware ? FIRMWARE_NODE_NAME : narrow_name(base_name(step->native_path), &exact);
    if (step->size > PAYLOAD_SIZE_LIMIT) {
      step->verdict = STATUS_FILE_TOO_LARGE;
    } else if (step->is_firmware && step->size > FIRMWARE_SIZE_LIMIT) {
      step->verdict = STATUS_FIRMWARE_TOO_BIG;
    } else if (!exact) {
      step->verdict = STATUS_NAME_NOT_IN_CODE_PAGE;
    } else if (step->node_name.size() > NODE_NAME_MAX_LENGTH) {
      // A device looks its files up by name, so a name that does not fit is refused, not cut.
      step->verdict = STATUS_NAME_TOO_LONG;
    } else if (step->node_name.empty() || step->node_name == "." || step->node_name == "..") {
      // A path ending in "\" (a separator on POSIX too) leaves such a name: no device could
      // look a file up by it.
      step->verdict = STATUS_NAME_NOT_A_FILE;
    }
  }
  if (step->verdict != STATUS_OK) close_input(step->input);
}

}  // namespace

void start_plan(Plan* const plan, const std::vector<NativeString>& arguments,
                const std::vector<FileIdentity>& output_files) {
  *plan = Plan{};
  plan->arguments = arguments;
  plan->output_files = output_files;
}

bool next_plan_step(Plan* const plan, PlanStep* const step) {
  *step = PlanStep{};
  step->size = -1;
  if (plan->walking && plan->next_entry == plan->entries.size()) end_plan(plan);
  if (plan->walking) {
    const NativeString& entry = plan->entries[plan->next_entry++];
    step->kind = STEP_INPUT;
    step->entry_name = narrow_name(entry);
    step->native_path = join_path(plan->directory.path, entry);
    step->path = narrow_name(step->native_path);
    classify_input(plan->output_files, open_entry_input(plan->directory, entry, &step->input),
                   step);
    return true;
  }
  if (plan->next_argument == plan->arguments.size()) return false;
  step->native_path = plan->arguments[plan->next_argument++];
  step->path = narrow_name(step->native_path);
  bool is_directory = false;
  if (query_path_status(step->native_path, &is_directory) != PLATFORM_OK) {
    step->kind = STEP_INPUT;
    step->verdict = STATUS_CANNOT_STAT;
    return true;
  }
  if (!is_directory) {
    step->kind = STEP_INPUT;
    classify_input(plan->output_files, open_input(step->native_path, &step->input), step);
    return true;
  }
  step->kind = STEP_DIRECTORY;
  std::vector<NativeString> names;
  if (open_directory(step->native_path, &plan->directory, &names) != PLATFORM_OK) {
    step->verdict = STATUS_CANNOT_LIST;
    return true;
  }
  // Only one level is entered: a subdirectory met here is handed on like a file, and cannot be
  // opened. Names that begin with a dot, "." and ".." among them, are skipped without a word.
  plan->entries.clear();
  plan->next_entry = 0;
  for (NativeString& name : names) {
    if (!name.empty() && name[0] != '.') plan->entries.push_back(std::move(name));
  }
  plan->walking = true;
  return true;
}

void end_plan(Plan* const plan) {
  if (plan->walking) close_directory(plan->directory);
  plan->walking = false;
}

bool is_firmware_path(const NativeString& path) {
  const NativeString::size_type dot = path.rfind('.');
  if (dot == NativeString::npos || path.size() - dot != 4) return false;
  const char* const extension = ".bin";
  for (std::size_t i = 0; i < 4; ++i) {
    const auto c = path[dot + i];
    const auto lower = c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c;
    if (lower != extension[i]) return false;
  }
  return true;
}
