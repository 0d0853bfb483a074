// End-to-end runs of the built corvane in a scratch directory: exact standard output, exit status
// and bytes of package.img.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cctype>
#include <ctime>
#include <fstream>
#include <functional>

#include "node_bytes.h"
#include "node_descriptor.h"
#include "scratch.h"
#include "session_keys.h"
#include "tool_runner.h"

namespace {

namespace fs = std::filesystem;

// Linux keeps the low 8 bits of the exit status: -1 and -5 read 255 and 251.
constexpr int EXIT_USAGE = 255;
constexpr int EXIT_PACKAGE_FAILED = 251;
constexpr char MISSING[] = "<missing>";

const std::string BANNER = "corvane 2.2\r\nNode Descriptor Version: 52\r\n";
const std::string USAGE =
    "\r\nusage: corvane [file or dir] [file or dir] ... \r\n\n"
    "       Program autodetects directories and dives into them (1 level only)\r\n"
    "       Binary application image should have .bin extension in order to be\r\n"
    "       properly detected, encrypted and packaged for bootloader.\r\n"
    "       Application image will be automatically deleted by bootloader\r\n"
    "       after installation and storage place could be reused by application.\r\n\n";
const std::string CREATED = BANNER + "Creating output file package.img ...\r\n";

std::string closing(const std::size_t package_size) {
  return "Package size: " + std::to_string(package_size) + "\r\nDone.\r\n";
}

std::string processing(const std::string& path, const std::size_t size) {
  return "Processing " + path + " (" + std::to_string(size) + "B) ...\r\n";
}

std::string packed_lines(const std::string& path, const std::string& name, const std::size_t size) {
  return processing(path, size) + "Packing as " + name +
         " ...\r\nReading ... Checking ... Writting ...\r\n";
}

std::string firmware_lines(const std::string& path, const std::size_t size,
                           const std::uint32_t key) {
  char key_line[64];
  std::snprintf(key_line, sizeof key_line, "\r\nSession key: 0x%08x, Encrypting ...\r\n", key);
  return processing(path, size) + "Firmware size: " + std::to_string(size) +
         "B (Remains: " + std::to_string(126976 - size) + "B)\r\nReading ... " +
         (key != 0 ? key_line : "") + "Checking ... Writting ...\r\n";
}

std::string firmware_node(const std::string& payload, const std::uint32_t key) {
  return node_bytes("upgrade", payload, NODE_FLAG_UPGRADE, key);
}

void put_file(const fs::path& root, const std::string& relative, const std::string& bytes) {
  fs::create_directories((root / relative).parent_path());
  write_file(root / relative, bytes);
}

class Corvane : public ScratchTest {
 protected:
  ToolRun run(const std::vector<std::string>& arguments) {
    return run_tool(CORVANE_EXECUTABLE, scratch, arguments);
  }
  std::string package() { return read_file(scratch / "package.img"); }
  void put(const std::string& relative, const std::string& bytes) {
    put_file(scratch, relative, bytes);
  }
};

struct Expected {
  std::string output;
  int exit_status;
  std::string package;
};

// A run whose output does not depend on the session key.
struct FixedCase {
  const char* title;
  std::function<void(const fs::path&)> setup;
  std::vector<std::string> arguments;
  std::function<Expected()> expected;
};

const std::string ABC = "abc";
const std::string A_NODE = node_bytes("a.txt", ABC);

const FixedCase FIXED_CASES[] = {
    {"no argument prints usage and creates nothing",
     nullptr,
     {},
     [] {
       return Expected{BANNER + USAGE, EXIT_USAGE, MISSING};
     }},
    {"a missing path runs on into the size line",
     nullptr,
     {"missing"},
     [] {
       return Expected{CREATED + "Can NOT stat missing." + closing(0), 0, ""};
     }},
    {"wildcards are not expanded and the empty argument is a path too",
     nullptr,
     {"*.bin", "", "a?"},
     [] {
       return Expected{CREATED + "Can NOT stat *.bin.Can NOT stat .Can NOT stat a?." + closing(0),
                       0, ""};
     }},
    {"a file becomes one node",
     [](const fs::path& scratch) { put_file(scratch, "a.txt", ABC); },
     {"a.txt"},
     [] {
       return Expected{CREATED + packed_lines("a.txt", "a.txt", 3) + closing(55), 0, A_NODE};
     }},
    {"the same file twice gives two nodes and an empty file a bare descriptor",
     [](const fs::path& scratch) {
       put_file(scratch, "a.txt", ABC);
       put_file(scratch, "empty", "");
     },
     {"a.txt", "empty", "a.txt"},
     [] {
       return Expected{CREATED + packed_lines("a.txt", "a.txt", 3) +
                           packed_lines("empty", "empty", 0) + packed_lines("a.txt", "a.txt", 3) +
                           closing(55 + 52 + 55),
                       0, A_NODE + node_bytes("empty", "") + A_NODE};
     }},
    {"a directory is walked one level in byte order skipping dot names",
     [](const fs::path& scratch) {
       put_file(scratch, "d/a.txt", ABC);
       put_file(scratch, "d/Z.txt", "zz");
       put_file(scratch, "d/.hidden", "secret");
       put_file(scratch, "d/sub/inner", "not reached");
     },
     {"d"},
     [] {
       return Expected{CREATED + "d is a directory, diving ...\nFile Z.txt ...\r\n" +
                           packed_lines("d/Z.txt", "Z.txt", 2) + "File a.txt ...\r\n" +
                           packed_lines("d/a.txt", "a.txt", 3) +
                           "File sub ...\r\nCan NOT open d/sub !\r\n" + closing(54 + 55),
                       0, node_bytes("Z.txt", "zz") + A_NODE};
     }},
    {"only the last dot of the whole path makes a firmware image",
     [](const fs::path& scratch) {
       put_file(scratch, "image.bin.txt", "1");
       put_file(scratch, "image.binx", "2");
       put_file(scratch, "old.bin/readme", "3");
     },
     {"image.bin.txt", "image.binx", "old.bin/readme"},
     [] {
       return Expected{CREATED + packed_lines("image.bin.txt", "image.bin.txt", 1) +
                           packed_lines("image.binx", "image.binx", 1) +
                           packed_lines("old.bin/readme", "readme", 1) + closing(3 * 53),
                       0,
                       node_bytes("image.bin.txt", "1") + node_bytes("image.binx", "2") +
                           node_bytes("readme", "3")};
     }},
    {"the base name is cut at the last slash or backslash",
     [](const fs::path& scratch) {
       put_file(scratch, "C:\\data\\logo.raw", "L");
       put_file(scratch, "data/logo.raw", "M");
     },
     {"C:\\data\\logo.raw", "data/logo.raw"},
     [] {
       return Expected{CREATED + packed_lines("C:\\data\\logo.raw", "logo.raw", 1) +
                           packed_lines("data/logo.raw", "logo.raw", 1) + closing(2 * 53),
                       0, node_bytes("logo.raw", "L") + node_bytes("logo.raw", "M")};
     }},
    {"a name of 16 characters is refused and one of 15 packed",
     [](const fs::path& scratch) {
       put_file(scratch, "name-of-16-chars", "x");
       put_file(scratch, "fifteen-chars.x", "y");
     },
     {"name-of-16-chars", "fifteen-chars.x"},
     [] {
       return Expected{CREATED + processing("name-of-16-chars", 1) +
                           "Can NOT pack name-of-16-chars: name longer than 15 characters !\r\n" +
                           packed_lines("fifteen-chars.x", "fifteen-chars.x", 1) + closing(53),
                       0, node_bytes("fifteen-chars.x", "y")};
     }},
    {"firmware one byte over the limit is refused",
     [](const fs::path& scratch) { put_file(scratch, "app.bin", std::string(126977, 'f')); },
     {"app.bin"},
     [] {
       return Expected{CREATED + processing("app.bin", 126977) +
                           "Firmware is too big for bootloader (126977B - 126976B = 1B) !\r\n" +
                           closing(0),
                       0, ""};
     }},
    {"a FIFO or device or a directory met in a walk is not opened",
     [](const fs::path& scratch) {
       fs::create_directories(scratch / "w/dir");
       ASSERT_EQ(0, mkfifo((scratch / "w/fifo").c_str(), 0600));
     },
     {"w", "w/fifo", "/dev/zero"},
     [] {
       return Expected{CREATED + "w is a directory, diving ...\nFile dir ...\r\n" +
                           "Can NOT open w/dir !\r\nFile fifo ...\r\nCan NOT open w/fifo !\r\n" +
                           "Can NOT open w/fifo !\r\nCan NOT open /dev/zero !\r\n" + closing(0),
                       0, ""};
     }},
    {"the package image is never packed into itself",
     [](const fs::path& scratch) {
       fs::create_symlink("package.img", scratch / "link");
       put_file(scratch, "a.txt", ABC);
     },
     {"package.img", "./package.img", "link", "."},
     [] {
       return Expected{CREATED + "Can NOT pack package.img: it is the output file !\r\n" +
                           "Can NOT pack ./package.img: it is the output file !\r\n" +
                           "Can NOT pack link: it is the output file !\r\n" +
                           ". is a directory, diving ...\nFile a.txt ...\r\n" +
                           packed_lines("./a.txt", "a.txt", 3) + "File link ...\r\n" +
                           "Can NOT pack ./link: it is the output file !\r\n" +
                           "File package.img ...\r\n" +
                           "Can NOT pack ./package.img: it is the output file !\r\n" + closing(55),
                       0, A_NODE};
     }},
    {"files over 2147483647 bytes are refused and firmware too",
     [](const fs::path& scratch) {
       for (const char* name : {"huge.raw", "huge.bin"}) {
         write_file(scratch / name, "");
         fs::resize_file(scratch / name, 2147483648u);  // sparse: costs no disk
       }
     },
     {"huge.raw", "huge.bin"},
     [] {
       return Expected{CREATED + processing("huge.raw", 2147483648u) +
                           "Can NOT pack huge.raw: larger than 2147483647 bytes !\r\n" +
                           processing("huge.bin", 2147483648u) +
                           "Can NOT pack huge.bin: larger than 2147483647 bytes !\r\n" + closing(0),
                       0, ""};
     }},
};

void PrintTo(const FixedCase& c, std::ostream* out) {
  *out << c.title;
}

class FixedRun : public Corvane, public ::testing::WithParamInterface<FixedCase> {};

TEST_P(FixedRun, PrintsAndWritesExactly) {
  const FixedCase& c = GetParam();
  if (c.setup) c.setup(scratch);
  const ToolRun result = run(c.arguments);
  const Expected expected = c.expected();
  EXPECT_EQ(expected.output, result.output);
  EXPECT_EQ(expected.exit_status, result.exit_status);
  EXPECT_EQ(expected.package, package());
}

// The title, as a test name: every character that is not a letter or digit becomes "_".
std::string case_name(const ::testing::TestParamInfo<FixedCase>& info) {
  std::string name = info.param.title;
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return name;
}

INSTANTIATE_TEST_SUITE_P(Corvane, FixedRun, ::testing::ValuesIn(FIXED_CASES), case_name);

// The key is drawn from the time of the run: every second from just before its start to just
// after its end is tried as the seed, and one must explain both the output and the package.
TEST_F(Corvane, EncryptsEachFirmwareImageUnderTheNextKeyOfTheRunsClock) {
  const std::string app = varied_bytes(4096, 1);
  const std::string limit = varied_bytes(126976, 2);
  put("app.bin", app);
  put("a.txt", ABC);
  put("dir.x/EMPTY.BIN", "");
  put("limit.Bin", limit);
  const std::vector<std::string> arguments = {"app.bin", "a.txt", "dir.x/EMPTY.BIN", "limit.Bin"};

  const auto first_seed = static_cast<std::uint32_t>(std::time(nullptr));
  const ToolRun result = run(arguments);
  const auto last_seed = static_cast<std::uint32_t>(std::time(nullptr));
  ASSERT_LE(first_seed, last_seed);

  Expected expected;
  for (std::uint32_t seed = first_seed; seed <= last_seed; ++seed) {
    seed_session_keys(seed);
    std::uint32_t keys[3];
    for (std::uint32_t& key : keys) key = next_session_key();
    expected = {CREATED + firmware_lines("app.bin", app.size(), keys[0]) +
                    packed_lines("a.txt", "a.txt", 3) +
                    firmware_lines("dir.x/EMPTY.BIN", 0, keys[1]) +
                    firmware_lines("limit.Bin", limit.size(), keys[2]) +
                    closing(4096 + 52 + 55 + 52 + 126976 + 52),
                0,
                firmware_node(app, keys[0]) + A_NODE + firmware_node("", keys[1]) +
                    firmware_node(limit, keys[2])};
    if (expected.output == result.output && expected.package == package()) break;
  }
  EXPECT_EQ(expected.output, result.output);
  EXPECT_EQ(0, result.exit_status);
  EXPECT_EQ(expected.package, package());
}

TEST_F(Corvane, ReportsAPackageImageThatCannotBeCreated) {
  fs::create_directory(scratch / "package.img");
  put("a.txt", ABC);
  const ToolRun result = run({"a.txt"});
  EXPECT_EQ(CREATED.substr(0, BANNER.size()) + "Can NOT create output file package.img !\r\n",
            result.output);
  EXPECT_EQ(EXIT_PACKAGE_FAILED, result.exit_status);
  EXPECT_TRUE(fs::is_directory(scratch / "package.img"));
}

// A full disk: the run stops at the failed write, says so, and leaves no partial package.
TEST_F(Corvane, StopsAndRemovesThePackageWhenAWriteFails) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  struct Case {
    const char* title;
    std::size_t first_size;  // larger than the package's write buffer: fails at once
    std::string output_after_first;
  };
  const Case cases[] = {
      {"failing node write", 2 << 20, ""},
      {"failing last flush", 3, packed_lines("b.txt", "b.txt", 3)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    fs::remove(scratch / "package.img");
    fs::create_symlink("/dev/full", scratch / "package.img");
    put("a.txt", std::string(c.first_size, 'a'));
    put("b.txt", ABC);
    const ToolRun result = run({"a.txt", "b.txt"});
    EXPECT_EQ(CREATED + packed_lines("a.txt", "a.txt", c.first_size) + c.output_after_first +
                  "Can NOT write output file package.img !\r\n",
              result.output);
    EXPECT_EQ(EXIT_PACKAGE_FAILED, result.exit_status);
    EXPECT_FALSE(fs::exists(fs::symlink_status(scratch / "package.img")));
  }
}

// Two files of just over 1 GiB: the package passes 2 GiB, and its size line must still be true.
TEST_F(Corvane, ReportsThePackageSizeBeyond2GiB) {
  constexpr std::uint32_t SIZE = (1u << 30) + 1;
  for (const char* name : {"z1.raw", "z2.raw"}) {
    write_file(scratch / name, "");
    fs::resize_file(scratch / name, SIZE);  // sparse: zeros that cost no disk
  }
  const ToolRun result = run({"z1.raw", "z2.raw"});
  EXPECT_EQ(CREATED + packed_lines("z1.raw", "z1.raw", SIZE) +
                packed_lines("z2.raw", "z2.raw", SIZE) + closing(2 * (SIZE + 52u)),
            result.output);
  EXPECT_EQ(0, result.exit_status);
  const fs::path image = scratch / "package.img";
  EXPECT_EQ(2 * (SIZE + 52u), fs::file_size(image));
  std::ifstream file(image, std::ios::binary);
  std::string second(NODE_DESCRIPTOR_SIZE, '\0');
  file.seekg(SIZE + 52);
  file.read(&second[0], static_cast<std::streamsize>(second.size()));
  EXPECT_EQ(descriptor_bytes("z2.raw", SIZE, 0), second);
  fs::remove(image);
}

TEST_F(Corvane, HandlesPathsBeyond1023Characters) {
  put("a.txt", ABC);
  std::string long_path;
  while (long_path.size() < 1100) long_path += "./";
  long_path += "a.txt";
  const std::string too_long_for_the_system = std::string(5000, 'n');
  const ToolRun result = run({long_path, too_long_for_the_system});
  EXPECT_EQ(CREATED + packed_lines(long_path, "a.txt", 3) + "Can NOT stat " +
                too_long_for_the_system + "." + closing(55),
            result.output);
  EXPECT_EQ(0, result.exit_status);
  EXPECT_EQ(A_NODE, package());
}

// sysfs files claim a size of a page but yield only their few bytes of text.
TEST_F(Corvane, RefusesAFileThatYieldsFewerBytesThanMeasured) {
  const std::string path = "/sys/devices/system/cpu/online";
  std::error_code error;
  const std::uintmax_t claimed = fs::file_size(path, error);
  if (error || claimed == 0 || read_file(path).size() >= claimed) {
    GTEST_SKIP() << "no file here that reads shorter than its size";
  }
  const ToolRun result = run({path});
  EXPECT_EQ(CREATED + processing(path, claimed) + "Packing as online ...\r\nReading ... " +
                "Can NOT read " + path + " !\r\n" + closing(0),
            result.output);
  EXPECT_EQ(0, result.exit_status);
  EXPECT_EQ("", package());
}

}  // namespace
