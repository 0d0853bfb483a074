#include "image_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "node_bytes.h"
#include "payload.h"
#include "scratch.h"

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

// Walks image, and requires that each node begins where the caller stands.
WalkedImage walk(const std::string& image, const std::size_t piece = SIZE_MAX) {
  const WalkedImage walked = walk_image(image, piece);
  EXPECT_TRUE(walked.in_step);
  return walked;
}

// Handing the payload over byte by byte, in odd pieces or whole gives the same walk.
const std::size_t PIECES[] = {1, 7, SIZE_MAX};

TEST(ImageReader, ReadsEveryNodeOfAnIntactImage) {
  for (const std::size_t piece : PIECES) {
    const WalkedImage walked = walk(INTACT, piece);
    ASSERT_EQ(3u, walked.nodes.size());
    EXPECT_TRUE(walked.problems.empty());
    const std::uint64_t offsets[] = {0, 55, 115};
    const std::uint32_t lengths[] = {3, 8, 0};
    for (std::size_t i = 0; i < 3; ++i) {
      const ImageNode& node = walked.nodes[i];
      EXPECT_EQ(i, node.index);
      EXPECT_EQ(offsets[i], node.offset);
      EXPECT_TRUE(node.is_whole) << i;
      EXPECT_EQ(CHECKSUM_MATCHES, node.checksum_result) << i;
      EXPECT_EQ(lengths[i], node.payload_length) << i;
      EXPECT_EQ(lengths[i], node.payload_added) << i;
      EXPECT_EQ(node.descriptor.checksum, node.payload_sum) << i;
    }
    EXPECT_EQ("abc", walked.payloads[0]);
    EXPECT_STREQ("upgrade", walked.nodes[1].descriptor.name);
    EXPECT_EQ(NODE_FLAG_UPGRADE, walked.nodes[1].descriptor.flags);
    EXPECT_EQ(KEY, walked.nodes[1].descriptor.session_key);
    std::string decrypted = walked.payloads[1];
    crypt_payload(reinterpret_cast<std::uint8_t*>(decrypted.data()), decrypted.size(), KEY);
    EXPECT_EQ(FIRMWARE, decrypted);
  }
}

// The bytes of one node as the format lays them out, written out by hand: the reader must read
// them, not merely agree with the fixture writer.
TEST(ImageReader, ReadsAHandWrittenNode) {
  const std::string image(
      "\x65\x64\x6f\x6e"  // magic 0x6E6F6465, "edon"
      "\x34\x00\x00\x00"  // version 52
      "\x04\x00\x00\x00"  // flags: upgrade
      "\x36\x00\x00\x00"  // node_size 54
      "\x02\x00\x00\x00"  // file_size 2
      "\x34\x00\x00\x00"  // header_size 52
      "\x01\x01\x00\x00"  // checksum 0x101, the sum of the two stored bytes
      "\x02\x00\x00\x00"  // payload_size 2
      "\x23\x48\x29\x00"  // session_key 0x00294823
      "upgrade\0\0\0\0\0\0\0\0\0"
      "\xff\x02",
      54);
  const WalkedImage walked = walk(image);
  ASSERT_EQ(1u, walked.nodes.size());
  const ImageNode& node = walked.nodes[0];
  EXPECT_EQ(NODE_MAGIC, node.descriptor.magic);
  EXPECT_EQ(NODE_FLAG_UPGRADE, node.descriptor.flags);
  EXPECT_EQ(54u, node.descriptor.node_size);
  EXPECT_EQ(0x101u, node.descriptor.checksum);
  EXPECT_EQ(KEY, node.descriptor.session_key);
  EXPECT_STREQ("upgrade", node.descriptor.name);
  EXPECT_EQ(2u, node.payload_length);
  EXPECT_EQ(0x101u, node.payload_sum);
  EXPECT_EQ(CHECKSUM_MATCHES, node.checksum_result);
  EXPECT_TRUE(walked.problems.empty());
  EXPECT_EQ("\xff\x02", walked.payloads[0]);
}

// What a correct packer writes, the reader gives back: descriptor fields and stored payload.
TEST(ImageReader, GivesBackWhatThePackerWrote) {
  const std::string payload = varied_bytes(1000, 9);
  const std::string image = node_bytes("one", payload) + node_bytes("two", "") +
                            node_bytes("upgrade", payload, NODE_FLAG_UPGRADE, 0x7FFF7FFF);
  const WalkedImage walked = walk(image, 64);
  ASSERT_EQ(3u, walked.nodes.size());
  EXPECT_TRUE(walked.problems.empty());
  EXPECT_EQ(payload, walked.payloads[0]);
  EXPECT_EQ("", walked.payloads[1]);
  EXPECT_EQ(image.substr(image.size() - 1000), walked.payloads[2]);
  std::uint8_t descriptor[NODE_DESCRIPTOR_SIZE];
  std::size_t offset = 0;
  for (const ImageNode& node : walked.nodes) {
    serialise_node_descriptor(node.descriptor, descriptor);
    EXPECT_EQ(image.substr(offset, NODE_DESCRIPTOR_SIZE),
              std::string(reinterpret_cast<const char*>(descriptor), NODE_DESCRIPTOR_SIZE));
    offset += NODE_DESCRIPTOR_SIZE + node.payload_length;
  }
}

TEST(ImageReader, AWalkThatEndedStaysEnded) {
  for (const std::string& image : {INTACT, INTACT + "12", INTACT.substr(0, 110), std::string()}) {
    ImageWalk state = start_image_walk(image.size());
    while (next_node_begins(&state)) {
      ImageNode node;
      read_node_descriptor(&state, piece_of(image, state.offset, NODE_DESCRIPTOR_SIZE).data(),
                           &node);
    }
    EXPECT_FALSE(next_node_begins(&state));
    EXPECT_FALSE(next_node_begins(&state));
  }
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
    {"a checksum found after the payload keeps its place among the descriptor's problems",
     [](std::string* image) {
       put_number(image, HEADER_SIZE, 0);
       (*image)[52] ^= 0x01;  // "a" (0x61) becomes 0x60: the sum falls from 294 to 293
       put_number(image, PAYLOAD_SIZE, 2);
     },
     3,
     {{RULE_HEADER_SIZE, 0, 0, 52, 0},
      {RULE_CHECKSUM, 0, 0, 294, 293},
      {RULE_PAYLOAD_SIZE, 0, 0, 3, 2}}},
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
  for (const std::size_t piece : PIECES) {
    const WalkedImage walked = walk(image, piece);
    EXPECT_EQ(c.nodes, walked.nodes.size()) << "pieces of " << piece;
    EXPECT_EQ(c.problems, walked.problems) << "pieces of " << piece;
  }
}

INSTANTIATE_TEST_SUITE_P(ImageReader, ImageCorruption, ::testing::ValuesIn(CORRUPTIONS));

// A node whose payload is not all there is listed but cannot be summed.
TEST(ImageReader, LeavesTheChecksumOfAnIncompleteNodeUnchecked) {
  const WalkedImage walked = walk(INTACT.substr(0, 110));
  ASSERT_EQ(2u, walked.nodes.size());
  EXPECT_EQ(CHECKSUM_UNCHECKED, walked.nodes[1].checksum_result);
  EXPECT_FALSE(walked.nodes[1].is_whole);
  EXPECT_EQ(0u, walked.nodes[1].payload_length);
}

// A caller that could not read the whole payload gets no checksum verdict on what it read.
TEST(ImageReader, JudgesNoChecksumOnAPartOfThePayload) {
  ImageWalk state = start_image_walk(INTACT.size());
  ASSERT_TRUE(next_node_begins(&state));
  ImageNode node;
  read_node_descriptor(&state, piece_of(INTACT, 0, NODE_DESCRIPTOR_SIZE).data(), &node);
  add_node_payload(&node, piece_of(INTACT, NODE_DESCRIPTOR_SIZE, 2).data(), 2);
  finish_node(&node);
  EXPECT_EQ(CHECKSUM_UNCHECKED, node.checksum_result);
  EXPECT_EQ(0u, node.problem_count);
}

// node_size decides where the next node begins, even when it disagrees with file_size.
TEST(ImageReader, FollowsNodeSizeToTheNextNode) {
  std::string image = node_bytes("a", "abcd") + node_bytes("b", "");
  put_number(&image, NODE_SIZE, 55);  // the first node now ends after "abc"; "d" is left over
  const WalkedImage walked = walk(image);
  ASSERT_EQ(2u, walked.nodes.size());
  EXPECT_EQ(55u, walked.nodes[1].offset);
  EXPECT_EQ(3u, walked.nodes[0].payload_length);
  EXPECT_EQ(CHECKSUM_DIFFERS, walked.nodes[0].checksum_result);
  EXPECT_EQ(RULE_MAGIC, walked.problems.at(2).rule) << "the node at 55 begins with \"d\"";
}

}  // namespace
