#include "node_packer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "node_bytes.h"
#include "scratch.h"
#include "status.h"

namespace {

namespace fs = std::filesystem;

class PackFile : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    console = std::tmpfile();
    ASSERT_NE(nullptr, console);
    run.console = console;
    ASSERT_EQ(STATUS_OK, create_package_output(&run.package, (scratch / "package.img").string()));
  }
  void TearDown() override {
    abandon_package_output(&run.package);
    std::fclose(console);
    ScratchTest::TearDown();
  }

  // Packs path as the plan gives it; returns the status and keeps what was printed.
  int pack(const std::string& path) {
    Plan plan;
    start_plan(&plan, {native_name(path)}, {});
    PlanStep step;
    EXPECT_TRUE(next_plan_step(&plan, &step));
    EXPECT_EQ(STATUS_OK, step.verdict) << path;
    if (step.verdict != STATUS_OK) return step.verdict;
    std::rewind(console);
    const int status = pack_file(&run, &step);
    std::fflush(console);
    printed.assign(static_cast<std::size_t>(std::ftell(console)), '\0');
    std::rewind(console);
    EXPECT_EQ(printed.size(), std::fread(&printed[0], 1, printed.size(), console));
    return status;
  }

  std::string package() {
    EXPECT_EQ(STATUS_OK, commit_package_output(&run.package));
    return read_file(scratch / "package.img");
  }

  std::FILE* console = nullptr;
  PackRun run{};
  std::string printed;
};

std::string firmware_node(const std::string& plain, const std::uint32_t key) {
  return node_bytes("upgrade", plain, NODE_FLAG_UPGRADE, key);
}

TEST_F(PackFile, EncryptsFirmwareUnderTheNextKeyOfTheRunsGenerator) {
  const std::string path = (scratch / "app.bin").string();
  const std::string plain = varied_bytes(100, 7);
  write_file(path, plain);
  seed_session_keys(&run.keys, 1);
  EXPECT_EQ(STATUS_OK, pack(path));
  EXPECT_EQ(
      "Reading ... \r\nSession key: 0x00294823, Encrypting ...\r\nChecking ... Writting ...\r\n",
      printed);
  EXPECT_EQ(0x18BE6784u, next_session_key(&run.keys)) << "one key drawn per firmware image";
  EXPECT_EQ(firmware_node(plain, 0x00294823), package());
}

TEST_F(PackFile, FirmwareDrawingKeyZeroIsFlaggedButStoredPlain) {
  const std::string path = (scratch / "APP.Bin").string();
  const std::string plain = varied_bytes(40, 8);
  write_file(path, plain);
  seed_session_keys(&run.keys, 0x3802F4F1);  // both draws come out 0
  EXPECT_EQ(STATUS_OK, pack(path));
  EXPECT_EQ("Reading ... Checking ... Writting ...\r\n", printed);
  EXPECT_EQ(firmware_node(plain, 0), package());
}

// A firmware image that starts near the end of the package's buffer is encrypted across the
// write that empties it exactly as if it were handled whole.
TEST_F(PackFile, EncryptsAcrossTheBufferBoundary) {
  const std::string filler = varied_bytes(PACKAGE_BUFFER_SIZE - 52 - 52 - 1000, 3);
  const std::string plain = varied_bytes(126976, 4);
  write_file(scratch / "filler", filler);
  write_file(scratch / "app.bin", plain);
  seed_session_keys(&run.keys, 1);
  ASSERT_EQ(STATUS_OK, pack((scratch / "filler").string()));
  ASSERT_EQ(STATUS_OK, pack((scratch / "app.bin").string()));
  EXPECT_EQ(node_bytes("filler", filler) + firmware_node(plain, 0x00294823), package());
}

TEST_F(PackFile, ALargeFileStreamsThroughUnchanged) {
  const std::string large = varied_bytes(PACKAGE_BUFFER_SIZE * 3 + 17, 5);
  write_file(scratch / "large.dat", large);
  write_file(scratch / "a.txt", "abc");
  ASSERT_EQ(STATUS_OK, pack((scratch / "a.txt").string()));
  ASSERT_EQ(STATUS_OK, pack((scratch / "large.dat").string()));
  EXPECT_EQ(node_bytes("a.txt", "abc") + node_bytes("large.dat", large), package());
}

#ifndef _WIN32
// An input that yields fewer or more bytes than it measured adds nothing: sysfs files claim a
// page and yield a few bytes, /proc files claim nothing and yield their text.
TEST_F(PackFile, RefusesAnInputThatDoesNotYieldItsMeasuredSize) {
  write_file(scratch / "a.txt", "abc");
  ASSERT_EQ(STATUS_OK, pack((scratch / "a.txt").string()));
  for (const char* path : {"/sys/devices/system/cpu/online", "/proc/version"}) {
    std::error_code error;
    const std::uintmax_t claimed = fs::file_size(path, error);
    if (error || read_file(path).size() == claimed) continue;
    EXPECT_EQ(STATUS_SHORT_READ, pack(path)) << path;
    EXPECT_EQ(std::string("Reading ... Can NOT read ") + path + " !\r\n", printed);
  }
  EXPECT_EQ(node_bytes("a.txt", "abc"), package());
}
#endif

}  // namespace
