#include "node_descriptor.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "scratch.h"

namespace {

std::vector<std::uint8_t> serialise(const NodeDescriptor& descriptor) {
  std::vector<std::uint8_t> bytes(NODE_DESCRIPTOR_SIZE);
  serialise_node_descriptor(descriptor, bytes.data());
  return bytes;
}

// Memory that held something else before, as a descriptor on the stack may.
NodeDescriptor dirty_descriptor() {
  NodeDescriptor descriptor;
  std::memset(&descriptor, 0xAA, sizeof descriptor);
  return descriptor;
}

TEST(NodeDescriptor, SerialisesTheDescriptorOfAThreeByteTextFile) {
  NodeDescriptor descriptor = dirty_descriptor();
  make_node_descriptor(&descriptor, "a.txt", 3);
  set_node_payload_size(&descriptor, 3);
  descriptor.checksum = 294;
  const std::vector<std::uint8_t> expected = {
      0x65, 0x64, 0x6F, 0x6E, 0x34, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x37,
      0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x34, 0x00, 0x00, 0x00, 0x26, 0x01,
      0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x61, 0x2E, 0x74,
      0x78, 0x74, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
  EXPECT_EQ(expected, serialise(descriptor));
}

TEST(NodeDescriptor, StartsWithNoSizesFlagsOrKey) {
  NodeDescriptor descriptor = dirty_descriptor();
  EXPECT_EQ(&descriptor, make_node_descriptor(&descriptor, "upgrade", 7));
  EXPECT_EQ(NODE_MAGIC, descriptor.magic);
  EXPECT_EQ(52u, descriptor.version);
  EXPECT_EQ(52u, descriptor.header_size);
  EXPECT_EQ(7u, descriptor.file_size);
  EXPECT_EQ(0u, descriptor.flags | descriptor.node_size | descriptor.payload_size |
                    descriptor.checksum | descriptor.session_key);
}

TEST(NodeDescriptor, PayloadSizeSetsAllThreeSizes) {
  NodeDescriptor descriptor = dirty_descriptor();
  make_node_descriptor(&descriptor, "x", 0);
  set_node_payload_size(&descriptor, 0xFFFFFFFFu - 52);  // the largest node the fields can hold
  EXPECT_EQ(0xFFFFFFFFu - 52, descriptor.file_size);
  EXPECT_EQ(0xFFFFFFFFu - 52, descriptor.payload_size);
  EXPECT_EQ(0xFFFFFFFFu, descriptor.node_size);
}

TEST(NodeDescriptor, PutsEveryFieldLittleEndianAtItsOffset) {
  NodeDescriptor descriptor = dirty_descriptor();
  make_node_descriptor(&descriptor, "x", 0x0A0B0C0D);
  descriptor.flags = 0x11121314;
  descriptor.node_size = 0x21222324;
  descriptor.checksum = 0x31323334;
  descriptor.payload_size = 0x41424344;
  descriptor.session_key = 0x51525354;
  const std::vector<std::uint8_t> bytes = serialise(descriptor);
  const std::vector<std::uint8_t> numbers(bytes.begin(), bytes.begin() + 36);
  const std::vector<std::uint8_t> expected = {0x65, 0x64, 0x6F, 0x6E, 0x34, 0x00, 0x00, 0x00, 0x14,
                                              0x13, 0x12, 0x11, 0x24, 0x23, 0x22, 0x21, 0x0D, 0x0C,
                                              0x0B, 0x0A, 0x34, 0x00, 0x00, 0x00, 0x34, 0x33, 0x32,
                                              0x31, 0x44, 0x43, 0x42, 0x41, 0x54, 0x53, 0x52, 0x51};
  EXPECT_EQ(expected, numbers);
}

TEST(NodeDescriptor, NameFieldHoldsTheNameThenOnlyZeros) {
  struct Case {
    const char* name;
    std::vector<std::uint8_t> field;
  };
  const Case cases[] = {
      {"", std::vector<std::uint8_t>(16, 0)},
      {"upgrade", {'u', 'p', 'g', 'r', 'a', 'd', 'e', 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"fifteen-chars.x",
       {'f', 'i', 'f', 't', 'e', 'e', 'n', '-', 'c', 'h', 'a', 'r', 's', '.', 'x', 0}},
      // Callers refuse longer names; the field still ends in its NUL.
      {"sixteen-chars.xy",
       {'s', 'i', 'x', 't', 'e', 'e', 'n', '-', 'c', 'h', 'a', 'r', 's', '.', 'x', 0}},
  };
  for (const Case& c : cases) {
    NodeDescriptor descriptor = dirty_descriptor();
    make_node_descriptor(&descriptor, c.name, 0);
    const std::vector<std::uint8_t> bytes = serialise(descriptor);
    EXPECT_EQ(c.field, std::vector<std::uint8_t>(bytes.begin() + 36, bytes.end())) << c.name;
  }
}

TEST(ParseNodeDescriptor, ReadsTheDescriptorOfAThreeByteTextFile) {
  std::uint8_t bytes[NODE_DESCRIPTOR_SIZE];
  NodeDescriptor written = dirty_descriptor();
  make_node_descriptor(&written, "a.txt", 3);
  set_node_payload_size(&written, 3);
  written.checksum = 294;
  serialise_node_descriptor(written, bytes);
  const NodeDescriptor read = parse_node_descriptor(bytes);
  EXPECT_EQ(NODE_MAGIC, read.magic);
  EXPECT_EQ(52u, read.version);
  EXPECT_EQ(0u, read.flags);
  EXPECT_EQ(55u, read.node_size);
  EXPECT_EQ(3u, read.file_size);
  EXPECT_EQ(52u, read.header_size);
  EXPECT_EQ(294u, read.checksum);
  EXPECT_EQ(3u, read.payload_size);
  EXPECT_EQ(0u, read.session_key);
  EXPECT_EQ(0, std::memcmp("a.txt\0\0\0\0\0\0\0\0\0\0", read.name, NODE_NAME_SIZE));
}

// Any 52 bytes, sense or not, come back unchanged: every field is read from where it is written.
TEST(ParseNodeDescriptor, IsTheInverseOfSerialisingForAnyBytes) {
  for (std::uint32_t seed = 1; seed <= 4; ++seed) {
    const std::string original = varied_bytes(NODE_DESCRIPTOR_SIZE, seed);
    std::vector<std::uint8_t> again(NODE_DESCRIPTOR_SIZE);
    serialise_node_descriptor(
        parse_node_descriptor(reinterpret_cast<const std::uint8_t*>(original.data())),
        again.data());
    EXPECT_EQ(original, std::string(again.begin(), again.end())) << seed;
  }
}

}  // namespace
