// End-to-end runs of corvane-inspect --extract against what could make it lose a node or write
// where it must not: names the platform cannot hold, names of one file, the image itself, a
// process racing it with links, a full disk, a standard output that is closed or goes away.
#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <nlohmann/json.hpp>

#include "console.h"
#include "file_tree.h"
#include "inspect_e2e.h"
#include "node_bytes.h"
#include "platform.h"
#include "scratch.h"
#include "tool_runner.h"

namespace {

namespace fs = std::filesystem;

class Extract : public ScratchTest {
 protected:
  ToolRun inspect(const std::vector<std::string>& arguments) {
    return run_tool(CORVANE_INSPECT_EXECUTABLE, scratch, arguments);
  }
};

#ifdef _WIN32
constexpr bool WINDOWS = true;
#else
constexpr bool WINDOWS = false;
#endif

// Each name with what becomes of its node on Windows, which cannot hold it as a file or takes it
// for another name's file, and elsewhere, where every name here is a file of its own: the file it
// is extracted as, or "" for a name problem. Every node holds one byte, "x", and an ordinary node
// after them must still be extracted.
TEST_F(Extract, EveryNameIsWrittenAsItselfOrIsANameProblem) {
  struct Name {
    std::string name;
    std::string line;  // its line in the listing, up to the column "extracted as"
    std::string on_windows;
    std::string elsewhere;
  };
  const Name names[] = {
      {"a",
       "    0           0  a                                  1  0x00000078  ok                 ",
       "a", "a"},
      {"a.",
       "    1          53  a.                                 1  0x00000078  ok                 ",
       "", "a."},
      {"a ",
       "    2         106  a                                  1  0x00000078  ok                 ",
       "", "a "},
      {"a. .",
       "    3         159  a. .                               1  0x00000078  ok                 ",
       "", "a. ."},
      {"A",
       "    4         212  A                                  1  0x00000078  ok                 ",
       "A.1", "A.1"},  // letter case is ignored everywhere
      {"nul",
       "    5         265  nul                                1  0x00000078  ok                 ",
       "", "nul"},
      {"aux",
       "    6         318  aux                                1  0x00000078  ok                 ",
       "", "aux"},
      {"com1",
       "    7         371  com1                               1  0x00000078  ok                 ",
       "", "com1"},
      {"com10",
       "    8         424  com10                              1  0x00000078  ok                 ",
       "com10", "com10"},
      {"con",
       "    9         477  con                                1  0x00000078  ok                 ",
       "", "con"},
      {"CON.txt",
       "   10         530  CON.txt                            1  0x00000078  ok                 ",
       "", "CON.txt"},
      {"prn",
       "   11         583  prn                                1  0x00000078  ok                 ",
       "", "prn"},
      {"lpt1",
       "   12         636  lpt1                               1  0x00000078  ok                 ",
       "", "lpt1"},
      {"conin$",
       "   13         689  conin$                             1  0x00000078  ok                 ",
       "", "conin$"},
      {"a?b",
       "   14         742  a?b                                1  0x00000078  ok                 ",
       "", "a?b"},
      {"x<y",
       "   15         795  x<y                                1  0x00000078  ok                 ",
       "", "x<y"},
      {"bell\x07",
       "   16         848  bell\\x07                           1  0x00000078  ok                 ",
       "", "bell\x07"},
      {"ordinary.txt",
       "   17         901  ordinary.txt                       1  0x00000078  ok                 ",
       "ordinary.txt", "ordinary.txt"},
  };
  std::string image;
  for (const Name& n : names) image += node_bytes(n.name, "x");
  write_file(scratch / "p.img", image);
  const ToolRun result = inspect({"--extract", "out", "p.img"});

  std::string listing = EXTRACT_HEADER;
  std::string errors;
  std::size_t problems = 0;
  std::map<std::string, std::string> files = {{"p.img", image}, {"out", "<dir>"}};
  // As the tool shows a name: a control character as \xHH.
  const auto listed = [](const std::string& text) {
    std::string shown;
    for (const char c : text) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02x", static_cast<unsigned char>(c));
      shown += static_cast<unsigned char>(c) < 0x20 ? std::string(escape) : std::string(1, c);
    }
    return shown;
  };
  for (std::size_t i = 0; i < std::size(names); ++i) {
    const std::string& outcome = WINDOWS ? names[i].on_windows : names[i].elsewhere;
    listing += names[i].line + (outcome.empty() ? "(not extracted)" : listed(outcome)) + "\n";
    if (outcome.empty()) {
      ++problems;
      errors += "corvane-inspect: node " + std::to_string(i) + " at offset " +
                std::to_string(53 * i) + ": name: expected a plain file name, found \"" +
                listed(names[i].name) + "\"; not extracted\n";
    } else {
      files["out/" + outcome] = "x";
    }
  }
  listing += "18 nodes, 954 bytes, " +
             (problems == 0 ? std::string("valid") : std::to_string(problems) + " problems") + "\n";
  EXPECT_EQ(console(listing), result.output);
  EXPECT_EQ(console(errors), result.error_output);
  EXPECT_EQ(WINDOWS ? PROBLEMS : VALID, result.exit_status);
  EXPECT_EQ(files, file_tree(scratch));
}

// A node named as the image's own file is not extracted over it, whatever spelling reaches it.
// The first run is the one that once replaced the image: corvane sub/package.img b.txt, then
// --extract . package.img.
TEST_F(Extract, NeverReplacesTheImageItReads) {
  fs::create_directory(scratch / "sub");
  write_file(scratch / "sub" / "package.img", "inner");
  write_file(scratch / "b.txt", "b");
  ASSERT_EQ(
      0,
      run_tool(CORVANE_EXECUTABLE, scratch, {joined("sub", "package.img"), "b.txt"}).exit_status);
  const std::string package = read_file(scratch / "package.img");
  ASSERT_EQ(node_bytes("package.img", "inner") + node_bytes("b.txt", "b"), package);
  const ToolRun result = inspect({"--extract", ".", "package.img"});
  EXPECT_EQ(console(EXTRACT_HEADER +
                    "    0           0  package.img                        5  0x0000021c  ok       "
                    "          (not extracted)\n"
                    "    1          57  b.txt                              1  0x00000062  ok       "
                    "          b.txt\n"
                    "2 nodes, 110 bytes, 1 problem\n"),
            result.output);
  EXPECT_EQ(console("corvane-inspect: node 0 at offset 0: name: expected a file other than the "
                    "image, found \"package.img\", the image itself; not extracted\n"),
            result.error_output);
  EXPECT_EQ(PROBLEMS, result.exit_status);
  const std::map<std::string, std::string> expected = {
      {"package.img", package}, {"b.txt", "b"}, {"sub", "<dir>"}, {"sub/package.img", "inner"}};
  EXPECT_EQ(expected, file_tree(scratch));

  // A second name of the image, in DIR, is the image too.
  fs::create_directory(scratch / "out");
  fs::create_hard_link(scratch / "package.img", scratch / "out" / "package.img");
  EXPECT_EQ(PROBLEMS, inspect({"--extract", "out", "package.img"}).exit_status);
  EXPECT_EQ(package, read_file(scratch / "package.img"));
  EXPECT_EQ("b", read_file(scratch / "out" / "b.txt"));
}

#ifdef _WIN32

// Windows reaches a file by its short name too: a node named as the short name of a file
// extracted before it gets a name of its own, as a node whose name differs only in case does.
TEST_F(Extract, KeepsApartANameThatIsAnotherFilesShortName) {
  fs::create_directory(scratch / "probe");
  write_file(scratch / "probe" / "longname.text", "");
  wchar_t short_name[MAX_PATH];
  ASSERT_NE(0u,
            GetShortPathNameW((scratch / "probe" / "longname.text").c_str(), short_name, MAX_PATH));
  const std::string alias = fs::path(short_name).filename().string();
  ASSERT_NE("longname.text", alias);
  const std::string image = node_bytes("longname.text", "one") + node_bytes(alias, "two");
  write_file(scratch / "p.img", image);
  const ToolRun result = inspect({"--json", "--extract", "out", "p.img"});
  EXPECT_EQ(VALID, result.exit_status);
  const nlohmann::json nodes = nlohmann::json::parse(result.output)["nodes"];
  EXPECT_EQ("longname.text", nodes[0]["extracted_as"]);
  EXPECT_EQ(alias + ".1", nodes[1]["extracted_as"]);
  EXPECT_EQ("one", read_file(scratch / "out" / "longname.text"));
  EXPECT_EQ("two", read_file(scratch / "out" / (alias + ".1")));
}

#else

// Runs corvane-inspect with arguments in the scratch directory, its standard output being output
// (or closed when output is -1) and standard error a file; returns the wait status.
int run_with_output(const fs::path& directory, const std::vector<std::string>& arguments,
                    const int output, std::string* const errors) {
  const fs::path error_file = directory / "errors";
  const pid_t child = fork();
  if (child == 0) {
    std::vector<char*> argv = {const_cast<char*>(CORVANE_INSPECT_EXECUTABLE)};
    for (const std::string& argument : arguments)
      argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const int error = open(error_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (chdir(directory.c_str()) != 0 || error < 0 || dup2(error, 2) < 0) _exit(127);
    if (output < 0) {
      close(1);
    } else if (dup2(output, 1) < 0) {
      _exit(127);
    }
    execv(CORVANE_INSPECT_EXECUTABLE, argv.data());
    _exit(127);
  }
  int status = -1;
  waitpid(child, &status, 0);
  *errors = read_file(error_file);
  fs::remove(error_file);
  return status;
}

// No file made by the extraction takes the place of a closed standard output, and a reader that
// goes away does not stop the extraction half-way: every node is written whole either way.
TEST_F(Extract, AClosedOrBrokenStandardOutputNeverStopsTheExtraction) {
  std::string image;
  for (std::uint32_t i = 0; i < 200; ++i)
    image += node_bytes("n" + std::to_string(i), varied_bytes(500, i));
  write_file(scratch / "p.img", image);
  int ends[2];
  ASSERT_EQ(0, pipe(ends));
  close(ends[0]);  // the reader is gone before the first line
  std::string errors;
  const int broken = run_with_output(scratch, {"--extract", "broken", "p.img"}, ends[1], &errors);
  close(ends[1]);
  EXPECT_TRUE(WIFEXITED(broken) && WEXITSTATUS(broken) == FAILED) << broken;
  EXPECT_EQ("corvane-inspect: cannot write standard output\n", errors);
  const int closed = run_with_output(scratch, {"--extract", "closed", "p.img"}, -1, &errors);
  EXPECT_TRUE(WIFEXITED(closed) && WEXITSTATUS(closed) == VALID) << closed;
  EXPECT_EQ("", errors);
  std::map<std::string, std::string> expected = {
      {"p.img", image}, {"broken", "<dir>"}, {"closed", "<dir>"}};
  for (std::uint32_t i = 0; i < 200; ++i) {
    expected["broken/n" + std::to_string(i)] = varied_bytes(500, i);
    expected["closed/n" + std::to_string(i)] = varied_bytes(500, i);
  }
  EXPECT_EQ(expected, file_tree(scratch));
}

// A write that fails part-way (a file size limit stands in for a full disk) leaves neither a
// temporary file nor a part of the node, and nothing more is written.
TEST_F(Extract, AFailedWriteLeavesNoTemporaryFile) {
  const std::string big = varied_bytes(300000, 1);
  const std::string image =
      node_bytes("a.txt", "abc") + node_bytes("big", big) + node_bytes("c.txt", "c");
  write_file(scratch / "p.img", image);
  rlimit before;
  ASSERT_EQ(0, getrlimit(RLIMIT_FSIZE, &before));
  rlimit limited = before;
  limited.rlim_cur = 100000;
  ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &limited));
  const ToolRun result = inspect({"--extract", "out", "p.img"});
  ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &before));
  EXPECT_EQ("corvane-inspect: node 1 at offset 55: cannot write big in out\n", result.error_output);
  EXPECT_EQ(FAILED, result.exit_status);
  const std::map<std::string, std::string> expected = {
      {"p.img", image}, {"out", "<dir>"}, {"out/a.txt", "abc"}};
  EXPECT_EQ(expected, file_tree(scratch));
}

// Another local user who can write to DIR loops on putting links there while the extraction runs,
// as root, again and again. Nothing outside DIR may ever be written.
TEST_F(Extract, ARacingLinkSwapperNeverMakesItWriteOutsideDir) {
  struct Race {
    const char* title;
    // What the swapper does, over and over, in the directory root.
    void (*swap)(const fs::path& root);
    bool always_valid;  // no run can fail; DIR swapped away can make one fail to open it
  };
  const Race races[] = {
      {"a link to a file outside at each name being written",
       [](const fs::path& root) {
         for (const char* name : {"a.txt", "b.txt"}) {
           const std::string link = (root / "out" / ".link").string();
           symlink((root / "outside" / "victim").c_str(), link.c_str());
           rename(link.c_str(), (root / "out" / name).c_str());
         }
       },
       true},
      {"DIR itself swapped for a link to a directory outside",
       [](const fs::path& root) {
         rename((root / "out").c_str(), (root / "real").c_str());
         symlink((root / "outside").c_str(), (root / "out").c_str());
         unlink((root / "out").c_str());
         rename((root / "real").c_str(), (root / "out").c_str());
       },
       false},
  };
  const std::string image = node_bytes("a.txt", "payload of a") + node_bytes("b.txt", "b");
  write_file(scratch / "p.img", image);
  for (const Race& race : races) {
    SCOPED_TRACE(race.title);
    fs::remove_all(scratch / "out");
    fs::remove_all(scratch / "outside");
    fs::create_directory(scratch / "out");
    fs::create_directory(scratch / "outside");
    write_file(scratch / "outside" / "victim", "keep");
    const pid_t swapper = fork();
    ASSERT_NE(-1, swapper);
    if (swapper == 0) {
      for (;;) race.swap(scratch);
    }
    for (int run = 0; run < 200; ++run) {
      const ToolRun result = inspect({"--extract", "out", "p.img"});
      // Opened while it was the link, DIR is the directory outside, and both files go there:
      // what may never happen is a run whose files land in two directories, or the victim
      // written.
      const std::map<std::string, std::string> outside = file_tree(scratch / "outside");
      const bool all_outside = outside.count("a.txt") == 1 && outside.count("b.txt") == 1;
      EXPECT_TRUE(outside.size() == 1 || (all_outside && outside.size() == 3)) << run;
      EXPECT_EQ("keep", outside.at("victim")) << run;
      fs::remove(scratch / "outside" / "a.txt");
      fs::remove(scratch / "outside" / "b.txt");
      if (race.always_valid) {
        EXPECT_EQ(VALID, result.exit_status) << run << result.error_output;
      }
      if (HasFailure()) break;
    }
    kill(swapper, SIGKILL);
    waitpid(swapper, nullptr, 0);
    fs::remove_all(scratch / "real");
  }
}

#endif

}  // namespace
