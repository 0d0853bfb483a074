// Test support: a scratch directory per test and whole-file helpers.
#pragma once

#include <gtest/gtest.h>

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

// A fresh, empty directory for each test, removed afterwards.
class ScratchTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  std::filesystem::path scratch;
};
