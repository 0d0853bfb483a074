#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>
#endif

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "extract_files.h"
#include "scratch.h"

#ifndef _WIN32
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
constexpr bool WINDOWS = true;
#else
constexpr bool WINDOWS = false;
#endif

// Every name a Windows file system cannot hold, beside names that only look like them. Other
// systems hold them all.
TEST(CanHoldFileName, RefusesOnWindowsWhatWindowsCannotHold) {
  struct Case {
    const char* name;
    bool held_on_windows;
  };
  const Case cases[] = {
      {"a", true},
      {"a.txt", true},
      {".hidden", true},
      {"a.b.c", true},
      {"with space", true},
      {" leading", true},
      {"caf\xe9", true},
      {"\x80uro", true},
      {"a.", false},
      {"a ", false},
      {"a. .", false},
      {"a..", false},
      {"...", false},
      {"nul", false},
      {"NUL", false},
      {"nUl.txt", false},
      {"nul.tar.gz", false},
      {"nul .txt", false},
      {"con", false},
      {"CON.txt", false},
      {"prn", false},
      {"aux", false},
      {"com0", false},
      {"com1", false},
      {"COM9.log", false},
      {"com\xb9", false},  // COM with a superscript 1, 2 or 3 (code page
                           // 1252)
      {"lpt\xb2", false},
      {"com\xb3.x", false},
      {"lpt0", false},
      {"lpt1", false},
      {"LPT9", false},
      {"conin$", false},
      {"CONOUT$.x", false},
      {"nul1", true},
      {"null", true},
      {"xnul", true},
      {"com10", true},
      {"com", true},
      {"lpt", true},
      {"conin", true},
      {"con$", true},
      {"com\xb4", true},  // an acute accent: not a port number
      {"a.nul", true},
      {"a?b", false},
      {"x<y", false},
      {"x>y", false},
      {"say\"hi\"", false},
      {"a|b", false},
      {"a*", false},
      {"tab\tname", false},
      {"\x01", false},
      {"line\x1f", false},
      {"del\x7f", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(WINDOWS ? c.held_on_windows : true, can_hold_file_name(c.name)) << c.name;
  }
}

class ExtractFiles : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    ASSERT_EQ(PLATFORM_OK, open_extract_directory((scratch / "out").string(), &directory));
  }
  void TearDown() override {
    close_extract_directory(directory);
    ScratchTest::TearDown();
  }

  // Writes bytes under a temporary name and renames the file to name.
  int extract(const std::string& bytes, const std::string& name) {
    ExtractFile file;
    if (create_extract_file(&directory, &file) != PLATFORM_OK) return PLATFORM_FAILED;
    EXPECT_EQ(PLATFORM_OK,
              write_to_file(file.handle, reinterpret_cast<const std::uint8_t*>(bytes.data()),
                            bytes.size()));
    return commit_extract_file(directory, &file, name);
  }

  // Every entry of a directory: a file's bytes, or what it is.
  static std::map<std::string, std::string> entries(const fs::path& path) {
    std::map<std::string, std::string> found;
    for (const fs::directory_entry& entry : fs::directory_iterator(path)) {
      const std::string name = entry.path().filename().string();
      if (entry.is_symlink()) {
        found[name] = "<link>";
      } else if (entry.is_directory()) {
        found[name] = "<dir>";
      } else {
        found[name] = read_file(entry.path());
      }
    }
    return found;
  }

  ExtractDirectory directory;
};

TEST_F(ExtractFiles, MakesTheDirectoryAndItsParentsButNotThroughAFile) {
  ExtractDirectory deeper;
  ASSERT_EQ(PLATFORM_OK, open_extract_directory((scratch / "a" / "b").string(), &deeper));
  close_extract_directory(deeper);
  EXPECT_TRUE(fs::is_directory(scratch / "a" / "b"));
  write_file(scratch / "file", "");
  EXPECT_EQ(PLATFORM_FAILED, open_extract_directory((scratch / "file").string(), &deeper));
  EXPECT_EQ(PLATFORM_FAILED, open_extract_directory((scratch / "file" / "x").string(), &deeper));
  EXPECT_EQ(PLATFORM_FAILED, open_extract_directory("", &deeper));
}

// The final name appears only once the file is whole, and no temporary name is left.
TEST_F(ExtractFiles, WritesUnderATemporaryNameThenRenames) {
  write_file(scratch / "out" / "a.txt", "an earlier, longer file");
  ExtractFile file;
  ASSERT_EQ(PLATFORM_OK, create_extract_file(&directory, &file));
  // Windows lets nobody else open the temporary file, which it is to delete unless renamed.
  std::map<std::string, std::string> meanwhile = entries(scratch / "out");
  EXPECT_EQ(1u, meanwhile.erase(file.temporary_name));
  EXPECT_EQ((std::map<std::string, std::string>{{"a.txt", "an earlier, longer file"}}), meanwhile);
  EXPECT_EQ(0u, file.temporary_name.find(".corvane-inspect-"));
  EXPECT_GT(file.temporary_name.size(), 15u) << "longer than any node name";
  EXPECT_EQ(".tmp", file.temporary_name.substr(file.temporary_name.size() - 4));
  const std::uint8_t bytes[] = {'n', 'e', 'w'};
  ASSERT_EQ(PLATFORM_OK, write_to_file(file.handle, bytes, 3));
  ASSERT_EQ(PLATFORM_OK, commit_extract_file(directory, &file, "a.txt"));
  EXPECT_EQ((std::map<std::string, std::string>{{"a.txt", "new"}}), entries(scratch / "out"));
  FileIdentity identity;
  ASSERT_EQ(PLATFORM_OK, query_entry_identity(directory, "a.txt", &identity));
  EXPECT_TRUE(is_same_file(file.identity, identity)) << "the identity survives the rename";
  EXPECT_EQ(PLATFORM_FAILED, query_entry_identity(directory, "missing", &identity));
}

TEST_F(ExtractFiles, DiscardingLeavesNothing) {
  ExtractFile file;
  ASSERT_EQ(PLATFORM_OK, create_extract_file(&directory, &file));
  discard_extract_file(directory, &file);
  EXPECT_TRUE(entries(scratch / "out").empty());
}

// A directory of the final name is not replaced, and the temporary file goes.
TEST_F(ExtractFiles, FailsOnADirectoryOfTheFinalName) {
  fs::create_directories(scratch / "out" / "a.txt" / "inner");
  EXPECT_EQ(PLATFORM_FAILED, extract("abc", "a.txt"));
  EXPECT_EQ((std::map<std::string, std::string>{{"a.txt", "<dir>"}}), entries(scratch / "out"));
}

// A hard link can be made everywhere; a symbolic link on POSIX only (Wine cannot make one).
TEST_F(ExtractFiles, ReplacesALinkAtTheFinalNameWithoutWritingThroughIt) {
  write_file(scratch / "outside", "keep");
  fs::create_hard_link(scratch / "outside", scratch / "out" / "hard");
  FileIdentity outside;
  ASSERT_EQ(PLATFORM_OK, query_entry_identity(directory, "hard", &outside));
  ASSERT_EQ(PLATFORM_OK, extract("abc", "hard"));
  if (!WINDOWS) {
    fs::create_symlink(scratch / "outside", scratch / "out" / "soft");
    FileIdentity link;
    ASSERT_EQ(PLATFORM_OK, query_entry_identity(directory, "soft", &link));
    EXPECT_FALSE(is_same_file(outside, link)) << "the link's own identity, not its target's";
    ASSERT_EQ(PLATFORM_OK, extract("def", "soft"));
    EXPECT_EQ((std::map<std::string, std::string>{{"hard", "abc"}, {"soft", "def"}}),
              entries(scratch / "out"));
  } else {
    EXPECT_EQ((std::map<std::string, std::string>{{"hard", "abc"}}), entries(scratch / "out"));
  }
  EXPECT_EQ("keep", read_file(scratch / "outside"));
  EXPECT_EQ(1u, fs::hard_link_count(scratch / "outside"));
}

#ifdef _WIN32

// Held open, the directory can be neither renamed nor deleted, so its path keeps naming it.
TEST_F(ExtractFiles, KeepsTheDirectoryFromBeingRenamedOrDeleted) {
  const fs::path out = scratch / "out";
  EXPECT_EQ(0, MoveFileExW(out.c_str(), (scratch / "moved").c_str(), 0));
  EXPECT_EQ(0, RemoveDirectoryW(out.c_str()));
  EXPECT_TRUE(fs::is_directory(out));
  ASSERT_EQ(PLATFORM_OK, extract("abc", "a.txt"));
  EXPECT_EQ("abc", read_file(out / "a.txt"));
}

// A process that ends however it ends closes its handles: the temporary file goes with them.
TEST_F(ExtractFiles, ATemporaryFileDoesNotOutliveItsHandle) {
  ExtractFile file;
  ASSERT_EQ(PLATFORM_OK, create_extract_file(&directory, &file));
  const std::uint8_t bytes[] = {'a'};
  ASSERT_EQ(PLATFORM_OK, write_to_file(file.handle, bytes, 1));
  CloseHandle(reinterpret_cast<HANDLE>(file.handle));
  EXPECT_TRUE(entries(scratch / "out").empty());
}

#else

// Once open, the directory is reached through its descriptor: renaming it and putting a link to
// another directory in its place sends no file there.
TEST_F(ExtractFiles, FollowsTheDirectoryNotItsPath) {
  fs::create_directory(scratch / "elsewhere");
  fs::rename(scratch / "out", scratch / "moved");
  fs::create_directory_symlink(scratch / "elsewhere", scratch / "out");
  ASSERT_EQ(PLATFORM_OK, extract("abc", "a.txt"));
  EXPECT_EQ((std::map<std::string, std::string>{{"a.txt", "abc"}}), entries(scratch / "moved"));
  EXPECT_TRUE(entries(scratch / "elsewhere").empty());
}

// A new file gets the mode any new file gets: 0666 less the umask.
TEST_F(ExtractFiles, CreatesFilesWithTheModeTheUmaskLeaves) {
  const mode_t before = umask(027);
  const int committed = extract("abc", "a.txt");
  umask(before);
  ASSERT_EQ(PLATFORM_OK, committed);
  struct stat status;
  ASSERT_EQ(0, stat((scratch / "out" / "a.txt").c_str(), &status));
  EXPECT_EQ(0640u, status.st_mode & 0777u);
}

// SIGTERM while a file is temporary ends the process only once the file is renamed whole, or
// removed: a child process takes the signal.
TEST_F(ExtractFiles, AnInterruptionLeavesNoTemporaryFile) {
  for (const bool commit : {true, false}) {
    const pid_t child = fork();
    ASSERT_NE(-1, child);
    if (child == 0) {
      ExtractFile file;
      const std::uint8_t bytes[] = {'a', 'b', 'c'};
      if (create_extract_file(&directory, &file) != PLATFORM_OK) _exit(1);
      write_to_file(file.handle, bytes, 3);
      raise(SIGTERM);
      write_to_file(file.handle, bytes, 3);
      if (commit) {
        commit_extract_file(directory, &file, "a.txt");
      } else {
        discard_extract_file(directory, &file);
      }
      _exit(2);  // not reached: the held signal ends the process first
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    const std::map<std::string, std::string> expected =
        commit ? std::map<std::string, std::string>{{"a.txt", "abcabc"}}
               : std::map<std::string, std::string>{};
    EXPECT_EQ(expected, entries(scratch / "out")) << (commit ? "commit" : "discard");
    fs::remove_all(scratch / "out" / "a.txt");
  }
}

#endif

}  // namespace
