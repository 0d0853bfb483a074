// Test support: a scratch directory per test and whole-file helpers.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

// Writes bytes to path, creating or truncating it.
void write_file(const std::filesystem::path& path, const std::string& bytes);

// Returns the whole content of path, or "<missing>" when it cannot be opened.
std::string read_file(const std::filesystem::path& path);

// Returns length bytes that do not repeat, from a fixed generator, so runs are reproducible.
std::string varied_bytes(std::size_t length, std::uint32_t seed);

// The name of a table case's test, made from its title: every
// character that is not a letter or digit becomes "_".
template <typename Case>
std::string title_as_test_name(const ::testing::TestParamInfo<Case>& info) {
  std::string name = info.param.title;
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return name;
}

// A fresh, empty directory for each test, removed afterwards.
class ScratchTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  std::filesystem::path scratch;
};
