// End-to-end runs of corvane-inspect IMAGE --against FILE_OR_DIR ... in a scratch directory:
// exact standard output and standard error, exit status, and a directory left as it was.
#include <gtest/gtest.h>

#include <map>
#include <nlohmann/json.hpp>

#include "console.h"
#include "file_tree.h"
#include "inspect_e2e.h"
#include "node_bytes.h"
#include "node_descriptor.h"
#include "platform.h"
#include "scratch.h"
#include "tool_runner.h"

namespace {

namespace fs = std::filesystem;

constexpr int MATCHES = VALID;
constexpr int DIFFERS = PROBLEMS;

// The firmware's key comes from the clock when corvane packs; the check ignores it, so the
// images here are made with this one.
constexpr std::uint32_t KEY = 0x00294823;

// Large enough that the next node's payload crosses the 1 MiB pieces the image is read in.
const std::string HUGE_FILE = varied_bytes(1048000, 7);
const std::string FIRMWARE_FILE = varied_bytes(126976, 8);

// The files every case finds in its directory, "/" between names.
const std::map<std::string, std::string> FILES = {
    {"app.bin", "firmware"},
    {"a.txt", "abc"},
    {"b.txt", "beta"},
    {"d/c.txt", "gamma"},
    {"d/e.txt", ""},
    {"d/.hidden", "dot files are never packed"},
    {"w/sub/x", "a subdirectory met in a walk"},
    {"name-of-16-chars", "long"},
    {"big.bin", std::string(126977, 'f')},
    {"other.bin", "second"},
    {"huge.dat", HUGE_FILE},
    {"fw.bin", FIRMWARE_FILE},
};

// The nodes corvane makes of them.
const std::string FIRMWARE_NODE = node_bytes("upgrade", "firmware", NODE_FLAG_UPGRADE, KEY);
const std::string A = node_bytes("a.txt", "abc");
const std::string B = node_bytes("b.txt", "beta");
const std::string C = node_bytes("c.txt", "gamma");
const std::string E = node_bytes("e.txt", "");

struct Case {
  const char* title;
  std::string image;  // written to p.img
  std::vector<std::string> inputs;
  std::string output;
  std::string error_output;
  int exit_status;
};

void PrintTo(const Case& c, std::ostream* out) {
  *out << c.title;
}

const std::string LINE_FIRMWARE =
    "    0           0  upgrade          upgrade           8  0x000003fc  ok     0x00294823\n";
const std::string LINE_A =
    "    0           0  a.txt                              3  0x00000126  ok\n";

const Case CASES[] = {
    {"a package that matches, with a firmware image and a walked directory",
     FIRMWARE_NODE + C + E + A,
     {"app.bin", "d", "a.txt"},
     HEADER + LINE_FIRMWARE +
         "    1          60  c.txt                              5  0x00000203  ok\n"
         "    2         117  e.txt                              0  0x00000000  ok\n"
         "    3         169  a.txt                              3  0x00000126  ok\n"
         "4 nodes, 224 bytes, valid\n",
     "",
     MATCHES},
    {"a walked directory with a dot file matches: dot files are not packed",
     C + E,
     {"d"},
     HEADER + "    0           0  c.txt                              5  0x00000203  ok\n"
              "    1          57  e.txt                              0  0x00000000  ok\n"
              "2 nodes, 109 bytes, valid\n",
     "",
     MATCHES},
    {"a skipped input: a name too long",
     A,
     {"a.txt", "name-of-16-chars"},
     HEADER + LINE_A + "1 node, 55 bytes, valid\n",
     "corvane-inspect: input name-of-16-chars: refused by corvane: Can NOT pack "
     "name-of-16-chars: name longer than 15 characters !\n",
     DIFFERS},
    {"firmware over the limit",
     A,
     {"big.bin", "a.txt"},
     HEADER + LINE_A + "1 node, 55 bytes, valid\n",
     "corvane-inspect: input big.bin: refused by corvane: Firmware is too big for bootloader "
     "(126977B - 126976B = 1B) !\n",
     DIFFERS},
    {"a second bin asset is a second firmware image to corvane",
     FIRMWARE_NODE + node_bytes("other.bin", "second"),
     {"app.bin", "other.bin"},
     HEADER + LINE_FIRMWARE +
         "    1          60  other.bin                          6  0x0000027c  ok\n"
         "2 nodes, 118 bytes, valid\n",
     "corvane-inspect: node 1 at offset 60: no input accounts for \"other.bin\"\n"
     "corvane-inspect: input other.bin: missing: no node \"upgrade\" flagged upgrade holds it\n",
     DIFFERS},
    {"an extra node",
     A + B,
     {"a.txt"},
     HEADER + LINE_A +
         "    1          55  b.txt                              4  0x0000019c  ok\n"
         "2 nodes, 111 bytes, valid\n",
     "corvane-inspect: node 1 at offset 55: no input accounts for \"b.txt\"\n",
     DIFFERS},
    {"a missing node",
     A,
     {"a.txt", "b.txt"},
     HEADER + LINE_A + "1 node, 55 bytes, valid\n",
     "corvane-inspect: input b.txt: missing: no node \"b.txt\" holds it\n",
     DIFFERS},
    {"swapped order",
     B + A,
     {"a.txt", "b.txt"},
     HEADER + "    0           0  b.txt                              4  0x0000019c  ok\n"
              "    1          56  a.txt                              3  0x00000126  ok\n"
              "2 nodes, 111 bytes, valid\n",
     "corvane-inspect: node 1 at offset 56: out of order: input a.txt comes before input b.txt "
     "(node 0)\n",
     DIFFERS},
    {"one payload byte changed, in a file and in the firmware, each node valid",
     node_bytes("a.txt", "abd") + node_bytes("upgrade", "firmwarE", NODE_FLAG_UPGRADE, KEY),
     {"a.txt", "app.bin"},
     HEADER +
         "    0           0  a.txt                              3  0x00000127  ok\n"
         "    1          55  upgrade          upgrade           8  " +
         stored_checksum(node_bytes("upgrade", "firmwarE", NODE_FLAG_UPGRADE, KEY)) +
         "  ok     0x00294823\n"
         "2 nodes, 115 bytes, valid\n",
     "corvane-inspect: node 0 at offset 0: payload: expected the 3 bytes of input a.txt, found "
     "0x64 at byte 2 where the input has 0x63\n"
     "corvane-inspect: node 1 at offset 55: payload: expected the 8 bytes of input app.bin, found "
     "0x45 at byte 7 where the input has 0x65\n",
     DIFFERS},
    {"a payload of another size",
     node_bytes("a.txt", "abcd"),
     {"a.txt"},
     HEADER + "    0           0  a.txt                              4  0x0000018a  ok\n" +
         "1 node, 56 bytes, valid\n",
     "corvane-inspect: node 0 at offset 0: payload: expected the 3 bytes of input a.txt, found 4 "
     "bytes\n",
     DIFFERS},
    {"the firmware without its flag",
     node_bytes("upgrade", "firmware"),
     {"app.bin"},
     HEADER + "    0           0  upgrade                            8  0x0000035d  ok\n" +
         "1 node, 60 bytes, valid\n",
     "corvane-inspect: node 0 at offset 0: flags: expected 0x00000004 for input app.bin, found "
     "0x00000000\n",
     DIFFERS},
    {"an empty package against one input",
     "",
     {"a.txt"},
     HEADER + "0 nodes, 0 bytes, valid\n",
     "corvane-inspect: input a.txt: missing: no node \"a.txt\" holds it\n",
     DIFFERS},
    {"a node that holds its input but is not valid",
     with(A, 24, 0x127),
     {"a.txt"},
     HEADER + "    0           0  a.txt                              3  0x00000127  BAD\n" +
         "1 node, 55 bytes, 1 problem\n",
     "corvane-inspect: node 0 at offset 0: checksum: expected 0x00000127, found 0x00000126 (the "
     "sum of the stored payload)\n",
     DIFFERS},
    {"an input that is not there, and a subdirectory met in a walk",
     "",
     {"missing.txt", "w"},
     HEADER + "0 nodes, 0 bytes, valid\n",
     "corvane-inspect: input missing.txt: refused by corvane: Can NOT stat missing.txt.\n"
     "corvane-inspect: input " +
         joined("w", "sub") + ": refused by corvane: Can NOT open " + joined("w", "sub") + " !\n",
     DIFFERS},
    {"a firmware image read from the package in two pieces matches",
     node_bytes("huge.dat", HUGE_FILE) +
         node_bytes("upgrade", FIRMWARE_FILE, NODE_FLAG_UPGRADE, KEY),
     {"huge.dat", "fw.bin"},
     HEADER + "    0           0  huge.dat                     1048000  " +
         stored_checksum(node_bytes("huge.dat", HUGE_FILE)) +
         "  ok\n"
         "    1     1048052  upgrade          upgrade      126976  " +
         stored_checksum(node_bytes("upgrade", FIRMWARE_FILE, NODE_FLAG_UPGRADE, KEY)) +
         "  ok     0x00294823\n"
         "2 nodes, 1175080 bytes, valid\n",
     "",
     MATCHES},
};

class Against : public ScratchTest {
 protected:
  void write_files() {
    for (const auto& [name, bytes] : FILES) {
      fs::create_directories((scratch / name).parent_path());
      write_file(scratch / name, bytes);
    }
  }

  ToolRun inspect(const std::vector<std::string>& arguments) {
    return run_tool(CORVANE_INSPECT_EXECUTABLE, scratch, arguments);
  }
};

class AgainstCase : public Against, public ::testing::WithParamInterface<Case> {};

TEST_P(AgainstCase, NamesEveryDifferenceAndChangesNothing) {
  const Case& c = GetParam();
  write_files();
  write_file(scratch / "p.img", c.image);
  const std::map<std::string, std::string> before = file_tree(scratch);
  std::vector<std::string> arguments = {"p.img", "--against"};
  arguments.insert(arguments.end(), c.inputs.begin(), c.inputs.end());
  const ToolRun result = inspect(arguments);
  EXPECT_EQ(console(c.output), result.output);
  EXPECT_EQ(console(c.error_output), result.error_output);
  EXPECT_EQ(c.exit_status, result.exit_status);
  EXPECT_EQ(before, file_tree(scratch));
}

INSTANTIATE_TEST_SUITE_P(Against, AgainstCase, ::testing::ValuesIn(CASES),
                         title_as_test_name<Case>);

// Every input with its node and verdict, and the nodes no input accounts for.
TEST_F(Against, JsonGivesEveryInputItsVerdict) {
  write_files();
  write_file(scratch / "p.img", A + FIRMWARE_NODE + node_bytes("x.txt", "x") + C);
  const ToolRun result = inspect(
      {"--json", "p.img", "--against", "app.bin", "name-of-16-chars", "a.txt", "b.txt", "d"});
  EXPECT_EQ(DIFFERS, result.exit_status);
  const nlohmann::json document = nlohmann::json::parse(result.output);
  const nlohmann::json expected = {
      {"inputs",
       {{{"path", "app.bin"},
         {"node", 1},
         {"verdict", "out_of_order"},
         {"detail",
          "node 1 at offset 55: out of order: input app.bin comes before input a.txt "
          "(node 0)"}},
        {{"path", "name-of-16-chars"},
         {"node", nullptr},
         {"verdict", "refused"},
         {"detail",
          "input name-of-16-chars: refused by corvane: Can NOT pack name-of-16-chars: "
          "name longer than 15 characters !"}},
        {{"path", "a.txt"}, {"node", 0}, {"verdict", "matches"}, {"detail", nullptr}},
        {{"path", "b.txt"},
         {"node", nullptr},
         {"verdict", "missing"},
         {"detail", "input b.txt: missing: no node \"b.txt\" holds it"}},
        {{"path", joined("d", "c.txt")}, {"node", 3}, {"verdict", "matches"}, {"detail", nullptr}},
        {{"path", joined("d", "e.txt")},
         {"node", nullptr},
         {"verdict", "missing"},
         {"detail", "input " + joined("d", "e.txt") + ": missing: no node \"e.txt\" holds it"}}}},
      {"unmatched_nodes", {2}},
      {"difference_count", 5},
      {"matches", false}};
  EXPECT_EQ(expected, document["against"]);
  EXPECT_EQ(true, document["valid"]) << "every node is valid; the image differs from its inputs";
  EXPECT_EQ(console("corvane-inspect: node 1 at offset 55: out of order: input app.bin comes "
                    "before input a.txt (node 0)\n"
                    "corvane-inspect: node 2 at offset 115: no input accounts for \"x.txt\"\n"
                    "corvane-inspect: input name-of-16-chars: refused by corvane: Can NOT pack "
                    "name-of-16-chars: name longer than 15 characters !\n"
                    "corvane-inspect: input b.txt: missing: no node \"b.txt\" holds it\n"
                    "corvane-inspect: input " +
                    joined("d", "e.txt") + ": missing: no node \"e.txt\" holds it\n"),
            result.error_output);
}

// What corvane packs here, corvane-inspect finds matching, whatever key the clock gave the
// firmware. ./package.img, which corvane never packs, is no difference: a walk of "." meets it.
TEST_F(Against, MatchesWhatCorvanePackedHere) {
  write_file(scratch / "app.bin", "firmware");
  write_file(scratch / "a.txt", "abc");
  const auto check = [this](const std::vector<std::string>& inputs) {
    EXPECT_EQ(0, run_tool(CORVANE_EXECUTABLE, scratch, inputs).exit_status);
    std::vector<std::string> arguments = {"--json", "package.img", "--against"};
    arguments.insert(arguments.end(), inputs.begin(), inputs.end());
    const ToolRun result = inspect(arguments);
    EXPECT_EQ("", result.error_output);
    EXPECT_EQ(MATCHES, result.exit_status);
    const nlohmann::json against = nlohmann::json::parse(result.output)["against"];
    EXPECT_EQ(0, against["difference_count"]);
    EXPECT_TRUE(against["unmatched_nodes"].empty());
    std::vector<std::string> verdicts;
    for (const nlohmann::json& input : against["inputs"]) verdicts.push_back(input["verdict"]);
    return verdicts;
  };
  EXPECT_EQ((std::vector<std::string>{"matches", "matches", "output_file"}), check({"."}));
  fs::create_directory(scratch / "d");
  write_file(scratch / "d" / "c.txt", "gamma");
  EXPECT_EQ((std::vector<std::string>{"matches", "matches"}), check({"app.bin", "d"}));
}

// Checked and extracted in one reading of the image: the differences do not stop the extraction.
TEST_F(Against, GoesWithExtract) {
  write_files();
  write_file(scratch / "p.img", A + B);
  const ToolRun result = inspect({"--extract", "out", "p.img", "--against", "a.txt"});
  EXPECT_EQ(console(EXTRACT_HEADER +
                    "    0           0  a.txt                              3  0x00000126  ok       "
                    "          a.txt\n"
                    "    1          55  b.txt                              4  0x0000019c  ok       "
                    "          b.txt\n"
                    "2 nodes, 111 bytes, valid\n"),
            result.output);
  EXPECT_EQ(console("corvane-inspect: node 1 at offset 55: no input accounts for \"b.txt\"\n"),
            result.error_output);
  EXPECT_EQ(DIFFERS, result.exit_status);
  EXPECT_EQ("abc", read_file(scratch / "out" / "a.txt"));
  EXPECT_EQ("beta", read_file(scratch / "out" / "b.txt"));
}

}  // namespace
