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
  ImageWalk walk =
      start_image_walk(reinterpret_cast<const std::uint8_t*>(image.data()), image.size());
  std::string text = json_document_start(image.size());
  ImageNode node;
  std::size_t count = 0;
  std::size_t problems = 0;
  while (read_next_node(&walk, &node)) {
    const NodeReport report{&node,
                            {node.problems, node.problems + node.problem_count},
                            extracting,
                            count == 0 ? HOSTILE_NAME : ""};
    text += json_node(report, count++ == 0);
    problems += node.problem_count;
  }
  std::vector<ImageProblem> image_problems;
  if (walk.has_trailing_problem) image_problems.push_back(walk.trailing_problem);
  return text + json_document_end(image_problems, count, problems + image_problems.size());
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

}  // namespace
