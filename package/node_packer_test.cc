#include "node_packer.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "node_bytes.h"
#include "node_descriptor.h"
#include "scratch.h"
#include "session_keys.h"
#include "status.h"

namespace {

class PackFile : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    package = std::tmpfile();
    ASSERT_NE(nullptr, package);
  }
  void TearDown() override {
    std::fclose(package);
    ScratchTest::TearDown();
  }

  // Packs path and keeps what was printed and written.
  int pack(const std::string& path) {
    ::testing::internal::CaptureStdout();
    const int status = pack_file(package, path);
    printed = ::testing::internal::GetCapturedStdout();
    std::fflush(package);
    std::rewind(package);
    written.clear();
    for (int c = std::fgetc(package); c != EOF; c = std::fgetc(package)) {
      written.push_back(static_cast<char>(c));
    }
    return status;
  }

  std::FILE* package = nullptr;
  std::string printed;
  std::string written;
};

std::string firmware_node(const std::string& plain, const std::uint32_t key) {
  return node_bytes("upgrade", plain, NODE_FLAG_UPGRADE, key);
}

TEST_F(PackFile, EncryptsFirmwareUnderTheNextKeyOfTheSeededGenerator) {
  const std::string path = (scratch / "app.bin").string();
  const std::string plain = varied_bytes(100, 7);
  write_file(path, plain);
  seed_session_keys(1);
  EXPECT_EQ(STATUS_OK, pack(path));
  EXPECT_EQ("Processing " + path +
                " (100B) ...\r\nFirmware size: 100B (Remains: 126876B)\r\nReading ... \r\n"
                "Session key: 0x00294823, Encrypting ...\r\nChecking ... Writting ...\r\n",
            printed);
  EXPECT_EQ(firmware_node(plain, 0x00294823), written);
  EXPECT_EQ(0x18BE6784u, next_session_key()) << "one key drawn per firmware image";
}

TEST_F(PackFile, FirmwareDrawingKeyZeroIsFlaggedButStoredPlain) {
  const std::string path = (scratch / "APP.Bin").string();
  const std::string plain = varied_bytes(40, 8);
  write_file(path, plain);
  seed_session_keys(0x3802F4F1);  // both draws come out 0
  EXPECT_EQ(STATUS_OK, pack(path));
  EXPECT_EQ("Processing " + path +
                " (40B) ...\r\nFirmware size: 40B (Remains: 126936B)\r\nReading ... "
                "Checking ... Writting ...\r\n",
            printed);
  EXPECT_EQ(firmware_node(plain, 0), written);
}

TEST_F(PackFile, FailuresWriteNothing) {
  write_file(scratch / "big.bin", std::string(126977, 'x'));
  write_file(scratch / "name-of-16-chars", "x");
  std::filesystem::create_directory(scratch / "dir");
  struct Case {
    const char* name;
    int status;
  };
  const Case cases[] = {
      {"missing", STATUS_CANNOT_OPEN},
      {"dir", STATUS_CANNOT_OPEN},
      {"big.bin", STATUS_FIRMWARE_TOO_BIG},
      {"name-of-16-chars", STATUS_NAME_TOO_LONG},
  };
  for (const Case& c : cases) {
    seed_session_keys(1);
    EXPECT_EQ(c.status, pack((scratch / c.name).string())) << c.name;
    EXPECT_EQ("", written) << c.name;
    EXPECT_EQ(0x00294823u, next_session_key()) << c.name << ": no key drawn";
  }
}

TEST(IsFirmwarePath, LooksAtTheTextAfterTheLastDotOfTheWholePath) {
  struct Case {
    const char* path;
    bool firmware;
  };
  const Case cases[] = {
      {"app.bin", true},         {"IMAGE.BIN", true},
      {"image.Bin", true},       {"dir.x\\app.bin", true},
      {"dir.x/app.bin", true},   {".bin", true},
      {"image.bin.txt", false},  {"image.binx", false},
      {"image", false},          {"old.bin\\readme", false},
      {"old.bin/readme", false}, {"image.bi", false},
      {"imagebin", false},       {"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(c.firmware, is_firmware_path(c.path)) << c.path;
}

}  // namespace
