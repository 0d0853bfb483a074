#include "plan.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>

#include "scratch.h"
#include "status.h"

namespace {

namespace fs = std::filesystem;

// What a step says, without the open input.
struct Seen {
  int kind;
  int verdict;
  std::string path;
  std::string entry_name;
  std::int64_t size;
  bool is_firmware;
  std::string node_name;
  bool operator==(const Seen& other) const {
    return kind == other.kind && verdict == other.verdict && path == other.path &&
           entry_name == other.entry_name && size == other.size &&
           is_firmware == other.is_firmware && node_name == other.node_name;
  }
};

void PrintTo(const Seen& s, std::ostream* out) {
  *out << "{kind " << s.kind << ", verdict " << s.verdict << ", " << s.path << ", entry "
       << s.entry_name << ", size " << s.size << (s.is_firmware ? ", firmware" : "") << ", node "
       << s.node_name << "}";
}

// A directory and a name in it, as the walk joins them and prints the path.
std::string joined(const std::string& directory, const std::string& name) {
  return narrow_name(join_path(native_name(directory), native_name(name)));
}

class PlanTest : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    base = scratch.string();
  }

  std::string at(const std::string& relative) const { return joined(base, relative); }

  // Every step of a plan over arguments; an open input is read whole, to show it is the file.
  std::vector<Seen> steps(const std::vector<std::string>& arguments,
                          const std::vector<FileIdentity>& output_files = {}) {
    std::vector<NativeString> native_arguments;
    for (const std::string& argument : arguments) native_arguments.push_back(native_name(argument));
    Plan plan;
    start_plan(&plan, native_arguments, output_files);
    std::vector<Seen> seen;
    PlanStep step;
    while (next_plan_step(&plan, &step)) {
      seen.push_back({step.kind, step.verdict, step.path, step.entry_name, step.size,
                      step.is_firmware, step.verdict == STATUS_OK ? step.node_name : ""});
      if (step.kind == STEP_INPUT && step.verdict == STATUS_OK) {
        std::string bytes(static_cast<std::size_t>(step.size) + 1, '\0');
        EXPECT_EQ(step.size,
                  read_input(step.input, reinterpret_cast<std::uint8_t*>(&bytes[0]), bytes.size()));
        close_input(step.input);
      }
    }
    return seen;
  }

  std::string base;
};

TEST_F(PlanTest, WalksArgumentsInOrderAndDirectoriesOneLevelDeep) {
  write_file(scratch / "a.txt", "abc");
  fs::create_directories(scratch / "d" / "sub");
  write_file(scratch / "d" / "b.txt", "b");
  write_file(scratch / "d" / ".hidden", "skipped without a word");
  write_file(scratch / "d" / "app.BIN", "firmware");
  const std::vector<Seen> expected = {
      {STEP_INPUT, STATUS_OK, at("a.txt"), "", 3, false, "a.txt"},
      {STEP_INPUT, STATUS_CANNOT_STAT, at("missing"), "", -1, false, ""},
      {STEP_DIRECTORY, STATUS_OK, at("d"), "", -1, false, ""},
      {STEP_INPUT, STATUS_OK, joined(at("d"), "app.BIN"), "app.BIN", 8, true, "upgrade"},
      {STEP_INPUT, STATUS_OK, joined(at("d"), "b.txt"), "b.txt", 1, false, "b.txt"},
      {STEP_INPUT, STATUS_CANNOT_OPEN, joined(at("d"), "sub"), "sub", -1, false, ""},
      {STEP_INPUT, STATUS_OK, at("a.txt"), "", 3, false, "a.txt"},
  };
  EXPECT_EQ(expected, steps({at("a.txt"), at("missing"), at("d"), at("a.txt")}));
}

TEST_F(PlanTest, RefusesWhatCannotBePackedAndSaysWhy) {
  write_file(scratch / "name-of-16-chars", "x");
  write_file(scratch / "fifteen-chars.x", "y");
  write_file(scratch / "big.bin", std::string(126977, 'f'));
  write_file(scratch / "limit.bin", std::string(126976, 'f'));
  for (const char* name : {"huge.raw", "huge.bin"}) {
    write_file(scratch / name, "");
    fs::resize_file(scratch / name, 2147483648u);  // sparse: costs no disk
  }
  const std::vector<Seen> expected = {
      {STEP_INPUT, STATUS_NAME_TOO_LONG, at("name-of-16-chars"), "", 1, false, ""},
      {STEP_INPUT, STATUS_OK, at("fifteen-chars.x"), "", 1, false, "fifteen-chars.x"},
      {STEP_INPUT, STATUS_FIRMWARE_TOO_BIG, at("big.bin"), "", 126977, true, ""},
      {STEP_INPUT, STATUS_OK, at("limit.bin"), "", 126976, true, "upgrade"},
      {STEP_INPUT, STATUS_FILE_TOO_LARGE, at("huge.raw"), "", 2147483648, false, ""},
      {STEP_INPUT, STATUS_FILE_TOO_LARGE, at("huge.bin"), "", 2147483648, true, ""},
  };
  EXPECT_EQ(expected, steps({at("name-of-16-chars"), at("fifteen-chars.x"), at("big.bin"),
                             at("limit.bin"), at("huge.raw"), at("huge.bin")}));
}

TEST_F(PlanTest, RefusesTheOutputFileHoweverItIsNamed) {
  write_file(scratch / "package.img", "");
  InputFile package;
  ASSERT_EQ(PLATFORM_OK, open_input(native_name(at("package.img")), &package));
  close_input(package);
  const std::vector<Seen> expected = {
      {STEP_INPUT, STATUS_OUTPUT_FILE, joined(at("."), "package.img"), "", -1, false, ""},
      {STEP_DIRECTORY, STATUS_OK, at("."), "", -1, false, ""},
      {STEP_INPUT, STATUS_OUTPUT_FILE, joined(at("."), "package.img"), "package.img", -1, false,
       ""},
  };
  EXPECT_EQ(expected, steps({joined(at("."), "package.img"), at(".")}, {package.identity}));
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
  for (const Case& c : cases) {
    EXPECT_EQ(c.firmware, is_firmware_path(native_name(c.path))) << c.path;
  }
}

}  // namespace
