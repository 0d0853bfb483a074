#include "file_tree.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform.h"
#include "scratch.h"

namespace {

namespace fs = std::filesystem;

void add_entries(const NativeString& directory, const std::string& prefix,
                 std::map<std::string, std::string>* const entries) {
  std::vector<NativeString> names;
  ASSERT_EQ(0, list_directory(directory, &names)) << narrow_name(directory);
  for (const NativeString& name : names) {
    const std::string narrow = narrow_name(name);
    if (narrow == "." || narrow == "..") continue;
    const fs::path path = join_path(directory, name);
    const std::string relative = prefix + narrow;
    const fs::file_status status = fs::symlink_status(path);
    if (fs::is_symlink(status)) {
      (*entries)[relative] = "<link>";
    } else if (fs::is_directory(status)) {
      (*entries)[relative] = "<dir>";
      add_entries(path.native(), relative + "/", entries);
    } else {
      (*entries)[relative] = read_file(path);
    }
  }
}

}  // namespace

std::map<std::string, std::string> file_tree(const std::filesystem::path& root) {
  std::map<std::string, std::string> entries;
  add_entries(root.native(), "", &entries);
  return entries;
}
