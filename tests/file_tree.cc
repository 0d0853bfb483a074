#include "file_tree.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform.h"
#include "scratch.h"

namespace {

namespace fs = std::filesystem;

void add_entries(const std::string& directory, const std::string& prefix,
                 std::map<std::string, std::string>* const entries) {
  std::vector<std::string> names;
  ASSERT_EQ(0, list_directory(directory, &names)) << directory;
  for (const std::string& name : names) {
    if (name == "." || name == "..") continue;
    const std::string path = join_path(directory, name);
    const std::string relative = prefix + name;
    const fs::file_status status = fs::symlink_status(native_path(path));
    if (fs::is_symlink(status)) {
      (*entries)[relative] = "<link>";
    } else if (fs::is_directory(status)) {
      (*entries)[relative] = "<dir>";
      add_entries(path, relative + "/", entries);
    } else {
      (*entries)[relative] = read_file(native_path(path));
    }
  }
}

}  // namespace

std::map<std::string, std::string> file_tree(const std::filesystem::path& root) {
  std::map<std::string, std::string> entries;
  add_entries(root.string(), "", &entries);
  return entries;
}
