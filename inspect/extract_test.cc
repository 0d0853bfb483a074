#include "extract.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "payload.h"
#include "scratch.h"

namespace fs = std::filesystem;

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

class WritePayloadFile : public ScratchTest {};

// Over 64 KiB, so the payload is decrypted in more than one piece.
TEST_F(WritePayloadFile, WritesTheFirmwareDecrypted) {
  const std::string plain = varied_bytes(200000, 3);
  std::string stored = plain;
  crypt_payload(reinterpret_cast<std::uint8_t*>(stored.data()), stored.size(), 0x7FFF1234);
  ASSERT_EQ(0, write_payload_file(scratch / "upgrade",
                                  reinterpret_cast<const std::uint8_t*>(stored.data()),
                                  stored.size(), 0x7FFF1234));
  EXPECT_EQ(plain, read_file(scratch / "upgrade"));
  ASSERT_EQ(0, write_payload_file(scratch / "empty", nullptr, 0, 0));
  EXPECT_EQ("", read_file(scratch / "empty"));
}

// A file in DIR that leads to another, outside it, is replaced and the other left as it was. A
// hard link can be made everywhere; a symbolic link on POSIX only (Wine cannot make one, and
// Windows needs a privilege for it).
TEST_F(WritePayloadFile, ReplacesALinkWithoutWritingThroughIt) {
  using MakeLink = void (*)(const fs::path& target, const fs::path& link);
  std::vector<MakeLink> links = {
      [](const fs::path& target, const fs::path& link) { fs::create_hard_link(target, link); }};
#ifndef _WIN32
  links.push_back(
      [](const fs::path& target, const fs::path& link) { fs::create_symlink(target, link); });
#endif
  const std::uint8_t abc[] = {'a', 'b', 'c'};
  for (const MakeLink make_link : links) {
    fs::remove_all(scratch);
    fs::create_directories(scratch / "out");
    write_file(scratch / "outside", "keep");
    make_link(scratch / "outside", scratch / "out" / "a.txt");
    ASSERT_EQ(0, write_payload_file(scratch / "out" / "a.txt", abc, 3, 0));
    EXPECT_EQ("keep", read_file(scratch / "outside"));
    EXPECT_FALSE(fs::is_symlink(scratch / "out" / "a.txt"));
    EXPECT_EQ(1u, fs::hard_link_count(scratch / "outside"));
    EXPECT_EQ("abc", read_file(scratch / "out" / "a.txt"));
  }
}

TEST_F(WritePayloadFile, FailsOnADirectoryOfTheSameName) {
  fs::create_directories(scratch / "a.txt" / "inner");
  const std::uint8_t abc[] = {'a', 'b', 'c'};
  EXPECT_EQ(-1, write_payload_file(scratch / "a.txt", abc, 3, 0));
  EXPECT_TRUE(fs::is_directory(scratch / "a.txt" / "inner"));
}

TEST_F(WritePayloadFile, PrepareDirectoryMakesItOrRefusesAFile) {
  EXPECT_EQ(0, prepare_directory(scratch / "new" / "deeper"));
  EXPECT_TRUE(fs::is_directory(scratch / "new" / "deeper"));
  EXPECT_EQ(0, prepare_directory(scratch / "new"));
  write_file(scratch / "file", "");
  EXPECT_EQ(-1, prepare_directory(scratch / "file"));
  EXPECT_EQ(-1, prepare_directory(scratch / "file" / "sub"));
}

}  // namespace
