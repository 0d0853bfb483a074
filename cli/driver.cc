#include "driver.h"

#include <cstdio>
#include <string>
#include <vector>

#include "node_descriptor.h"
#include "pack_run.h"
#include "status.h"
#include "version.h"

namespace {

constexpr char TOOL_NAME[] = "corvane";

int print_usage() {
  std::printf("\r\nusage: %s [file or dir] [file or dir] ... \r\n\n", TOOL_NAME);
  std::printf("       Program autodetects directories and dives into them (1 level only)\r\n");
  std::printf(
      "       Binary application image should have .bin extension in order to be\r\n"
      "       properly detected, encrypted and packaged for bootloader.\r\n"
      "       Application image will be automatically deleted by bootloader\r\n"
      "       after installation and storage place could be reused by application.\r\n\n");
  return STATUS_USAGE;
}

}  // namespace

int run(const int argument_count, const char* const* const arguments, const SeedClock clock) {
  std::printf("%s %s\r\n", TOOL_NAME, CORVANE_VERSION);
  std::printf("Node Descriptor Version: %i\r\n", static_cast<int>(NODE_DESCRIPTOR_VERSION));
  const int status =
      argument_count < 2
          ? print_usage()
          : pack_arguments(stdout, clock(),
                           std::vector<std::string>(arguments + 1, arguments + argument_count));
  std::fflush(stdout);
  return status;
}
