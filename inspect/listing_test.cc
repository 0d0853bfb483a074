#include "listing.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "node_bytes.h"

namespace {

// The nodes of image, read as the inspector reads them.
std::vector<ImageNode> read_nodes(const std::string& image) {
  return walk_image(image).nodes;
}

TEST(Listing, AlignsEveryColumnUnderItsTitle) {
  std::string image = node_bytes("upgrade", "firmware", NODE_FLAG_UPGRADE, 0x00294823) +
                      node_bytes("a.txt", "abc") + node_bytes("\x1b[2J\xff", "") +
                      node_bytes("cut", "1234");
  image.resize(image.size() - 1);  // the last node's payload is not all there
  image[60 + 52] ^= 0x01;          // and a.txt's no longer sums to its checksum
  const std::vector<ImageNode> nodes = read_nodes(image);
  ASSERT_EQ(4u, nodes.size());
  std::string listing = listing_header(false);
  for (const ImageNode& node : nodes) listing += listing_line({&node, {}, false, ""});
  EXPECT_EQ(
      "index      offset  name             flag           size  checksum    check  key\n"
      "    0           0  upgrade          upgrade           8  0x000003fc  ok     0x00294823\n"
      "    1          60  a.txt                              3  0x00000126  BAD\n"
      "    2         115  \\x1b[2J\\xff                        0  0x00000000  ok\n"
      "    3         167  cut                                4  0x000000ca  -\n",
      listing);
}

TEST(Listing, SaysWhatEachNodeWasWrittenAs) {
  const std::string image =
      node_bytes("a.txt", "abc") + node_bytes("a-name-of-15-ch", "") + node_bytes("a.txt", "abc");
  const std::vector<ImageNode> nodes = read_nodes(image);
  ASSERT_EQ(3u, nodes.size());
  EXPECT_EQ(
      "index      offset  name             flag           size  checksum    check  key         "
      "extracted as\n"
      "    0           0  a.txt                              3  0x00000126  ok                 "
      "a.txt\n"
      "    1          55  a-name-of-15-ch                    0  0x00000000  ok                 "
      "(not extracted)\n"
      "    2         107  a.txt                              3  0x00000126  ok                 "
      "a.txt.1\n",
      listing_header(true) + listing_line({&nodes[0], {}, true, "a.txt"}) +
          listing_line({&nodes[1], {}, true, ""}) + listing_line({&nodes[2], {}, true, "a.txt.1"}));
}

TEST(Listing, SummaryCountsNodesBytesAndProblems) {
  EXPECT_EQ("0 nodes, 0 bytes, valid\n", summary_line(0, 0, 0));
  EXPECT_EQ("1 node, 1 byte, 1 problem\n", summary_line(1, 1, 1));
  EXPECT_EQ("4 nodes, 6663 bytes, 12 problems\n", summary_line(4, 6663, 12));
}

}  // namespace
