#include "output.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "scratch.h"

namespace {

namespace fs = std::filesystem;

const std::uint8_t* bytes_of(const char* const text) {
  return reinterpret_cast<const std::uint8_t*>(text);
}

// The names in directory, so that a test sees any temporary file left behind.
std::vector<std::string> names_in(const fs::path& directory) {
  std::vector<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(directory)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

class Output : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    previous = fs::current_path();
    fs::current_path(scratch);
  }
  void TearDown() override {
    fs::current_path(previous);
    ScratchTest::TearDown();
  }
  fs::path previous;
};

// The earlier file stays whole and the new one is out of sight until the output is committed.
TEST_F(Output, ReplacesTheEarlierFileOnlyWhenCommitted) {
  write_file("package.img", "earlier");
  OutputFile output;
  ASSERT_EQ(PLATFORM_OK, create_output("package.img", &output));
  EXPECT_TRUE(output.is_temporary);
  ASSERT_TRUE(output.has_earlier);
  EXPECT_EQ(0u, output.temporary_name.find(".package.img."));
  EXPECT_FALSE(is_same_file(output.identity, output.earlier));
  EXPECT_EQ(PLATFORM_OK, write_to_file(output.handle, bytes_of("0123456789"), 10));
  EXPECT_EQ(PLATFORM_OK, write_output_at(output, bytes_of("ab"), 2, 3));
  EXPECT_EQ(PLATFORM_OK, write_to_file(output.handle, bytes_of("XY"), 2));
  EXPECT_EQ(PLATFORM_OK, cut_output(output, 4));
  EXPECT_EQ(PLATFORM_OK, write_to_file(output.handle, bytes_of("z"), 1));
  EXPECT_EQ("earlier", read_file("package.img"));
  EXPECT_EQ((std::vector<std::string>{output.temporary_name, "package.img"}), names_in("."));
  EXPECT_EQ(PLATFORM_OK, commit_output(&output));
  EXPECT_EQ("012az", read_file("package.img"));
  EXPECT_EQ(std::vector<std::string>{"package.img"}, names_in("."));
}

TEST_F(Output, DiscardingLeavesEverythingAsItWas) {
  OutputFile output;
  ASSERT_EQ(PLATFORM_OK, create_output("package.img", &output));
  EXPECT_FALSE(output.has_earlier);
  EXPECT_EQ(PLATFORM_OK, write_to_file(output.handle, bytes_of("new"), 3));
  discard_output(&output);
  EXPECT_EQ(std::vector<std::string>{}, names_in("."));
  write_file("package.img", "earlier");
  ASSERT_EQ(PLATFORM_OK, create_output("package.img", &output));
  discard_output(&output);
  EXPECT_EQ(std::vector<std::string>{"package.img"}, names_in("."));
  EXPECT_EQ("earlier", read_file("package.img"));
}

TEST_F(Output, RefusesADirectory) {
  fs::create_directory("package.img");
  OutputFile output;
  EXPECT_EQ(PLATFORM_FAILED, create_output("package.img", &output));
  EXPECT_EQ(std::vector<std::string>{"package.img"}, names_in("."));
}

#ifndef _WIN32
// A link is followed: the file it names is replaced, in its own directory, and the link stays.
TEST_F(Output, ReplacesTheFileALinkNames) {
  fs::create_directory("real");
  write_file("real/stored.img", "earlier");
  fs::create_symlink("real/stored.img", "package.img");
  OutputFile output;
  ASSERT_EQ(PLATFORM_OK, create_output("package.img", &output));
  EXPECT_EQ(2u, names_in("real").size()) << "the temporary file is beside the file it replaces";
  EXPECT_EQ(PLATFORM_OK, write_to_file(output.handle, bytes_of("new"), 3));
  EXPECT_EQ(PLATFORM_OK, commit_output(&output));
  EXPECT_TRUE(fs::is_symlink("package.img"));
  EXPECT_EQ("new", read_file("real/stored.img"));
  EXPECT_EQ(std::vector<std::string>{"stored.img"}, names_in("real"));
}

// A device is written directly and never replaced or removed.
TEST_F(Output, WritesADeviceDirectly) {
  fs::create_symlink("/dev/null", "package.img");
  OutputFile output;
  ASSERT_EQ(PLATFORM_OK, create_output("package.img", &output));
  EXPECT_FALSE(output.is_temporary);
  EXPECT_EQ(PLATFORM_OK, write_to_file(output.handle, bytes_of("gone"), 4));
  EXPECT_EQ(PLATFORM_OK, commit_output(&output));
  EXPECT_EQ("/dev/null", fs::read_symlink("package.img").string());
  EXPECT_EQ(std::vector<std::string>{"package.img"}, names_in("."));
}
#endif

}  // namespace
