#include "json_report.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "node_bytes.h"

namespace {

// Every byte a name can hold that JSON or UTF-8 cares about: quotes, backslashes, control bytes,
// a lone continuation byte, an overlong encoding and bytes that are never UTF-8.
const std::string HOSTILE_NAME = "\"\\\x01\n\x80\xc0\xaf\xff\xfe'";

// The whole document for image, as the inspector writes it.
std::string document(const std::string& image, const bool extracting) {
  const WalkedImage walked = walk_image(image);
  std::string text = json_document_start(image.size());
  std::size_t count = 0;
  for (const ImageNode& node : walked.nodes) {
    const NodeReport report{&node,
                            {node.problems, node.problems + node.problem_count},
                            extracting,
                            count == 0 ? HOSTILE_NAME : ""};
    text += json_node(report, count++ == 0);
  }
  std::vector<ImageProblem> image_problems;
  if (walked.has_trailing_problem) image_problems.push_back(walked.trailing_problem);
  return text + json_nodes_end(count, image_problems) +
         json_document_end(count, walked.problems.size());
}

TEST(JsonReport, IsValidJsonWhateverTheNameBytes) {
  std::string image = node_bytes(HOSTILE_NAME, "abc") + node_bytes("upgrade", "fw", 4, 0x10203);
  image[52] = 'A';  // the checksum fails
  image += "xy";    // and two stray bytes follow
  const nlohmann::json parsed = nlohmann::json::parse(document(image, true));
  ASSERT_EQ(2u, parsed["nodes"].size());
  const nlohmann::json& hostile = parsed["nodes"][0];
  EXPECT_EQ("\"\\\\\\x01\\x0a\\x80\\xc0\\xaf\\xff\\xfe'", hostile["name"]);
  std::vector<int> field(16, 0);
  for (std::size_t i = 0; i < HOSTILE_NAME.size(); ++i) {
    field[i] = static_cast<unsigned char>(HOSTILE_NAME[i]);
  }
  EXPECT_EQ(field, hostile["name_field"].get<std::vector<int>>());
  EXPECT_EQ(hostile["name"], hostile["extracted_as"]) << "written names are escaped alike";
  EXPECT_EQ(false, hostile["checksum_matches"]);
  EXPECT_EQ(294 - 'a' + 'A', hostile["payload_sum"]);
  ASSERT_EQ(1u, hostile["problems"].size());
  EXPECT_EQ("checksum", hostile["problems"][0]["rule"]);
  EXPECT_EQ("0x00000126", hostile["problems"][0]["expected"]);

  const nlohmann::json& firmware = parsed["nodes"][1];
  EXPECT_EQ(true, firmware["upgrade"]);
  EXPECT_EQ(0x10203, firmware["session_key"]);
  EXPECT_TRUE(firmware["extracted_as"].is_null());
  ASSERT_EQ(1u, parsed["image_problems"].size());
  EXPECT_EQ("trailing_bytes", parsed["image_problems"][0]["rule"]);
  EXPECT_EQ(2, parsed["node_count"]);
  EXPECT_EQ(2, parsed["problem_count"]);
  EXPECT_EQ(false, parsed["valid"]);
}

TEST(JsonReport, WritesEveryDescriptorFieldOfANode) {
  const std::string image = node_bytes("a.txt", "abc");
  EXPECT_EQ(
      "{\n"
      "  \"image_size\": 55,\n"
      "  \"nodes\": [\n"
      "    {\"index\":0,\"offset\":0,\"magic\":1852793957,\"version\":52,\"flags\":0,"
      "\"node_size\":55,\"file_size\":3,\"header_size\":52,\"checksum\":294,\"payload_size\":3,"
      "\"session_key\":0,\"name\":\"a.txt\",\"name_field\":[97,46,116,120,116,0,0,0,0,0,0,0,0,0,"
      "0,0],\"upgrade\":false,\"payload_sum\":294,\"checksum_matches\":true,\"problems\":[]}\n"
      "  ],\n"
      "  \"image_problems\": [],\n"
      "  \"node_count\": 1,\n"
      "  \"problem_count\": 0,\n"
      "  \"valid\": true\n"
      "}\n",
      document(image, false));
}

TEST(JsonReport, AnImageWithNoNodeIsADocumentToo) {
  for (const std::string& image : {std::string(), std::string(51, '\0')}) {
    const nlohmann::json parsed = nlohmann::json::parse(document(image, false));
    EXPECT_TRUE(parsed["nodes"].empty());
    EXPECT_EQ(image.empty(), parsed["valid"]);
    EXPECT_EQ(image.empty() ? 0u : 1u, parsed["image_problems"].size());
  }
}

// A node whose payload is not all there has no sum and no checksum result.
TEST(JsonReport, LeavesTheResultOfAnUncheckedChecksumNull) {
  const std::string image = node_bytes("a.txt", "abc").substr(0, 54);
  const nlohmann::json node = nlohmann::json::parse(document(image, false))["nodes"][0];
  EXPECT_TRUE(node["payload_sum"].is_null());
  EXPECT_TRUE(node["checksum_matches"].is_null());
  EXPECT_EQ("node_past_end", node["problems"][0]["rule"]);
}

// Every input with its node and verdict, and the unmatched nodes, exactly; paths are escaped as
// on standard error, so the member is valid JSON whatever bytes a path holds.
TEST(JsonReport, AgainstNamesEveryInputAndEveryUnmatchedNode) {
  const std::vector<CheckedInput> inputs = {
      {"app.bin", native_name("app.bin"), "upgrade", NODE_FLAG_UPGRADE, VERDICT_MATCHES, "", true,
       0},
      {"d/\x1b\xff\"", native_name("d/\x1b\xff\""), "", 0, VERDICT_REFUSED,
       "input d/\\x1b\\xff\": refused by corvane: x", false, 0},
      {"b.txt", native_name("b.txt"), "b.txt", 0, VERDICT_MISSING, "input b.txt: missing", false,
       0},
  };
  std::string text = json_against_start();
  for (std::size_t i = 0; i < inputs.size(); ++i) text += json_against_input(inputs[i], i == 0);
  text += json_against_inputs_end(false) + json_unmatched_node(3, true) +
          json_unmatched_node(4, false) + json_against_end(3);
  EXPECT_EQ(
      ",\n"
      "  \"against\": {\n"
      "    \"inputs\": [\n"
      "      {\"path\":\"app.bin\",\"node\":0,\"verdict\":\"matches\",\"detail\":null},\n"
      "      {\"path\":\"d/\\\\x1b\\\\xff\\\"\",\"node\":null,\"verdict\":\"refused\",\"detail\":"
      "\"input d/\\\\x1b\\\\xff\\\": refused by corvane: x\"},\n"
      "      {\"path\":\"b.txt\",\"node\":null,\"verdict\":\"missing\",\"detail\":\"input b.txt: "
      "missing\"}\n"
      "    ],\n"
      "    \"unmatched_nodes\": [3, 4],\n"
      "    \"difference_count\": 3,\n"
      "    \"matches\": false\n"
      "  }",
      text);
  const nlohmann::json parsed = nlohmann::json::parse("{\"x\": 0" + text + "}");
  EXPECT_EQ("d/\\x1b\\xff\"", parsed["against"]["inputs"][1]["path"]);
}

// A walked directory with nothing to pack gives no input at all.
TEST(JsonReport, AgainstNoInputAndNoUnmatchedNodeIsValid) {
  const std::string text =
      json_against_start() + json_against_inputs_end(true) + json_against_end(0);
  const nlohmann::json parsed = nlohmann::json::parse("{\"x\": 0" + text + "}");
  EXPECT_TRUE(parsed["against"]["inputs"].empty());
  EXPECT_TRUE(parsed["against"]["unmatched_nodes"].empty());
  EXPECT_EQ(true, parsed["against"]["matches"]);
}

}  // namespace
