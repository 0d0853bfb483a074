// corvane under hazards a careful user meets: interruptions, a full disk, links to the package,
// standard streams closed or gone, inputs that change, names no device can use. Whatever
// happens, package.img is either the earlier package exactly or the complete new one, and no
// other file changes.
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

#include "console.h"
#include "corvane_texts.h"
#include "node_bytes.h"
#include "scratch.h"
#include "tool_runner.h"

namespace {

namespace fs = std::filesystem;

constexpr char EARLIER[] = "an earlier package, which must survive whatever fails";
constexpr char TEMPORARY_PREFIX[] = ".package.img.";

// A file's bytes, or for a large one its size and a digest of its bytes, read a piece at a time.
std::string contents(const fs::path& path) {
  constexpr std::size_t PIECE = std::size_t{1} << 20;
  if (fs::file_size(path) <= PIECE) return read_file(path);
  std::ifstream file(path, std::ios::binary);
  std::vector<char> piece(PIECE);
  std::uint64_t digest = 0xcbf29ce484222325u;
  std::uint64_t size = 0;
  while (file.read(piece.data(), static_cast<std::streamsize>(piece.size())) || file.gcount() > 0) {
    const auto got = static_cast<std::size_t>(file.gcount());
    for (std::size_t i = 0; i + 8 <= got; i += 8) {
      std::uint64_t word;
      std::memcpy(&word, &piece[i], sizeof word);
      digest = (digest ^ word) * 0x100000001b3u;
    }
    for (std::size_t i = got - got % 8; i < got; ++i) {
      digest = (digest ^ static_cast<unsigned char>(piece[i])) * 0x100000001b3u;
    }
    size += got;
  }
  return "<" + std::to_string(size) + " bytes, digest " + std::to_string(digest) + ">";
}

// Every entry under directory by relative path: a file's contents, a link's target, "<dir>".
std::map<std::string, std::string> tree(const fs::path& directory) {
  std::map<std::string, std::string> entries;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(directory)) {
    const std::string name = fs::relative(entry.path(), directory).generic_string();
    if (entry.is_symlink()) {
      entries[name] = "<link to " + fs::read_symlink(entry.path()).generic_string() + ">";
    } else if (entry.is_directory()) {
      entries[name] = "<dir>";
    } else {
      entries[name] = contents(entry.path());
    }
  }
  return entries;
}

struct Hazard {
  const char* title;
  std::function<void(const fs::path& scratch)> setup;  // besides the earlier package.img
  std::vector<std::string> arguments;
  ToolOptions hazard;
  std::string output;   // as corvane writes it
  int exit_status;      // when it exits
  int signal;           // when a signal ends it instead
  std::string package;  // package.img afterwards: the new package, or EARLIER when it survives
};

void PrintTo(const Hazard& h, std::ostream* out) {
  *out << h.title;
}

const std::string A_NODE = node_bytes("a.txt", "abc");

void put_a(const fs::path& scratch) {
  put_file(scratch, "a.txt", "abc");
}

ToolOptions output(const ToolOptions::Output mode) {
  ToolOptions hazard;
  hazard.output = mode;
  return hazard;
}

#ifndef _WIN32
// An input large enough that a run is still reading it when the signal comes, and that costs
// no disk to keep.
void put_large(const fs::path& scratch) {
  put_a(scratch);
  write_file(scratch / "large.raw", "");
  fs::resize_file(scratch / "large.raw", std::uintmax_t{512} << 20);
}

// Sent once the package being written has passed its first megabyte; the console text is still
// in corvane's buffer then, so nothing of it reaches the pipe.
ToolOptions interrupt(const int signal_number) {
  ToolOptions hazard;
  hazard.signal = signal_number;
  hazard.growing_prefix = TEMPORARY_PREFIX;
  hazard.grown_size = std::uint64_t{1} << 20;
  return hazard;
}

ToolOptions file_size_limit(const std::uint64_t limit) {
  ToolOptions hazard;
  hazard.file_size_limit = limit;
  return hazard;
}

#endif

void put_links(const fs::path& scratch) {
  put_a(scratch);
  fs::create_hard_link(scratch / "package.img", scratch / "hard");
#ifndef _WIN32
  fs::create_symlink("package.img", scratch / "symbolic");
#endif
}

#ifdef _WIN32
// Wine shows the host's root as Z:; /proc/version claims no bytes and yields a line of text.
constexpr char GROWING_INPUT[] = "Z:\\proc\\version";
const std::vector<std::string> LINKS = {"hard"};
#else
constexpr char GROWING_INPUT[] = "/proc/version";
const std::vector<std::string> LINKS = {"hard", "symbolic"};
#endif

std::string links_refused() {
  std::string text;
  for (const std::string& link : LINKS) text += output_file_refused(link);
  return text;
}

std::vector<std::string> links_then_a() {
  std::vector<std::string> arguments = LINKS;
  arguments.push_back("a.txt");
  return arguments;
}

const std::string NAME_REFUSED = ": its name is empty, \".\" or \"..\" !\r\n";

const Hazard HAZARDS[] = {
#ifndef _WIN32
    {"SIGINT half way",
     put_large,
     {"a.txt", "large.raw"},
     interrupt(SIGINT),
     "",
     0,
     SIGINT,
     EARLIER},
    {"SIGTERM half way",
     put_large,
     {"a.txt", "large.raw"},
     interrupt(SIGTERM),
     "",
     0,
     SIGTERM,
     EARLIER},
    {"SIGHUP half way",
     put_large,
     {"a.txt", "large.raw"},
     interrupt(SIGHUP),
     "",
     0,
     SIGHUP,
     EARLIER},
    {"SIGKILL half way",
     put_large,
     {"a.txt", "large.raw"},
     interrupt(SIGKILL),
     "",
     0,
     SIGKILL,
     EARLIER},
    {"a full disk in the middle of a node",
     [](const fs::path& scratch) { put_file(scratch, "big.raw", std::string(3 << 20, 'b')); },
     {"big.raw"},
     file_size_limit(1 << 20),
     CREATED + packed_lines("big.raw", "big.raw", 3 << 20) + cannot_write(),
     EXIT_PACKAGE_FAILED,
     0,
     EARLIER},
    {"a full disk at the last write",
     [](const fs::path& scratch) {
       put_a(scratch);
       put_file(scratch, "mid.raw", std::string(2000, 'm'));
     },
     {"a.txt", "mid.raw"},
     file_size_limit(1000),
     CREATED + packed_lines("a.txt", "a.txt", 3) + packed_lines("mid.raw", "mid.raw", 2000) +
         cannot_write(),
     EXIT_PACKAGE_FAILED,
     0,
     EARLIER},
    {"names no device can use",
     [](const fs::path& scratch) {
       put_a(scratch);
       for (const char* name : {"trail\\", "a\\..", "b\\."}) put_file(scratch, name, "x");
     },
     {"trail\\", "a\\..", "b\\.", "a.txt"},
     {},
     CREATED + processing("trail\\", 1) + "Can NOT pack trail\\" + NAME_REFUSED +
         processing("a\\..", 1) + "Can NOT pack a\\.." + NAME_REFUSED + processing("b\\.", 1) +
         "Can NOT pack b\\." + NAME_REFUSED + packed_lines("a.txt", "a.txt", 3) + closing(55),
     0,
     0,
     A_NODE},
#endif
    {"links to the package are refused and keep the earlier bytes",
     put_links,
     links_then_a(),
     {},
     CREATED + links_refused() + packed_lines("a.txt", "a.txt", 3) + closing(55),
     0,
     0,
     A_NODE},
    {"standard output closed",
     put_a,
     {"a.txt"},
     output(ToolOptions::OUTPUT_CLOSED),
     "",
     0,
     0,
     A_NODE},
    {"standard output into a pipe closed early",
     put_a,
     {"a.txt"},
     output(ToolOptions::OUTPUT_CLOSED_EARLY),
     "",
     0,
     0,
     A_NODE},
    {"an input that yields more than it measured",
     put_a,
     {GROWING_INPUT, "a.txt"},
     {},
     CREATED + processing(GROWING_INPUT, 0) +
         "Packing as version ...\r\nReading ... Can NOT read " + GROWING_INPUT + " !\r\n" +
         packed_lines("a.txt", "a.txt", 3) + closing(55),
     0,
     0,
     A_NODE},
};

class HazardRun : public ScratchTest, public ::testing::WithParamInterface<Hazard> {};

TEST_P(HazardRun, LeavesTheEarlierPackageOrTheWholeNewOne) {
  const Hazard& h = GetParam();
  write_file(scratch / "package.img", EARLIER);
  h.setup(scratch);
  std::map<std::string, std::string> expected = tree(scratch);
  expected["package.img"] = h.package;

  const ToolRun result = run_tool(CORVANE_EXECUTABLE, scratch, h.arguments, h.hazard);
  EXPECT_EQ(console(h.output), result.output);
  EXPECT_EQ(h.signal, result.signal);
  if (h.signal == 0) {
    EXPECT_EQ(h.exit_status, result.exit_status);
  }
  std::map<std::string, std::string> found = tree(scratch);
#ifndef _WIN32
  // Nothing can remove the package being written when SIGKILL comes.
  if (h.signal == SIGKILL) {
    for (auto entry = found.begin(); entry != found.end();) {
      entry = entry->first.rfind(TEMPORARY_PREFIX, 0) == 0 ? found.erase(entry) : std::next(entry);
    }
  }
#endif
  EXPECT_EQ(expected, found);
}

INSTANTIATE_TEST_SUITE_P(Corvane, HazardRun, ::testing::ValuesIn(HAZARDS),
                         title_as_test_name<Hazard>);

}  // namespace
