#include "driver.h"

#include <cstdio>
#include <vector>

#include "node_descriptor.h"
#include "pack_run.h"
#include "source_date_epoch.h"
#include "status.h"
#include "version.h"

namespace {

constexpr char TOOL_NAME[] = "corvane";

void print_usage() {
  std::printf("\r\nusage: %s [file or dir] [file or dir] ... \r\n\n", TOOL_NAME);
  std::printf("       Program autodetects directories and dives into them (1 level only)\r\n");
  std::printf(
      "       Binary application image should have .bin extension in order to be\r\n"
      "       properly detected, encrypted and packaged for bootloader.\r\n"
      "       Application image will be automatically deleted by bootloader\r\n"
      "       after installation and storage place could be reused by application.\r\n\n");
}

int pack(const std::vector<NativeString>& inputs, const SeedClock clock,
         const char* const source_date_epoch) {
  if (inputs.empty()) {
    print_usage();
    return EXIT_USAGE;
  }
  std::uint32_t seed = 0;
  if (source_date_epoch == nullptr || *source_date_epoch == '\0') {
    seed = clock();
  } else if (!parse_source_date_epoch(source_date_epoch, &seed)) {
    std::printf("Can NOT use SOURCE_DATE_EPOCH \"%s\": expected whole seconds since 1970 !\r\n",
                source_date_epoch);
    return EXIT_BAD_SOURCE_DATE_EPOCH;
  }
  return pack_arguments(stdout, seed, inputs) == STATUS_OK ? EXIT_OK : EXIT_PACKAGE_FAILED;
}

}  // namespace

int run(const std::vector<NativeString>& inputs, const SeedClock clock,
        const char* const source_date_epoch) {
  std::printf("%s %s\r\n", TOOL_NAME, CORVANE_VERSION);
  std::printf("Node Descriptor Version: %i\r\n", static_cast<int>(NODE_DESCRIPTOR_VERSION));
  const int status = pack(inputs, clock, source_date_epoch);
  std::fflush(stdout);
  return status;
}
