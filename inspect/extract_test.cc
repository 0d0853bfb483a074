#include "extract.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(IsPlainFileName, RefusesWhatCouldLeadOutOfTheDirectory) {
  for (const char* name : {"a.txt", "upgrade", "with space", ".hidden", "...", "caf\xc3\xa9"}) {
    EXPECT_TRUE(is_plain_file_name(name)) << name;
  }
  for (const char* name : {"", ".", "..", "../x", "a/b", "/etc", "..\\x", "a\\b", "C:", "a:b"}) {
    EXPECT_FALSE(is_plain_file_name(name)) << name;
  }
}

TEST(TakeFileName, NeverGivesOutOneFileTwice) {
  FileNames names;
  const char* const nodes[] = {"upgrade", "upgrade", "a.txt",     "A.TXT",
                               "a.txt.1", "upgrade", "Upgrade.2", "a.txt"};
  const char* const expected[] = {"upgrade",   "upgrade.1", "a.txt",       "A.TXT.1",
                                  "a.txt.1.1", "upgrade.2", "Upgrade.2.1", "a.txt.2"};
  for (std::size_t i = 0; i < 8; ++i) {
    EXPECT_EQ(expected[i], take_file_name(nodes[i], &names)) << i;
  }
}

// A packed file name taken before its duplicates get there is skipped, not overwritten.
TEST(TakeFileName, StepsOverANameAlreadyTaken) {
  FileNames names;
  EXPECT_EQ("a.1", take_file_name("a.1", &names));
  EXPECT_EQ("a", take_file_name("a", &names));
  EXPECT_EQ("a.2", take_file_name("a", &names));
  EXPECT_EQ("a.3", take_file_name("a", &names));
}

}  // namespace
