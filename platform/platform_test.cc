#include "platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "scratch.h"

namespace {

namespace fs = std::filesystem;

// A device that opens for reading without blocking and yields nothing.
#ifdef _WIN32
constexpr char DEVICE[] = "NUL";
#else
constexpr char DEVICE[] = "/dev/null";
#endif

using OpenInput = ScratchTest;

TEST_F(OpenInput, OpensAndMeasuresAFileButNeitherADirectoryNorADevice) {
  write_file(scratch / "a.txt", "abc");
  InputFile input;
  ASSERT_EQ(0, open_input((scratch / "a.txt").string(), nullptr, &input));
  EXPECT_EQ(3, input.size);
  std::uint8_t bytes[4] = {};
  EXPECT_EQ(3u, read_input(input, bytes, sizeof bytes));
  EXPECT_EQ(0, std::memcmp("abc", bytes, 3));
  close_input(input);
  EXPECT_EQ(INPUT_CANNOT_OPEN, open_input(scratch.string(), nullptr, &input));
  EXPECT_EQ(INPUT_CANNOT_OPEN, open_input(DEVICE, nullptr, &input));
}

TEST_F(OpenInput, KnowsThePackageUnderAnotherName) {
  const fs::path package_path = scratch / "package.img";
  std::FILE* const package = std::fopen(package_path.string().c_str(), "wb");
  ASSERT_NE(nullptr, package);
  write_file(scratch / "other", "x");
  InputFile input;
  EXPECT_EQ(INPUT_IS_PACKAGE,
            open_input((scratch / "." / "package.img").string(), package, &input));
  ASSERT_EQ(0, open_input((scratch / "other").string(), package, &input));
  close_input(input);
  std::fclose(package);
}

using NativePath = ScratchTest;

// corvane takes names from list_directory and opens them by their bytes; corvane-inspect writes
// them through native_path: both must mean the same file, bytes over 0x7F included.
TEST_F(NativePath, NamesTheFileTheListingAndOpeningSee) {
  const std::string name = "\x80\xe9\xff.txt";
  write_file(scratch / native_path(name), "abc");
  std::vector<std::string> names;
  ASSERT_EQ(0, list_directory(scratch.string(), &names));
  EXPECT_NE(names.end(), std::find(names.begin(), names.end(), name));
  InputFile input;
  ASSERT_EQ(0, open_input(join_path(scratch.string(), name), nullptr, &input));
  EXPECT_EQ(3, input.size);
  close_input(input);
}

// Names of one file share a key; names of two files do not.
TEST(FoldedName, IsOneKeyForTheNamesOfOneFile) {
  EXPECT_EQ(folded_name("A.txt"), folded_name("a.txt"));
  EXPECT_NE(folded_name("a.txt"), folded_name("a.txt.1"));
  EXPECT_NE(folded_name("caf\xe9"), folded_name("caf\xe8"));
#ifdef _WIN32
  // NTFS takes "\xc9" and "\xe9" (E acute in either case, code page 1252) for one letter.
  EXPECT_EQ(folded_name("caf\xc9"), folded_name("caf\xe9"));
#else
  EXPECT_NE(folded_name("caf\xc9"), folded_name("caf\xe9"));
#endif
}

}  // namespace
