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
  ASSERT_EQ(PLATFORM_OK, open_input((scratch / "a.txt").native(), &input));
  EXPECT_EQ(3, input.size);
  std::uint8_t bytes[4] = {};
  EXPECT_EQ(3, read_input(input, bytes, sizeof bytes)) << "fewer than asked at the end";
  EXPECT_EQ(0, std::memcmp("abc", bytes, 3));
  EXPECT_EQ(0, read_input(input, bytes, sizeof bytes));
  close_input(input);
  EXPECT_EQ(PLATFORM_FAILED, open_input(scratch.native(), &input));
  EXPECT_EQ(PLATFORM_FAILED, open_input(native_name(DEVICE), &input));
  EXPECT_EQ(PLATFORM_FAILED, open_input((scratch / "missing").native(), &input));
}

// A file is known by its identity however it is named; another file is not.
TEST_F(OpenInput, TellsFilesApartByIdentity) {
  write_file(scratch / "package.img", "");
  write_file(scratch / "other", "x");
  InputFile one;
  InputFile again;
  InputFile other;
  ASSERT_EQ(PLATFORM_OK, open_input((scratch / "package.img").native(), &one));
  ASSERT_EQ(PLATFORM_OK, open_input((scratch / "." / "package.img").native(), &again));
  ASSERT_EQ(PLATFORM_OK, open_input((scratch / "other").native(), &other));
  EXPECT_TRUE(is_same_file(one.identity, again.identity));
  EXPECT_FALSE(is_same_file(one.identity, other.identity));
  for (const InputFile& input : {one, again, other}) close_input(input);
}

using NativePath = ScratchTest;

// corvane takes names from list_directory and opens them by their bytes; corvane-inspect writes
// them through native_path: both must mean the same file, bytes over 0x7F included.
TEST_F(NativePath, NamesTheFileTheListingAndOpeningSee) {
  const std::string name = "\x80\xe9\xff.txt";
  write_file(scratch / native_path(name), "abc");
  std::vector<NativeString> names;
  ASSERT_EQ(PLATFORM_OK, list_directory(scratch.native(), &names));
  EXPECT_NE(names.end(), std::find(names.begin(), names.end(), native_name(name)));
  InputFile input;
  ASSERT_EQ(PLATFORM_OK, open_input(join_path(scratch.native(), native_name(name)), &input));
  EXPECT_EQ(3, input.size);
  close_input(input);
}

#ifndef _WIN32
// As Windows lists ASCII names on NTFS: letters as capitals, so "_" after them, and names that
// differ only in case by their bytes.
TEST_F(NativePath, ListsNamesInTheOrderWindowsDoes) {
  for (const char* name : {"zeta", "Alpha", "beta", "_u", "B2", "0num", "a.txt", "A.txt"}) {
    write_file(scratch / name, "");
  }
  std::vector<std::string> names;
  ASSERT_EQ(PLATFORM_OK, list_directory(scratch.native(), &names));
  const std::vector<std::string> expected = {".",     "..", "0num", "A.txt", "a.txt",
                                             "Alpha", "B2", "beta", "zeta",  "_u"};
  EXPECT_EQ(expected, names);
}
#endif

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
