#include "pack_run.h"

#include <cinttypes>

#include "console_texts.h"
#include "node_packer.h"
#include "plan.h"
#include "status.h"

namespace {

// A package that could not be written completely never takes the earlier one's place.
int abandon_package(PackRun* const run) {
  abandon_package_output(&run->package);
  std::fprintf(run->console, "Can NOT write output file %s !\r\n", OUTPUT_FILE_NAME);
  return STATUS_PACKAGE_FAILED;
}

}  // namespace

int pack_arguments(std::FILE* const console, const std::uint32_t seed,
                   const std::vector<NativeString>& arguments) {
  PackRun run{console, {}, {}};
  seed_session_keys(&run.keys, seed);
  if (create_package_output(&run.package, OUTPUT_FILE_NAME) != STATUS_OK) {
    std::fprintf(console, "Can NOT create output file %s !\r\n", OUTPUT_FILE_NAME);
    return STATUS_PACKAGE_FAILED;
  }
  std::fprintf(console, "Creating output file %s ...\r\n", OUTPUT_FILE_NAME);

  // Neither the package being written nor the one it replaces is ever an input.
  std::vector<FileIdentity> output_files;
  if (run.package.file.is_temporary) output_files.push_back(run.package.file.identity);
  if (run.package.file.has_earlier) output_files.push_back(run.package.file.earlier);
  Plan plan;
  start_plan(&plan, arguments, output_files);
  PlanStep step;
  while (next_plan_step(&plan, &step)) {
    std::fputs(step_text(step).c_str(), console);
    if (step.kind == STEP_INPUT && step.verdict == STATUS_OK &&
        pack_file(&run, &step) == STATUS_PACKAGE_FAILED) {
      end_plan(&plan);
      return abandon_package(&run);
    }
  }
  // Everything is written and in place before the size is reported, so that a full disk is
  // found while it can still be said.
  const std::int64_t size = package_size(run.package);
  if (commit_package_output(&run.package) != STATUS_OK) return abandon_package(&run);
  std::fprintf(console, "Package size: %" PRId64 "\r\nDone.\r\n", size);
  return STATUS_OK;
}
