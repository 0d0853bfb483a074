#include "driver.h"

#include <cinttypes>
#include <vector>

#include "node_descriptor.h"
#include "node_packer.h"
#include "platform.h"
#include "session_keys.h"
#include "status.h"

namespace {

constexpr char TOOL_NAME[] = "corvane";
constexpr char TOOL_VERSION[] = "2.2";
constexpr std::size_t PACKAGE_BUFFER_SIZE = std::size_t{1} << 20;

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

// A package that could not be written completely must not reach a device: it is removed.
int abandon_package(std::FILE* const package) {
  if (package != nullptr) std::fclose(package);
  std::remove(OUTPUT_FILE_NAME);
  std::printf("Can NOT write output file %s !\r\n", OUTPUT_FILE_NAME);
  return STATUS_PACKAGE_FAILED;
}

int pack_argument(std::FILE* const package, const std::string& path) {
  bool is_directory = false;
  if (query_path_status(path, &is_directory) != 0) {
    std::printf("Can NOT stat %s.", path.c_str());
    return STATUS_CANNOT_OPEN;
  }
  if (is_directory) {
    std::printf("%s is a directory, diving ...\n", path.c_str());
    return pack_directory(package, path);
  }
  return pack_file(package, path);
}

int finish_run(const int status) {
  std::fflush(stdout);
  return status;
}

}  // namespace

int pack_directory(std::FILE* const package, const std::string& directory) {
  std::vector<std::string> names;
  if (list_directory(directory, &names) != 0) {
    std::printf("Can NOT open directory.\r\n");
    return STATUS_USAGE;
  }
  int count = 0;
  for (const std::string& name : names) {
    if (name.empty() || name[0] == '.') continue;
    std::printf("File %s ...\r\n", name.c_str());
    if (pack_file(package, join_path(directory, name)) == STATUS_PACKAGE_FAILED) {
      return STATUS_PACKAGE_FAILED;
    }
    ++count;
  }
  return count;
}

int run(const int argument_count, const char* const* const arguments, const SeedClock clock) {
  std::printf("%s %s\r\n", TOOL_NAME, TOOL_VERSION);
  std::printf("Node Descriptor Version: %i\r\n", static_cast<int>(NODE_DESCRIPTOR_VERSION));
  if (argument_count < 2) return finish_run(print_usage());

  seed_session_keys(clock());
  std::FILE* const package = std::fopen(OUTPUT_FILE_NAME, "wb");
  if (package == nullptr) {
    std::printf("Can NOT create output file %s !\r\n", OUTPUT_FILE_NAME);
    return finish_run(STATUS_PACKAGE_FAILED);
  }
  // Small nodes are gathered into large writes; larger nodes go straight through.
  std::setvbuf(package, nullptr, _IOFBF, PACKAGE_BUFFER_SIZE);
  std::printf("Creating output file %s ...\r\n", OUTPUT_FILE_NAME);

  for (int i = 1; i < argument_count; ++i) {
    if (pack_argument(package, arguments[i]) == STATUS_PACKAGE_FAILED) {
      return finish_run(abandon_package(package));
    }
  }
  // Flushed before the size is reported, so that a full disk is found while it can be said.
  const std::int64_t size = stream_position(package);
  if (std::fflush(package) != 0) return finish_run(abandon_package(package));
  std::printf("Package size: %" PRId64 "\r\n", size);
  if (std::fclose(package) != 0) return finish_run(abandon_package(nullptr));
  std::printf("Done.\r\n");
  return finish_run(STATUS_OK);
}
