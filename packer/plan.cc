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
    step->is_firmware = is_firmware_path(step->path);
    // A device looks its files up by name, so a name that does not fit is refused, not cut.
    step->node_name = step->is_firmware ? FIRMWARE_NODE_NAME : base_name(step->path);
    if (step->size > PAYLOAD_SIZE_LIMIT) {
      step->verdict = STATUS_FILE_TOO_LARGE;
    } else if (step->is_firmware && step->size > FIRMWARE_SIZE_LIMIT) {
      step->verdict = STATUS_FIRMWARE_TOO_BIG;
    } else if (step->node_name.size() > NODE_NAME_MAX_LENGTH) {
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

void start_plan(Plan* const plan, const std::vector<std::string>& arguments,
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
    step->kind = STEP_INPUT;
    step->entry_name = plan->entries[plan->next_entry++];
    step->path = join_path(plan->directory.path, step->entry_name);
    classify_input(plan->output_files,
                   open_entry_input(plan->directory, step->entry_name, &step->input), step);
    return true;
  }
  if (plan->next_argument == plan->arguments.size()) return false;
  step->path = plan->arguments[plan->next_argument++];
  bool is_directory = false;
  if (query_path_status(step->path, &is_directory) != PLATFORM_OK) {
    step->kind = STEP_INPUT;
    step->verdict = STATUS_CANNOT_STAT;
    return true;
  }
  if (!is_directory) {
    step->kind = STEP_INPUT;
    classify_input(plan->output_files, open_input(step->path, &step->input), step);
    return true;
  }
  step->kind = STEP_DIRECTORY;
  std::vector<std::string> names;
  if (open_directory(step->path, &plan->directory, &names) != PLATFORM_OK) {
    step->verdict = STATUS_CANNOT_LIST;
    return true;
  }
  // Only one level is entered: a subdirectory met here is handed on like a file, and cannot be
  // opened. Names that begin with a dot, "." and ".." among them, are skipped without a word.
  plan->entries.clear();
  plan->next_entry = 0;
  for (std::string& name : names) {
    if (!name.empty() && name[0] != '.') plan->entries.push_back(std::move(name));
  }
  plan->walking = true;
  return true;
}

void end_plan(Plan* const plan) {
  if (plan->walking) close_directory(plan->directory);
  plan->walking = false;
}

bool is_firmware_path(const std::string& path) {
  const std::string::size_type dot = path.rfind('.');
  if (dot == std::string::npos || path.size() - dot != 4) return false;
  const char* const extension = ".bin";
  for (std::size_t i = 0; i < 4; ++i) {
    const char c = path[dot + i];
    const char lower = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    if (lower != extension[i]) return false;
  }
  return true;
}
