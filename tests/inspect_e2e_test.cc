// End-to-end runs of the built corvane-inspect in a scratch directory: exact standard output and
// standard error, exit status, and every file left in the directory afterwards.
#include "inspect_e2e.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <nlohmann/json.hpp>

#include "byte_order.h"
#include "console.h"
#include "file_tree.h"
#include "node_bytes.h"
#include "node_descriptor.h"
#include "platform.h"
#include "scratch.h"
#include "tool_runner.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

namespace fs = std::filesystem;

const std::string USAGE =
    "usage: corvane-inspect [--json] [--extract DIR] IMAGE [--against FILE_OR_DIR ...]\n"
    "       corvane-inspect --help | --version\n";

constexpr std::uint32_t KEY = 0x00294823;
const std::string FIRMWARE = "firmware";

// a.txt at 0 (55 bytes), the upgrade node at 55 (60 bytes), the empty e at 115 (52 bytes).
const std::string VALID_IMAGE = node_bytes("a.txt", "abc") +
                                node_bytes("upgrade", FIRMWARE, NODE_FLAG_UPGRADE, KEY) +
                                node_bytes("e", "");
const std::string LINE_A =
    "    0           0  a.txt                              3  0x00000126  ok";
const std::string LINE_UPGRADE =
    "    1          55  upgrade          upgrade           8  0x000003fc  ok     0x00294823";
const std::string LINE_E =
    "    2         115  e                                  0  0x00000000  ok";
// The extraction column of lines that end before the key column.
const std::string NO_KEY = "                 ";

class Inspect : public ScratchTest {
 protected:
  ToolRun inspect(const std::vector<std::string>& arguments) {
    return run_tool(CORVANE_INSPECT_EXECUTABLE, scratch, arguments);
  }
};

struct Case {
  const char* title;
  std::string image;  // written to p.img
  std::vector<std::string> arguments;
  std::string output;
  std::string error_output;
  int exit_status;
  std::map<std::string, std::string> extracted;  // what out/ holds afterwards
  std::function<void(const fs::path&)> setup;
};

void PrintTo(const Case& c, std::ostream* out) {
  *out << c.title;
}

std::string flipped(std::string image, const std::size_t offset) {
  image[offset] = static_cast<char>(image[offset] ^ 0x01);
  return image;
}

const std::vector<std::string> EXTRACT = {"--extract", "out", "p.img"};

// Windows file systems take "\xc9" and "\xe9" (E acute in either case, code page 1252) for one
// letter: there the second of two such nodes needs a name of its own.
#ifdef _WIN32
const std::string SECOND_ACCENTED_SUFFIX = ".1";
#else
const std::string SECOND_ACCENTED_SUFFIX = "";
#endif

// A node large enough that the firmware after it crosses the 1 MiB pieces the image is read in:
// the key stream must go on from piece to piece.
const std::string LARGE_PAYLOAD = varied_bytes(1048000, 11);
const std::string LARGE_FIRMWARE = varied_bytes(126976, 12);
const std::string LARGE_NODE = node_bytes("large", LARGE_PAYLOAD);
const std::string LARGE_FIRMWARE_NODE =
    node_bytes("upgrade", LARGE_FIRMWARE, NODE_FLAG_UPGRADE, 0x7FFF7FFF);

const Case CASES[] = {
    {"a valid image is listed",
     VALID_IMAGE,
     {"p.img"},
     HEADER + LINE_A + "\n" + LINE_UPGRADE + "\n" + LINE_E + "\n3 nodes, 167 bytes, valid\n",
     "",
     VALID,
     {},
     nullptr},
    {"every node is extracted, the firmware decrypted, an earlier file replaced",
     VALID_IMAGE,
     EXTRACT,
     EXTRACT_HEADER + LINE_A + NO_KEY + "a.txt\n" + LINE_UPGRADE + "  upgrade\n" + LINE_E + NO_KEY +
         "e\n3 nodes, 167 bytes, valid\n",
     "",
     VALID,
     {{"a.txt", "abc"}, {"upgrade", FIRMWARE}, {"e", ""}},
     [](const fs::path& scratch) {
       fs::create_directory(scratch / "out");
       write_file(scratch / "out" / "a.txt", "an earlier, longer file");
     }},
    {"the firmware is decrypted across the pieces the image is read in",
     LARGE_NODE + LARGE_FIRMWARE_NODE,
     EXTRACT,
     EXTRACT_HEADER + "    0           0  large                        1048000  " +
         stored_checksum(LARGE_NODE) + "  ok                 large\n" +
         "    1     1048052  upgrade          upgrade      126976  " +
         stored_checksum(LARGE_FIRMWARE_NODE) +
         "  ok     0x7fff7fff  upgrade\n"
         "2 nodes, 1175080 bytes, valid\n",
     "",
     VALID,
     {{"large", LARGE_PAYLOAD}, {"upgrade", LARGE_FIRMWARE}},
     nullptr},
    {"an image with no node is valid",
     "",
     EXTRACT,
     EXTRACT_HEADER + "0 nodes, 0 bytes, valid\n",
     "",
     VALID,
     {},
     nullptr},
    {"a flipped payload byte fails the checksum and is not extracted",
     flipped(VALID_IMAGE, 52),
     EXTRACT,
     EXTRACT_HEADER +
         "    0           0  a.txt                              3  0x00000126  BAD                "
         "(not extracted)\n" +
         LINE_UPGRADE + "  upgrade\n" + LINE_E + NO_KEY + "e\n3 nodes, 167 bytes, 1 problem\n",
     "corvane-inspect: node 0 at offset 0: checksum: expected 0x00000126, found 0x00000125 (the "
     "sum of the stored payload)\n",
     PROBLEMS,
     {{"upgrade", FIRMWARE}, {"e", ""}},
     nullptr},
    {"an image cut short ends in a node past its end",
     VALID_IMAGE.substr(0, 110),
     EXTRACT,
     EXTRACT_HEADER + LINE_A + NO_KEY +
         "a.txt\n"
         "    1          55  upgrade          upgrade           8  0x000003fc  -      0x00294823  "
         "(not extracted)\n"
         "2 nodes, 110 bytes, 1 problem\n",
     "corvane-inspect: node 1 at offset 55: node_size: expected at most 55 (the bytes left in the "
     "image), found 60; no node after it can be found\n",
     PROBLEMS,
     {{"a.txt", "abc"}},
     nullptr},
    {"stray bytes after the last node",
     VALID_IMAGE + "\n\n\n",
     {"p.img"},
     HEADER + LINE_A + "\n" + LINE_UPGRADE + "\n" + LINE_E + "\n3 nodes, 170 bytes, 1 problem\n",
     "corvane-inspect: node 3 at offset 167: descriptor: expected 52 bytes, found 3 bytes at the "
     "end of the image\n",
     PROBLEMS,
     {},
     nullptr},
    {"a node_size below 52 ends the walk",
     with(VALID_IMAGE, 55 + 12, 10),
     EXTRACT,
     EXTRACT_HEADER + LINE_A + NO_KEY +
         "a.txt\n"
         "    1          55  upgrade          upgrade           8  0x000003fc  -      0x00294823  "
         "(not extracted)\n"
         "2 nodes, 167 bytes, 2 problems\n",
     "corvane-inspect: node 1 at offset 55: node_size: expected at least 52, found 10; no node "
     "after it can be found\n"
     "corvane-inspect: node 1 at offset 55: node_size: expected 60 (file_size + 52), found 10\n",
     PROBLEMS,
     {{"a.txt", "abc"}},
     nullptr},
    {"a node_size far past the end ends the walk",
     with(VALID_IMAGE, 55 + 12, 0x7FFFFFFF),
     {"p.img"},
     HEADER + LINE_A +
         "\n"
         "    1          55  upgrade          upgrade           8  0x000003fc  -      0x00294823\n"
         "2 nodes, 167 bytes, 2 problems\n",
     "corvane-inspect: node 1 at offset 55: node_size: expected at most 112 (the bytes left in "
     "the image), found 2147483647; no node after it can be found\n"
     "corvane-inspect: node 1 at offset 55: node_size: expected 60 (file_size + 52), found "
     "2147483647\n",
     PROBLEMS,
     {},
     nullptr},
    {"hostile names are not extracted and nothing is written outside DIR",
     node_bytes("../x", "x") + node_bytes("a/b", "y") + node_bytes("..", "z") +
         node_bytes("ok", "fine"),
     EXTRACT,
     EXTRACT_HEADER +
         "    0           0  ../x                               1  0x00000078  ok                 "
         "(not extracted)\n"
         "    1          53  a/b                                1  0x00000079  ok                 "
         "(not extracted)\n"
         "    2         106  ..                                 1  0x0000007a  ok                 "
         "(not extracted)\n"
         "    3         159  ok                                 4  0x000001a2  ok                 "
         "ok\n"
         "4 nodes, 215 bytes, 3 problems\n",
     "corvane-inspect: node 0 at offset 0: name: expected a plain file name, found \"../x\"; not "
     "extracted\n"
     "corvane-inspect: node 1 at offset 53: name: expected a plain file name, found \"a/b\"; not "
     "extracted\n"
     "corvane-inspect: node 2 at offset 106: name: expected a plain file name, found \"..\"; not "
     "extracted\n",
     PROBLEMS,
     {{"ok", "fine"}},
     nullptr},
    {"nodes of one name are written side by side and each is named",
     node_bytes("upgrade", "one", NODE_FLAG_UPGRADE, 0x11) +
         node_bytes("upgrade", "two", NODE_FLAG_UPGRADE, 0x22) + node_bytes("A.txt", "A") +
         node_bytes("a.txt", "a"),
     EXTRACT,
     EXTRACT_HEADER +
         "    0           0  upgrade          upgrade           3  0x00000145  ok     0x00000011  "
         "upgrade\n"
         "    1          55  upgrade          upgrade           3  0x00000123  ok     0x00000022  "
         "upgrade.1\n"
         "    2         110  A.txt                              1  0x00000041  ok                 "
         "A.txt\n"
         "    3         163  a.txt                              1  0x00000061  ok                 "
         "a.txt.1\n"
         "4 nodes, 216 bytes, valid\n",
     "",
     VALID,
     {{"upgrade", "one"}, {"upgrade.1", "two"}, {"A.txt", "A"}, {"a.txt.1", "a"}},
     nullptr},
    {"names of one file on the system are written side by side",
     node_bytes("caf\xc9", "x") + node_bytes("caf\xe9", "y"),
     EXTRACT,
     EXTRACT_HEADER +
         "    0           0  caf\\xc9                            1  0x00000078  ok                 "
         "caf\\xc9\n"
         "    1          53  caf\\xe9                            1  0x00000079  ok                "
         " " +
         "caf\\xe9" + SECOND_ACCENTED_SUFFIX +
         "\n"
         "2 nodes, 106 bytes, valid\n",
     "",
     VALID,
     {{"caf\xc9", "x"}, {"caf\xe9" + SECOND_ACCENTED_SUFFIX, "y"}},
     nullptr},
};

class InspectCase : public Inspect, public ::testing::WithParamInterface<Case> {};

TEST_P(InspectCase, PrintsAndWritesExactly) {
  const Case& c = GetParam();
  write_file(scratch / "p.img", c.image);
  if (c.setup) c.setup(scratch);
  const ToolRun result = inspect(c.arguments);
  EXPECT_EQ(console(c.output), result.output);
  EXPECT_EQ(console(c.error_output), result.error_output);
  EXPECT_EQ(c.exit_status, result.exit_status);
  std::map<std::string, std::string> expected = {{"p.img", c.image}};
  if (c.arguments.size() > 1) expected["out"] = "<dir>";
  for (const auto& [name, bytes] : c.extracted) expected["out/" + name] = bytes;
  EXPECT_EQ(expected, file_tree(scratch));
}

INSTANTIATE_TEST_SUITE_P(Inspect, InspectCase, ::testing::ValuesIn(CASES),
                         title_as_test_name<Case>);

TEST_F(Inspect, PrintsItsUsageVersionAndHelp) {
  struct Usage {
    std::vector<std::string> arguments;
    int exit_status;
    std::string output;
    std::string error_output;
  };
  const Usage cases[] = {
      {{"--version"}, VALID, "corvane-inspect 2.2\n", ""},
      {{}, FAILED, "", "corvane-inspect: no IMAGE given\n" + USAGE},
      {{"--list", "p.img"}, FAILED, "", "corvane-inspect: unknown option --list\n" + USAGE},
      {{"--extract"}, FAILED, "", "corvane-inspect: --extract needs a directory\n" + USAGE},
      {{"p.img", "q.img"},
       FAILED,
       "",
       "corvane-inspect: unexpected argument q.img after IMAGE\n" + USAGE},
  };
  for (const Usage& c : cases) {
    const ToolRun result = inspect(c.arguments);
    EXPECT_EQ(console(c.output), result.output);
    EXPECT_EQ(console(c.error_output), result.error_output);
    EXPECT_EQ(c.exit_status, result.exit_status);
  }
  const ToolRun help = inspect({"--help"});
  EXPECT_EQ(0u, help.output.find(console(USAGE)));
  EXPECT_NE(std::string::npos, help.output.find("--extract DIR"));
  EXPECT_EQ("", help.error_output);
  EXPECT_EQ(VALID, help.exit_status);
}

// Only a regular file is read: a directory, a FIFO (which would block) or a device is refused.
TEST_F(Inspect, RefusesAnImageThatCannotBeOpened) {
  fs::create_directory(scratch / "dir");
#ifdef _WIN32
  const std::vector<std::string> images = {"missing", "dir", "NUL", ""};
#else
  ASSERT_EQ(0, mkfifo((scratch / "fifo").c_str(), 0600));
  const std::vector<std::string> images = {"missing", "dir", "fifo", "/dev/zero", ""};
#endif
  for (const std::string& image : images) {
    const ToolRun result = inspect({image});
    EXPECT_EQ("", result.output) << image;
    EXPECT_EQ(console("corvane-inspect: cannot open " + image + "\n"), result.error_output);
    EXPECT_EQ(FAILED, result.exit_status) << image;
  }
}

TEST_F(Inspect, FailsWhenDirCannotBeMade) {
  write_file(scratch / "p.img", VALID_IMAGE);
  write_file(scratch / "out", "a file");
  const ToolRun result = inspect(EXTRACT);
  EXPECT_EQ("", result.output);
  EXPECT_EQ(console("corvane-inspect: cannot create directory out\n"), result.error_output);
  EXPECT_EQ(FAILED, result.exit_status);
}

// After a file that cannot be written nothing more is written, but the listing goes on to its
// end, so the JSON document is still whole.
TEST_F(Inspect, FailsWhenAFileCannotBeWritten) {
  write_file(scratch / "p.img", VALID_IMAGE);
  fs::create_directories(scratch / "out" / "a.txt");
  const ToolRun result = inspect({"--json", "--extract", "out", "p.img"});
  EXPECT_EQ(console("corvane-inspect: node 0 at offset 0: cannot write a.txt in out\n"),
            result.error_output);
  EXPECT_EQ(FAILED, result.exit_status);
  const nlohmann::json document = nlohmann::json::parse(result.output);
  ASSERT_EQ(3u, document["nodes"].size());
  for (const nlohmann::json& node : document["nodes"]) EXPECT_TRUE(node["extracted_as"].is_null());
  EXPECT_EQ(true, document["valid"]);
  const std::map<std::string, std::string> expected = {
      {"p.img", VALID_IMAGE}, {"out", "<dir>"}, {"out/a.txt", "<dir>"}};
  EXPECT_EQ(expected, file_tree(scratch));
}

TEST_F(Inspect, JsonIsValidForAnyNameBytes) {
  const std::string name = "\"\\\x07\x7f\xc3\x28\xff ";
  const std::string image = node_bytes(name, "abc") + node_bytes("", "") + "\x01";
  write_file(scratch / "p.img", image);
  const ToolRun result = inspect({"--json", "p.img"});
  EXPECT_EQ(PROBLEMS, result.exit_status);
  const nlohmann::json document = nlohmann::json::parse(result.output);
  ASSERT_EQ(2u, document["nodes"].size());
  EXPECT_EQ("\"\\\\\\x07\\x7f\\xc3(\\xff ", document["nodes"][0]["name"]);
  EXPECT_EQ(0xC3, document["nodes"][0]["name_field"][4]);
  EXPECT_EQ("name_empty", document["nodes"][1]["problems"][0]["rule"]);
  EXPECT_EQ("trailing_bytes", document["image_problems"][0]["rule"]);
  EXPECT_EQ(2, document["problem_count"]);
  EXPECT_EQ(false, document["valid"]);
  EXPECT_EQ(console("corvane-inspect: node 1 at offset 55: name: expected at least one character, "
                    "found an empty name\n"
                    "corvane-inspect: node 2 at offset 107: descriptor: expected 52 bytes, found 1 "
                    "byte at the end of the image\n"),
            result.error_output);
}

// What corvane packs, corvane-inspect gives back byte for byte. The firmware's key comes from the
// clock of the packing run; it is read from the package, which must then be exactly the nodes
// of a correct packer under that key. Names are bytes to both tools: on Windows
// the code page of the file APIs gives them their characters (0x80 is the euro sign under 1252).
TEST_F(Inspect, ExtractsEveryFileCorvanePacked) {
  const std::map<std::string, std::string> inputs = {
      {"empty", ""},
      {"app.bin", varied_bytes(126976, 5)},
      {"with space.txt", "spaces"},
      {"dots.in.name", "dots"},
      {"\x80\xe9\xff.dat", varied_bytes(300, 6)},
      {"a.txt", "abc"},
  };
  for (const auto& [name, bytes] : inputs) write_file(scratch / native_path(name), bytes);
  const std::vector<std::string> order = {
      "empty", "app.bin", "with space.txt", "dots.in.name", "\x80\xe9\xff.dat", "a.txt", "a.txt"};
  ASSERT_EQ(0, run_tool(CORVANE_EXECUTABLE, scratch, order).exit_status);
  const std::string package = read_file(scratch / "package.img");
  ASSERT_GT(package.size(), 52u + 36u);
  const std::uint32_t key = get_le32(reinterpret_cast<const std::uint8_t*>(&package[52 + 32]));
  const std::string firmware_node =
      node_bytes("upgrade", inputs.at("app.bin"), NODE_FLAG_UPGRADE, key);
  const std::string odd_node = node_bytes("\x80\xe9\xff.dat", inputs.at("\x80\xe9\xff.dat"));
  ASSERT_EQ(node_bytes("empty", "") + firmware_node + node_bytes("with space.txt", "spaces") +
                node_bytes("dots.in.name", "dots") + odd_node + node_bytes("a.txt", "abc") +
                node_bytes("a.txt", "abc"),
            package);

  const ToolRun result = inspect({"--extract", "out", "package.img"});
  EXPECT_EQ(console(EXTRACT_HEADER +
                    "    0           0  empty                              0  0x00000000  ok       "
                    "          empty\n"
                    "    1          52  upgrade          upgrade      126976  " +
                    stored_checksum(firmware_node) + "  ok     " + hex(key) +
                    "  upgrade\n"
                    "    2      127080  with space.txt                     6  0x0000027f  ok       "
                    "          with space.txt\n"
                    "    3      127138  dots.in.name                       4  0x000001ba  ok       "
                    "          dots.in.name\n"
                    "    4      127194  \\x80\\xe9\\xff.dat                  300  " +
                    stored_checksum(odd_node) +
                    "  ok                 \\x80\\xe9\\xff.dat\n"
                    "    5      127546  a.txt                              3  0x00000126  ok       "
                    "          a.txt\n"
                    "    6      127601  a.txt                              3  0x00000126  ok       "
                    "          a.txt.1\n"
                    "7 nodes, 127656 bytes, valid\n"),
            result.output);
  EXPECT_EQ("", result.error_output);
  EXPECT_EQ(VALID, result.exit_status);

  std::map<std::string, std::string> expected = inputs;
  expected["package.img"] = package;
  expected["out"] = "<dir>";
  for (const auto& [name, bytes] : inputs) {
    expected["out/" + (name == "app.bin" ? std::string("upgrade") : name)] = bytes;
  }
  expected["out/a.txt.1"] = "abc";
  EXPECT_EQ(expected, file_tree(scratch));
  EXPECT_EQ(VALID, inspect({"package.img"}).exit_status);
}

}  // namespace
