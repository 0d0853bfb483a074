#include "image_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "node_bytes.h"
#include "payload.h"

bool operator==(const ImageProblem& a, const ImageProblem& b) {
  return a.rule == b.rule && a.node_index == b.node_index && a.offset == b.offset &&
         a.expected == b.expected && a.found == b.found;
}

void PrintTo(const ImageProblem& p, std::ostream* out) {
  *out << "{rule " << p.rule << ", node " << p.node_index << " at " << p.offset << ", expected "
       << p.expected << ", found " << p.found << "}";
}

namespace {

constexpr std::uint32_t KEY = 0x00294823;
const std::string FIRMWARE = "firmware";

// Three nodes: a.txt at 0 (55 bytes), the encrypted upgrade node at 55 (60 bytes), and an empty
// file at 115 (52 bytes); 167 bytes in all.
const std::string INTACT = node_bytes("a.txt", "abc") +
                           node_bytes("upgrade", FIRMWARE, NODE_FLAG_UPGRADE, KEY) +
                           node_bytes("e", "");

// Field offsets within a descriptor.
constexpr std::size_t FLAGS = 8;
constexpr std::size_t NODE_SIZE = 12;
constexpr std::size_t FILE_SIZE = 16;
constexpr std::size_t HEADER_SIZE = 20;
constexpr std::size_t PAYLOAD_SIZE = 28;
constexpr std::size_t NAME = 36;

struct Walked {
  std::vector<ImageNode> nodes;
  std::vector<ImageProblem> problems;  // every node's, then the trailing bytes'
};

// Walks a heap copy of exactly the image's length, so that a read past it is a sanitizer error.
Walked walk(const std::string& image) {
  const std::vector<std::uint8_t> bytes(image.begin(), image.end());
  ImageWalk state = start_image_walk(bytes.data(), bytes.size());
  Walked walked;
  ImageNode node;
  while (read_next_node(&state, &node)) {
    walked.nodes.push_back(node);
    walked.problems.insert(walked.problems.end(), node.problems,
                           node.problems + node.problem_count);
  }
  if (state.has_trailing_problem) walked.problems.push_back(state.trailing_problem);
  EXPECT_FALSE(read_next_node(&state, &node)) << "a walk that ended stays ended";
  return walked;
}

TEST(ImageReader, ReadsEveryNodeOfAnIntactImage) {
  const std::vector<std::uint8_t> bytes(INTACT.begin(), INTACT.end());
  ImageWalk state = start_image_walk(bytes.data(), bytes.size());
  ImageNode nodes[3];
  for (ImageNode& node : nodes) ASSERT_TRUE(read_next_node(&state, &node));
  ImageNode after;
  EXPECT_FALSE(read_next_node(&state, &after));
  EXPECT_FALSE(state.has_trailing_problem);

  const std::size_t offsets[] = {0, 55, 115};
  const std::size_t lengths[] = {3, 8, 0};
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(i, nodes[i].index);
    EXPECT_EQ(offsets[i], nodes[i].offset);
    EXPECT_EQ(0u, nodes[i].problem_count) << i;
    EXPECT_EQ(CHECKSUM_MATCHES, nodes[i].checksum_result) << i;
    EXPECT_EQ(bytes.data() + offsets[i] + 52, nodes[i].payload) << i;
    EXPECT_EQ(lengths[i], nodes[i].payload_length) << i;
    EXPECT_EQ(nodes[i].descriptor.checksum, nodes[i].payload_sum) << i;
  }
  EXPECT_STREQ("upgrade", nodes[1].descriptor.name);
  EXPECT_EQ(NODE_FLAG_UPGRADE, nodes[1].descriptor.flags);
  EXPECT_EQ(KEY, nodes[1].descriptor.session_key);
  std::string decrypted(reinterpret_cast<const char*>(nodes[1].payload), 8);
  crypt_payload(reinterpret_cast<std::uint8_t*>(decrypted.data()), 8, KEY);
  EXPECT_EQ(FIRMWARE, decrypted);
}

TEST(ImageReader, NamesAreTheBytesBeforeTheNul) {
  NodeDescriptor descriptor{};
  EXPECT_EQ(0u, node_name_length(descriptor));
  std::memcpy(descriptor.name, "abc\0def", 8);
  EXPECT_EQ(3u, node_name_length(descriptor));
  std::memset(descriptor.name, 'x', NODE_NAME_SIZE);
  EXPECT_EQ(16u, node_name_length(descriptor));
}

struct Corruption {
  const char* title;
  std::function<void(std::string*)> corrupt;
  std::size_t nodes;  // how many nodes the walk yields
  std::vector<ImageProblem> problems;
};

void PrintTo(const Corruption& c, std::ostream* out) {
  *out << c.title;
}

const Corruption CORRUPTIONS[] = {
    {"empty image", [](std::string* image) { image->clear(); }, 0, {}},
    {"a flipped payload byte fails the checksum and the walk goes on",
     [](std::string* image) { (*image)[55 + 52 + 2] ^= 0x01; }, 3,
     // 'r' (0x72) XORed with the key byte 0x08 is 0x7A; flipping bit 0 makes it 0x7B.
     [] {
       const std::uint32_t stored = 0x3FC;  // the sum of the eight encrypted bytes
       return std::vector<ImageProblem>{{RULE_CHECKSUM, 1, 55, stored, stored + 1}};
     }()},
    {"cut short inside a payload",
     [](std::string* image) { image->resize(110); },
     2,
     {{RULE_NODE_PAST_END, 1, 55, 55, 60}}},
    {"cut short inside a descriptor",
     [](std::string* image) { image->resize(166); },
     2,
     {{RULE_TRAILING_BYTES, 2, 115, 0, 51}}},
    {"too short for any descriptor",
     [](std::string* image) { image->resize(51); },
     0,
     {{RULE_TRAILING_BYTES, 0, 0, 0, 51}}},
    {"stray bytes appended",
     [](std::string* image) { *image += "12345"; },
     3,
     {{RULE_TRAILING_BYTES, 3, 167, 0, 5}}},
    {"a descriptor's worth of zeros appended",
     [](std::string* image) { *image += std::string(60, '\0'); },
     4,
     {{RULE_MAGIC, 3, 167, NODE_MAGIC, 0},
      {RULE_VERSION, 3, 167, 52, 0},
      {RULE_NODE_TOO_SHORT, 3, 167, 52, 0},
      {RULE_NODE_SIZE, 3, 167, 52, 0},
      {RULE_HEADER_SIZE, 3, 167, 52, 0},
      {RULE_NAME_EMPTY, 3, 167, 0, 0}}},
    {"node_size below 52 ends the walk",
     [](std::string* image) { put_number(image, NODE_SIZE, 51); },
     1,
     {{RULE_NODE_TOO_SHORT, 0, 0, 52, 51}, {RULE_NODE_SIZE, 0, 0, 55, 51}}},
    {"node_size far past the end ends the walk",
     [](std::string* image) { put_number(image, 55 + NODE_SIZE, 0xFFFFFFFF); },
     2,
     {{RULE_NODE_PAST_END, 1, 55, 112, 0xFFFFFFFF}, {RULE_NODE_SIZE, 1, 55, 60, 0xFFFFFFFF}}},
    {"a file_size near 2^32 does not wrap the expected node_size",
     [](std::string* image) { put_number(image, FILE_SIZE, 0xFFFFFFFF); },
     3,
     {{RULE_NODE_SIZE, 0, 0, 0x100000033, 55}, {RULE_PAYLOAD_SIZE, 0, 0, 0xFFFFFFFF, 3}}},
    {"bad magic, version and header_size do not stop the walk",
     [](std::string* image) {
       (*image)[0] = 'E';
       put_number(image, 4, 53);
       put_number(image, HEADER_SIZE, 0);
     },
     3,
     {{RULE_MAGIC, 0, 0, NODE_MAGIC, 0x6E6F6445},
      {RULE_VERSION, 0, 0, 52, 53},
      {RULE_HEADER_SIZE, 0, 0, 52, 0}}},
    {"flags other than 0 or 4",
     [](std::string* image) {
       put_number(image, FLAGS, 1);
       put_number(image, 55 + FLAGS, 5);
     },
     3,
     {{RULE_FLAGS, 0, 0, 4, 1}, {RULE_FLAGS, 1, 55, 4, 5}}},
    {"a session key without the upgrade flag",
     [](std::string* image) { put_number(image, 55 + FLAGS, 0); },
     3,
     {{RULE_SESSION_KEY, 1, 55, 0, KEY}}},
    {"payload_size differs from file_size",
     [](std::string* image) { put_number(image, PAYLOAD_SIZE, 2); },
     3,
     {{RULE_PAYLOAD_SIZE, 0, 0, 3, 2}}},
    {"a name with no NUL in its 16 bytes",
     [](std::string* image) { image->replace(115 + NAME, 16, 16, 'n'); },
     3,
     {{RULE_NAME_UNTERMINATED, 2, 115, 0, 16}}},
    {"an empty name",
     [](std::string* image) { (*image)[NAME] = '\0'; },
     3,
     {{RULE_NAME_EMPTY, 0, 0, 0, 0}}},
    {"an upgrade node not named upgrade",
     [](std::string* image) { image->replace(55 + NAME, 8, "app.bin", 8); },
     3,
     {{RULE_UPGRADE_NAME, 1, 55, 0, 7}}},
    {"an upgrade node over the bootloader's limit",
     [](std::string* image) {
       put_number(image, 55 + FILE_SIZE, 126977);
       put_number(image, 55 + PAYLOAD_SIZE, 126977);
     },
     3,
     {{RULE_NODE_SIZE, 1, 55, 127029, 60}, {RULE_FIRMWARE_TOO_BIG, 1, 55, 126976, 126977}}},
    {"an upgrade node at the limit is fine",
     [](std::string* image) {
       *image = node_bytes("upgrade", std::string(126976, 'f'), NODE_FLAG_UPGRADE, KEY);
     },
     1,
     {}},
};

class ImageCorruption : public ::testing::TestWithParam<Corruption> {};

TEST_P(ImageCorruption, IsFoundWhereItIs) {
  const Corruption& c = GetParam();
  std::string image = INTACT;
  c.corrupt(&image);
  const Walked walked = walk(image);
  EXPECT_EQ(c.nodes, walked.nodes.size());
  EXPECT_EQ(c.problems, walked.problems);
}

INSTANTIATE_TEST_SUITE_P(ImageReader, ImageCorruption, ::testing::ValuesIn(CORRUPTIONS));

// A node whose payload is not all there is listed but cannot be summed.
TEST(ImageReader, LeavesTheChecksumOfAnIncompleteNodeUnchecked) {
  const Walked walked = walk(INTACT.substr(0, 110));
  ASSERT_EQ(2u, walked.nodes.size());
  EXPECT_EQ(CHECKSUM_UNCHECKED, walked.nodes[1].checksum_result);
  EXPECT_EQ(nullptr, walked.nodes[1].payload);
  EXPECT_EQ(0u, walked.nodes[1].payload_length);
}

// node_size decides where the next node begins, even when it disagrees with file_size.
TEST(ImageReader, FollowsNodeSizeToTheNextNode) {
  std::string image = node_bytes("a", "abcd") + node_bytes("b", "");
  put_number(&image, NODE_SIZE, 55);  // the first node now ends after "abc"; "d" is left over
  const Walked walked = walk(image);
  ASSERT_EQ(2u, walked.nodes.size());
  EXPECT_EQ(55u, walked.nodes[1].offset);
  EXPECT_EQ(3u, walked.nodes[0].payload_length);
  EXPECT_EQ(CHECKSUM_DIFFERS, walked.nodes[0].checksum_result);
  EXPECT_EQ(RULE_MAGIC, walked.problems.at(2).rule) << "the node at 55 begins with \"d\"";
}

}  // namespace
