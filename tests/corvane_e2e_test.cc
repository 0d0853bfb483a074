// End-to-end runs of the built corvane in a scratch directory: exact standard output, exit status
// and bytes of package.img.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>

#include "console.h"
#include "corvane_texts.h"
#include "node_bytes.h"
#include "node_descriptor.h"
#include "scratch.h"
#include "session_keys.h"
#include "tool_runner.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

namespace fs = std::filesystem;

// The names in directory, in the order the system lists them ("." and ".." left out).
std::vector<std::string> listed_names(const fs::path& directory) {
  std::vector<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(directory)) {
    names.push_back(entry.path().filename().string());
  }
  return names;
}

// What a user sees differ between the platforms. The tests below are written once against these.
#ifdef _WIN32

constexpr char SEPARATOR[] = "\\";

// Only "\" separates: data/logo.raw keeps its whole path, 13 characters, as its name.
constexpr char DATA_LOGO_NAME[] = "data/logo.raw";

// Other names of package.img in the current directory.
const std::vector<std::string> PACKAGE_ALIASES = {".\\package.img", "./package.img", "PACKAGE.IMG",
                                                  "package.img.", "hard"};
void make_package_aliases(const fs::path& scratch) {
  fs::create_hard_link(scratch / "package.img", scratch / "hard");
}

// A file that claims a page but yields a few bytes: the host's sysfs, which Wine shows as Z:.
constexpr char SHORT_READ_PATH[] = "Z:\\sys\\devices\\system\\cpu\\online";

// A walk takes the entries in the order the directory listing yields them.
std::vector<std::string> walk_order(const fs::path& directory) {
  return listed_names(directory);
}

// A directory whose package.img can be created but never written. Wine cannot make the link to
// the host's /dev/full that does this, so the test's host made one directory for each case
// (see full_disk.cmake). Empty when there is none. Wine gives such a link no status, but lists it.
fs::path full_disk_directory(const fs::path&, const std::string& case_name) {
  const char* const root = std::getenv("CORVANE_TEST_FULL_DISK");
  return root != nullptr ? fs::path(root) / case_name : fs::path();
}

#else

constexpr char SEPARATOR[] = "/";

// "/" separates as well as "\".
constexpr char DATA_LOGO_NAME[] = "logo.raw";

const std::vector<std::string> PACKAGE_ALIASES = {"./package.img", "link", "hard"};
void make_package_aliases(const fs::path& scratch) {
  fs::create_symlink("package.img", scratch / "link");
  fs::create_hard_link(scratch / "package.img", scratch / "hard");
}

constexpr char SHORT_READ_PATH[] = "/sys/devices/system/cpu/online";

// A walk takes the entries in the order Windows lists ASCII names: letters as capitals, then
// names that differ only in case by their bytes.
std::vector<std::string> walk_order(const fs::path& directory) {
  std::vector<std::string> names = listed_names(directory);
  const auto capitals = [](std::string name) {
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return name;
  };
  std::sort(names.begin(), names.end(), [&](const std::string& a, const std::string& b) {
    return std::make_pair(capitals(a), a) < std::make_pair(capitals(b), b);
  });
  return names;
}

// A directory whose package.img can be created but never written: a link to /dev/full.
fs::path full_disk_directory(const fs::path& scratch, const std::string& case_name) {
  if (!fs::exists("/dev/full")) return {};
  const fs::path directory = scratch / case_name;
  fs::create_directories(directory);
  fs::create_symlink("/dev/full", directory / "package.img");
  return directory;
}

#endif

constexpr char MISSING[] = "<missing>";

std::string joined(const std::string& directory, const std::string& name) {
  return directory + SEPARATOR + name;
}

std::string firmware_node(const std::string& payload, const std::uint32_t key) {
  return node_bytes("upgrade", payload, NODE_FLAG_UPGRADE, key);
}

// What a walk prints and writes for one entry it may meet, after the "File %s ...\r\n" line.
struct WalkEntry {
  std::string name;
  std::string lines;
  std::string node;
};

WalkEntry packed_entry(const std::string& directory, const std::string& name,
                       const std::string& payload) {
  return {name, packed_lines(joined(directory, name), name, payload.size()),
          node_bytes(name, payload)};
}

WalkEntry unopened_entry(const std::string& directory, const std::string& name) {
  return {name, "Can NOT open " + joined(directory, name) + " !\r\n", ""};
}

struct Walk {
  std::string output;
  std::string package;
};

// The output and the nodes of a walk of directory (under scratch) meeting entries, in the walk's
// order; dot names are skipped without a word.
Walk walk(const fs::path& scratch, const std::string& directory,
          const std::vector<WalkEntry>& entries) {
  Walk result{directory + " is a directory, diving ...\n", ""};
  for (const std::string& name : walk_order(scratch / directory)) {
    if (name[0] == '.') continue;
    const auto entry = std::find_if(entries.begin(), entries.end(),
                                    [&](const WalkEntry& e) { return e.name == name; });
    if (entry == entries.end()) {
      ADD_FAILURE() << "the walk meets " << name << ", which the test does not expect";
      continue;
    }
    result.output += "File " + name + " ...\r\n" + entry->lines;
    result.package += entry->node;
  }
  return result;
}

bool lists(const fs::path& directory, const std::string& name) {
  const std::vector<std::string> names = listed_names(directory);
  return std::find(names.begin(), names.end(), name) != names.end();
}

class Corvane : public ScratchTest {
 protected:
  ToolRun run(const std::vector<std::string>& arguments) {
    return run_tool(CORVANE_EXECUTABLE, scratch, arguments);
  }
  std::string package() { return read_file(scratch / "package.img"); }
  void put(const std::string& relative, const std::string& bytes) {
    put_file(scratch, relative, bytes);
  }
};

struct Expected {
  std::string output;  // as the texts are written: the console may translate line ends
  int exit_status;
  std::string package;
};

// A run whose output does not depend on the session key.
struct FixedCase {
  const char* title;
  std::function<void(const fs::path& scratch)> setup;
  std::vector<std::string> arguments;
  std::function<Expected(const fs::path& scratch)> expected;
};

const std::string ABC = "abc";
const std::string A_NODE = node_bytes("a.txt", ABC);

std::vector<std::string> package_spellings_then_current_directory() {
  std::vector<std::string> arguments = {"package.img"};
  arguments.insert(arguments.end(), PACKAGE_ALIASES.begin(), PACKAGE_ALIASES.end());
  arguments.push_back(".");
  return arguments;
}

const FixedCase FIXED_CASES[] = {
    {"no argument prints usage and creates nothing",
     nullptr,
     {},
     [](const fs::path&) {
       return Expected{BANNER + USAGE, EXIT_USAGE, MISSING};
     }},
    {"a missing path runs on into the size line",
     nullptr,
     {"missing"},
     [](const fs::path&) {
       return Expected{CREATED + "Can NOT stat missing." + closing(0), 0, ""};
     }},
    {"wildcards are not expanded and the empty argument is a path too",
     [](const fs::path& scratch) {
       put_file(scratch, "x.bin", "matches *.bin");
       put_file(scratch, "ab", "matches a?");
     },
     {"*.bin", "", "a?"},
     [](const fs::path&) {
       return Expected{CREATED + "Can NOT stat *.bin.Can NOT stat .Can NOT stat a?." + closing(0),
                       0, ""};
     }},
    {"a file becomes one node",
     [](const fs::path& scratch) { put_file(scratch, "a.txt", ABC); },
     {"a.txt"},
     [](const fs::path&) {
       return Expected{CREATED + packed_lines("a.txt", "a.txt", 3) + closing(55), 0, A_NODE};
     }},
    {"the same file twice gives two nodes and an empty file a bare descriptor",
     [](const fs::path& scratch) {
       put_file(scratch, "a.txt", ABC);
       put_file(scratch, "empty", "");
     },
     {"a.txt", "empty", "a.txt"},
     [](const fs::path&) {
       return Expected{CREATED + packed_lines("a.txt", "a.txt", 3) +
                           packed_lines("empty", "empty", 0) + packed_lines("a.txt", "a.txt", 3) +
                           closing(55 + 52 + 55),
                       0, A_NODE + node_bytes("empty", "") + A_NODE};
     }},
    {"a directory is walked one level in the platform's order skipping dot names",
     [](const fs::path& scratch) {
       put_file(scratch, "d/a.txt", ABC);
       put_file(scratch, "d/Z.txt", "zz");
       put_file(scratch, "d/.hidden", "secret");
       put_file(scratch, "d/sub/inner", "not reached");
     },
     {"d"},
     [](const fs::path& scratch) {
       const Walk d = walk(scratch, "d",
                           {packed_entry("d", "a.txt", ABC), packed_entry("d", "Z.txt", "zz"),
                            unopened_entry("d", "sub")});
       return Expected{CREATED + d.output + closing(54 + 55), 0, d.package};
     }},
    {"only the last dot of the whole path makes a firmware image",
     [](const fs::path& scratch) {
       put_file(scratch, "image.bin.txt", "1");
       put_file(scratch, "image.binx", "2");
       put_file(scratch, "old.bin/readme", "3");
     },
     {"image.bin.txt", "image.binx", joined("old.bin", "readme")},
     [](const fs::path&) {
       return Expected{CREATED + packed_lines("image.bin.txt", "image.bin.txt", 1) +
                           packed_lines("image.binx", "image.binx", 1) +
                           packed_lines(joined("old.bin", "readme"), "readme", 1) + closing(3 * 53),
                       0,
                       node_bytes("image.bin.txt", "1") + node_bytes("image.binx", "2") +
                           node_bytes("readme", "3")};
     }},
    {"the base name is cut at the last backslash",
     [](const fs::path& scratch) {
       put_file(scratch, "assets\\logo.raw", "L");
       put_file(scratch, "data/logo.raw", "M");
     },
     {"assets\\logo.raw", "data/logo.raw"},
     [](const fs::path&) {
       return Expected{CREATED + packed_lines("assets\\logo.raw", "logo.raw", 1) +
                           packed_lines("data/logo.raw", DATA_LOGO_NAME, 1) + closing(2 * 53),
                       0, node_bytes("logo.raw", "L") + node_bytes(DATA_LOGO_NAME, "M")};
     }},
    {"a name of 16 characters is refused and one of 15 packed",
     [](const fs::path& scratch) {
       put_file(scratch, "name-of-16-chars", "x");
       put_file(scratch, "fifteen-chars.x", "y");
     },
     {"name-of-16-chars", "fifteen-chars.x"},
     [](const fs::path&) {
       return Expected{CREATED + processing("name-of-16-chars", 1) +
                           "Can NOT pack name-of-16-chars: name longer than 15 characters !\r\n" +
                           packed_lines("fifteen-chars.x", "fifteen-chars.x", 1) + closing(53),
                       0, node_bytes("fifteen-chars.x", "y")};
     }},
    {"firmware one byte over the limit is refused",
     [](const fs::path& scratch) { put_file(scratch, "app.bin", std::string(126977, 'f')); },
     {"app.bin"},
     [](const fs::path&) {
       return Expected{CREATED + processing("app.bin", 126977) +
                           "Firmware is too big for bootloader (126977B - 126976B = 1B) !\r\n" +
                           closing(0),
                       0, ""};
     }},
    {"the earlier package is never packed into the new one however it is named",
     [](const fs::path& scratch) {
       put_file(scratch, "package.img", "an earlier package");
       make_package_aliases(scratch);
       put_file(scratch, "a.txt", ABC);
     },
     package_spellings_then_current_directory(),
     [](const fs::path& scratch) {
       std::string refusals = output_file_refused("package.img");
       for (const std::string& alias : PACKAGE_ALIASES) refusals += output_file_refused(alias);
       // The walk meets link only where the platform made one, and never the package being
       // written, whose name begins with a dot.
       const Walk current =
           walk(scratch, ".",
                {packed_entry(".", "a.txt", ABC),
                 {"hard", output_file_refused(joined(".", "hard")), ""},
                 {"link", output_file_refused(joined(".", "link")), ""},
                 {"package.img", output_file_refused(joined(".", "package.img")), ""}});
       return Expected{CREATED + refusals + current.output + closing(55), 0, current.package};
     }},
    {"without an earlier package its name names nothing",
     nullptr,
     {"package.img"},
     [](const fs::path&) {
       return Expected{CREATED + "Can NOT stat package.img." + closing(0), 0, ""};
     }},
    {"files over 2147483647 bytes are refused and firmware too",
     [](const fs::path& scratch) {
       for (const char* name : {"huge.raw", "huge.bin"}) {
         write_file(scratch / name, "");
         fs::resize_file(scratch / name, 2147483648u);  // sparse: costs no disk
       }
     },
     {"huge.raw", "huge.bin"},
     [](const fs::path&) {
       return Expected{CREATED + processing("huge.raw", 2147483648u) +
                           "Can NOT pack huge.raw: larger than 2147483647 bytes !\r\n" +
                           processing("huge.bin", 2147483648u) +
                           "Can NOT pack huge.bin: larger than 2147483647 bytes !\r\n" + closing(0),
                       0, ""};
     }},
};

// Runs that show what one platform alone can meet.
#ifdef _WIN32
const FixedCase PLATFORM_CASES[] = {
    {"the status query refuses a bare drive and a trailing separator",
     [](const fs::path& scratch) {
       put_file(scratch, "a.txt", ABC);
       put_file(scratch, "d/a.txt", ABC);
     },
     {"C:", "d\\", "d/", "a.txt\\", "a.txt/"},
     [](const fs::path&) {
       return Expected{CREATED + "Can NOT stat C:.Can NOT stat d\\.Can NOT stat d/." +
                           "Can NOT stat a.txt\\.Can NOT stat a.txt/." + closing(0),
                       0, ""};
     }},
};
#else
// The names of the walk-order case, in the order Windows lists them on NTFS.
const std::vector<std::string> WINDOWS_ORDER = {"0num", "A.txt", "a.txt", "Alpha",
                                                "B2",   "beta",  "zeta",  "_u"};

const FixedCase PLATFORM_CASES[] = {
    {"a walk takes names in the order Windows lists them",
     [](const fs::path& scratch) {
       for (const char* name : {"zeta", "Alpha", "beta", "_u", "B2", "0num", "a.txt", "A.txt"}) {
         put_file(scratch, std::string("w/") + name, name);
       }
     },
     {"w"},
     [](const fs::path&) {
       std::string output = CREATED + "w is a directory, diving ...\n";
       std::string package;
       for (const std::string& name : WINDOWS_ORDER) {
         output += "File " + name + " ...\r\n" + packed_lines("w/" + name, name, name.size());
         package += node_bytes(name, name);
       }
       return Expected{output + closing(package.size()), 0, package};
     }},
    {"a FIFO or device or a directory met in a walk is not opened",
     [](const fs::path& scratch) {
       fs::create_directories(scratch / "w/dir");
       ASSERT_EQ(0, mkfifo((scratch / "w/fifo").c_str(), 0600));
     },
     {"w", "w/fifo", "/dev/zero"},
     [](const fs::path& scratch) {
       const Walk w = walk(scratch, "w", {unopened_entry("w", "dir"), unopened_entry("w", "fifo")});
       return Expected{CREATED + w.output +
                           "Can NOT open w/fifo !\r\nCan NOT open /dev/zero !\r\n" + closing(0),
                       0, ""};
     }},
};
#endif

void PrintTo(const FixedCase& c, std::ostream* out) {
  *out << c.title;
}

class FixedRun : public Corvane, public ::testing::WithParamInterface<FixedCase> {};

TEST_P(FixedRun, PrintsAndWritesExactly) {
  const FixedCase& c = GetParam();
  if (c.setup) c.setup(scratch);
  const ToolRun result = run(c.arguments);
  const Expected expected = c.expected(scratch);
  EXPECT_EQ(console(expected.output), result.output);
  EXPECT_EQ(expected.exit_status, result.exit_status);
  EXPECT_EQ(expected.package, package());
}

INSTANTIATE_TEST_SUITE_P(Corvane, FixedRun, ::testing::ValuesIn(FIXED_CASES),
                         title_as_test_name<FixedCase>);
INSTANTIATE_TEST_SUITE_P(Platform, FixedRun, ::testing::ValuesIn(PLATFORM_CASES),
                         title_as_test_name<FixedCase>);

// The key is drawn from the time of the run: every second from just before its start to just
// after its end is tried as the seed, and one must explain both the output and the package.
// SOURCE_DATE_EPOCH unset or empty: the clock seeds the keys.
class ClockRun : public Corvane, public ::testing::WithParamInterface<const char*> {};

TEST_P(ClockRun, EncryptsEachFirmwareImageUnderTheNextKeyOfTheRunsClock) {
  const std::string app = varied_bytes(4096, 1);
  const std::string limit = varied_bytes(126976, 2);
  put("app.bin", app);
  put("a.txt", ABC);
  put("dir.x/EMPTY.BIN", "");
  put("limit.Bin", limit);
  const std::vector<std::string> arguments = {"app.bin", "a.txt", "dir.x/EMPTY.BIN", "limit.Bin"};
  ToolOptions options;
  options.environment = {GetParam()};

  const auto first_seed = static_cast<std::uint32_t>(std::time(nullptr));
  const ToolRun result = run_tool(CORVANE_EXECUTABLE, scratch, arguments, options);
  const auto last_seed = static_cast<std::uint32_t>(std::time(nullptr));
  ASSERT_LE(first_seed, last_seed);

  Expected expected;
  for (std::uint32_t seed = first_seed; seed <= last_seed; ++seed) {
    SessionKeys generator;
    seed_session_keys(&generator, seed);
    std::uint32_t keys[3];
    for (std::uint32_t& key : keys) key = next_session_key(&generator);
    expected = {
        console(CREATED + firmware_lines("app.bin", app.size(), keys[0]) +
                packed_lines("a.txt", "a.txt", 3) + firmware_lines("dir.x/EMPTY.BIN", 0, keys[1]) +
                firmware_lines("limit.Bin", limit.size(), keys[2]) +
                closing(4096 + 52 + 55 + 52 + 126976 + 52)),
        0,
        firmware_node(app, keys[0]) + A_NODE + firmware_node("", keys[1]) +
            firmware_node(limit, keys[2])};
    if (expected.output == result.output && expected.package == package()) break;
  }
  EXPECT_EQ(expected.output, result.output);
  EXPECT_EQ(0, result.exit_status);
  EXPECT_EQ(expected.package, package());
}

std::string unset_or_empty(const ::testing::TestParamInfo<const char*>& setting) {
  return std::string(setting.param).back() == '=' ? "Empty" : "Unset";
}

INSTANTIATE_TEST_SUITE_P(SourceDateEpoch, ClockRun,
                         ::testing::Values("SOURCE_DATE_EPOCH", "SOURCE_DATE_EPOCH="),
                         unset_or_empty);

ToolOptions source_date_epoch(const std::string& value) {
  ToolOptions options;
  options.environment = {"SOURCE_DATE_EPOCH=" + value};
  return options;
}

std::uint32_t first_key_of(const std::uint32_t seed) {
  SessionKeys generator;
  seed_session_keys(&generator, seed);
  return next_session_key(&generator);
}

// The same inputs and the same SOURCE_DATE_EPOCH give the same package, run after run: its low
// 32 bits seed the keys, as the clock's seconds would.
TEST_F(Corvane, SourceDateEpochMakesEveryRunGiveTheSamePackage) {
  const std::string app = varied_bytes(5000, 3);
  put("app.bin", app);
  put("a.txt", ABC);
  put("b.txt", "bb");
  const std::vector<std::string> arguments = {"app.bin", "a.txt", "b.txt"};
  // 4294967296 + 1700000000: only the low 32 bits count.
  const std::uint32_t key = first_key_of(1700000000);
  const std::string expected_output = console(
      CREATED + firmware_lines("app.bin", app.size(), key) + packed_lines("a.txt", "a.txt", 3) +
      packed_lines("b.txt", "b.txt", 2) + closing(5000 + 52 + 55 + 54));
  const std::string expected_package = firmware_node(app, key) + A_NODE + node_bytes("b.txt", "bb");
  for (const char* const value : {"1700000000", "5994967296"}) {
    for (int round = 0; round < 2; ++round) {
      const ToolRun result =
          run_tool(CORVANE_EXECUTABLE, scratch, arguments, source_date_epoch(value));
      EXPECT_EQ(expected_output, result.output) << value;
      EXPECT_EQ(0, result.exit_status) << value;
      EXPECT_EQ(expected_package, package()) << value;
    }
  }
}

TEST_F(Corvane, RefusesASourceDateEpochThatIsNotWholeSeconds) {
  put("a.txt", ABC);
  put("package.img", "an earlier package");
  for (const char* const value :
       {"abc", "-5", "1e9", " 12", "12 ", "0x10", "9223372036854775808"}) {
    const ToolRun result =
        run_tool(CORVANE_EXECUTABLE, scratch, {"a.txt"}, source_date_epoch(value));
    EXPECT_EQ(console(BANNER + "Can NOT use SOURCE_DATE_EPOCH \"" + value +
                      "\": expected whole seconds since 1970 !\r\n"),
              result.output)
        << value;
    EXPECT_EQ(EXIT_BAD_SOURCE_DATE_EPOCH, result.exit_status) << value;
    EXPECT_EQ("an earlier package", package()) << value;
    EXPECT_EQ(2u, listed_names(scratch).size()) << value << ": nothing made";
  }
  // Without an input there is nothing to seed: the usage, as ever.
  const ToolRun usage = run_tool(CORVANE_EXECUTABLE, scratch, {}, source_date_epoch("abc"));
  EXPECT_EQ(console(BANNER + USAGE), usage.output);
  EXPECT_EQ(EXIT_USAGE, usage.exit_status);
}

// The shipped example packs to the same bytes on every platform: the key comes from the
// variable, and a walk takes the entries in one order everywhere.
TEST_F(Corvane, PacksTheShippedExampleToTheSameBytesOnEveryPlatform) {
  const fs::path examples = CORVANE_EXAMPLES_DIRECTORY;
  fs::copy(examples / "app.bin", scratch / "app.bin");
  fs::copy(examples / "assets", scratch / "assets");
  const std::string app = read_file(scratch / "app.bin");
  const std::uint32_t key = first_key_of(1700000000);
  std::string output =
      CREATED + firmware_lines("app.bin", app.size(), key) + "assets is a directory, diving ...\n";
  std::string expected = firmware_node(app, key);
  for (const char* const name : {"config.txt", "logo.raw", "strings.txt"}) {
    const std::string bytes = read_file(scratch / "assets" / name);
    output += std::string("File ") + name + " ...\r\n" +
              packed_lines(joined("assets", name), name, bytes.size());
    expected += node_bytes(name, bytes);
  }
  output += closing(expected.size());
  const ToolRun result =
      run_tool(CORVANE_EXECUTABLE, scratch, {"app.bin", "assets"}, source_date_epoch("1700000000"));
  EXPECT_EQ(console(output), result.output);
  EXPECT_EQ(0, result.exit_status);
  EXPECT_EQ(expected, package());
  EXPECT_EQ(6663u, expected.size());
}

#ifdef _WIN32
// Names the ANSI code page cannot hold exactly: the file named is the file opened, and a node is
// never given another name than its file's. The path is shown with the code page's substitutes:
// a best fit (a for U+0101) or its default character.
TEST_F(Corvane, PacksOnlyNamesTheCodePageHoldsExactly) {
  const std::wstring macron = L"\u0101.txt";
  const std::wstring zhe = L"\u0436.txt";
  put("d/a.txt", "plain");
  write_file(scratch / L"d" / macron, "macron");
  write_file(scratch / L"d" / zhe, "zhe");
  write_file(scratch / macron, "macron");
  write_file(scratch / zhe, "zhe");
  const auto refused = [](const std::string& path, const std::size_t size) {
    return processing(path, size) + "Can NOT pack " + path +
           ": its name does not fit the code page !\r\n";
  };
  const std::map<std::wstring, std::string> entries = {
      {L"a.txt", "File a.txt ...\r\n" + packed_lines("d\\a.txt", "a.txt", 5)},
      {macron, "File a.txt ...\r\n" + refused("d\\a.txt", 6)},
      {zhe, "File ?.txt ...\r\n" + refused("d\\?.txt", 3)},
  };
  std::string output = CREATED + "d is a directory, diving ...\n";
  for (const fs::directory_entry& entry : fs::directory_iterator(scratch / "d")) {
    output += entries.at(entry.path().filename().native());
  }
  output += refused("a.txt", 6) + refused("?.txt", 3) + closing(57);
  ToolOptions options;
  options.wide_arguments = true;
  const ToolRun result =
      run_tool(CORVANE_EXECUTABLE, scratch, {"d", "\xc4\x81.txt", "\xd0\xb6.txt"}, options);
  EXPECT_EQ(console(output), result.output);
  EXPECT_EQ(0, result.exit_status);
  EXPECT_EQ(node_bytes("a.txt", "plain"), package());
}
#endif

TEST_F(Corvane, ReportsAPackageImageThatCannotBeCreated) {
  fs::create_directory(scratch / "package.img");
  put("a.txt", ABC);
  const ToolRun result = run({"a.txt"});
  EXPECT_EQ(console(BANNER + "Can NOT create output file package.img !\r\n"), result.output);
  EXPECT_EQ(EXIT_PACKAGE_FAILED, result.exit_status);
  EXPECT_TRUE(fs::is_directory(scratch / "package.img"));
}

// A device that fails every write: the run stops at the failed write and says so; the device is
// written directly and is never removed.
TEST_F(Corvane, StopsWhenAWriteToADeviceFails) {
  struct Case {
    const char* name;
    std::size_t first_size;  // larger than the package's write buffer: fails at once
    std::string output_after_first;
  };
  const Case cases[] = {
      {"node-write", 2 << 20, ""},
      {"last-flush", 3, packed_lines("b.txt", "b.txt", 3)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path directory = full_disk_directory(scratch, c.name);
    if (directory.empty() || !lists(directory, "package.img")) {
      GTEST_SKIP() << "no package image here that fails every write";
    }
    put_file(directory, "a.txt", std::string(c.first_size, 'a'));
    put_file(directory, "b.txt", ABC);
    const ToolRun result = run_tool(CORVANE_EXECUTABLE, directory, {"a.txt", "b.txt"});
    EXPECT_EQ(console(CREATED + packed_lines("a.txt", "a.txt", c.first_size) +
                      c.output_after_first + cannot_write()),
              result.output);
    EXPECT_EQ(EXIT_PACKAGE_FAILED, result.exit_status);
    EXPECT_TRUE(lists(directory, "package.img"));
  }
}

// Two files of just over 1 GiB: the package passes 2 GiB, and its size line must still be true.
TEST_F(Corvane, ReportsThePackageSizeBeyond2GiB) {
  constexpr std::uint32_t SIZE = (1u << 30) + 1;
  for (const char* name : {"z1.raw", "z2.raw"}) {
    write_file(scratch / name, "");
    fs::resize_file(scratch / name, SIZE);  // sparse: zeros that cost no disk
  }
  const ToolRun result = run({"z1.raw", "z2.raw"});
  EXPECT_EQ(console(CREATED + packed_lines("z1.raw", "z1.raw", SIZE) +
                    packed_lines("z2.raw", "z2.raw", SIZE) + closing(2 * (SIZE + 52u))),
            result.output);
  EXPECT_EQ(0, result.exit_status);
  const fs::path image = scratch / "package.img";
  EXPECT_EQ(2 * (SIZE + 52u), fs::file_size(image));
  std::ifstream file(image, std::ios::binary);
  std::string second(NODE_DESCRIPTOR_SIZE, '\0');
  file.seekg(SIZE + 52);
  file.read(&second[0], static_cast<std::streamsize>(second.size()));
  EXPECT_EQ(descriptor_bytes("z2.raw", SIZE, 0), second);
  file.close();
  fs::remove(image);
}

// Paths of any length: the system's limits decide. The wide calls take paths beyond 260
// characters under Wine; Windows itself gives them no status unless long paths are enabled.
TEST_F(Corvane, HandlesPathsBeyond1023Characters) {
  put("a.txt", ABC);
  std::string long_path;
  while (long_path.size() < 1100) long_path += std::string(".") + SEPARATOR;
  long_path += "a.txt";
  const std::string too_long_for_the_system = std::string(5000, 'n');
  const ToolRun result = run({long_path, too_long_for_the_system});
  EXPECT_EQ(console(CREATED + packed_lines(long_path, "a.txt", 3) + "Can NOT stat " +
                    too_long_for_the_system + "." + closing(55)),
            result.output);
  EXPECT_EQ(0, result.exit_status);
  EXPECT_EQ(A_NODE, package());
}

// sysfs files claim a size of a page but yield only their few bytes of text.
TEST_F(Corvane, RefusesAFileThatYieldsFewerBytesThanMeasured) {
  const std::string path = SHORT_READ_PATH;
  std::error_code error;
  const std::uintmax_t claimed = fs::file_size(path, error);
  if (error || claimed == 0 || read_file(path).size() >= claimed) {
    GTEST_SKIP() << "no file here that reads shorter than its size";
  }
  const ToolRun result = run({path});
  EXPECT_EQ(console(CREATED + processing(path, claimed) + "Packing as online ...\r\nReading ... " +
                    "Can NOT read " + path + " !\r\n" + closing(0)),
            result.output);
  EXPECT_EQ(0, result.exit_status);
  EXPECT_EQ("", package());
}

}  // namespace
