#include "scratch.h"

#include <fstream>
#include <iterator>
#include <random>

void write_file(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(file.good()) << "cannot write " << path;
}

std::string read_file(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return "<missing>";
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::string varied_bytes(const std::size_t length, const std::uint32_t seed) {
  std::mt19937 generator(seed);
  std::string bytes(length, '\0');
  for (char& byte : bytes) byte = static_cast<char>(generator() & 0xFF);
  return bytes;
}

void ScratchTest::SetUp() {
  const ::testing::TestInfo* const test = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string("corvane-") + test->test_suite_name() + "-" + test->name();
  for (char& c : name) {
    if (c == '/') c = '_';
  }
  // Another build's copy of the same test may be running at the same time: each run gets a
  // directory of its own.
  std::random_device entropy;
  for (;;) {
    scratch = std::filesystem::temp_directory_path() / (name + "-" + std::to_string(entropy()));
    if (std::filesystem::create_directories(scratch)) break;
  }
}

void ScratchTest::TearDown() {
  std::error_code ignored;
  std::filesystem::remove_all(scratch, ignored);
}
