#include "platform.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "scratch.h"

namespace {

// A device that opens for reading without blocking and yields nothing.
#ifdef _WIN32
constexpr char DEVICE[] = "NUL";
#else
constexpr char DEVICE[] = "/dev/null";
#endif

using OpenRegularFile = ScratchTest;

TEST_F(OpenRegularFile, OpensAFileButNeitherADirectoryNorADevice) {
  write_file(scratch / "a.txt", "abc");
  std::FILE* const file = open_regular_file((scratch / "a.txt").string());
  ASSERT_NE(nullptr, file);
  EXPECT_EQ(3, seek_to_end(file));
  std::fclose(file);
  EXPECT_EQ(nullptr, open_regular_file(scratch.string()));
  EXPECT_EQ(nullptr, open_regular_file(DEVICE));
}

}  // namespace
