#include "package_output.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "node_bytes.h"
#include "payload.h"
#include "scratch.h"
#include "status.h"

namespace {

namespace fs = std::filesystem;

// Adds a node of name holding payload to output, put in pieces of at most piece bytes.
int add_node(PackageOutput* const output, const std::string& name, const std::string& payload,
             const std::size_t piece = PACKAGE_BUFFER_SIZE) {
  const int begun = begin_node(output, payload.size());
  if (begun != STATUS_OK) return begun;
  for (std::size_t done = 0; done < payload.size();) {
    std::size_t room = 0;
    std::uint8_t* const bytes = payload_room(output, &room);
    if (bytes == nullptr) return STATUS_PACKAGE_FAILED;
    const std::size_t length = std::min({room, piece, payload.size() - done});
    std::memcpy(bytes, payload.data() + done, length);
    add_payload(output, length);
    done += length;
  }
  NodeDescriptor descriptor;
  const auto size = static_cast<std::uint32_t>(payload.size());
  make_node_descriptor(&descriptor, name.c_str(), size);
  set_node_payload_size(&descriptor, size);
  descriptor.checksum =
      payload_checksum(reinterpret_cast<const std::uint8_t*>(payload.data()), payload.size());
  return end_node(output, descriptor);
}

class PackageOutputTest : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    path = (scratch / "package.img").string();
    ASSERT_EQ(STATUS_OK, create_package_output(&output, path));
  }
  void TearDown() override {
    abandon_package_output(&output);
    ScratchTest::TearDown();
  }

  int add_node(const std::string& name, const std::string& payload,
               const std::size_t piece = PACKAGE_BUFFER_SIZE) {
    return ::add_node(&output, name, payload, piece);
  }

  // Puts part of a payload into a node begun last, then drops it.
  int drop_after(const std::size_t size, const std::size_t put) {
    EXPECT_EQ(STATUS_OK, begin_node(&output, size));
    for (std::size_t done = 0; done < put;) {
      std::size_t room = 0;
      std::uint8_t* const bytes = payload_room(&output, &room);
      const std::size_t length = std::min(room, put - done);
      std::memset(bytes, 'x', length);
      add_payload(&output, length);
      done += length;
    }
    return drop_node(&output);
  }

  std::string path;
  PackageOutput output;
};

TEST_F(PackageOutputTest, GathersSmallNodesAndStreamsLargeOnes) {
  const std::string large = varied_bytes(PACKAGE_BUFFER_SIZE * 2 + 1000, 1);
  ASSERT_EQ(STATUS_OK, add_node("a.txt", "abc"));
  EXPECT_EQ(0, output.written) << "a small node waits in the buffer";
  ASSERT_EQ(STATUS_OK, add_node("large", large, 100000));
  EXPECT_GT(output.written, 0) << "a large node streams through";
  ASSERT_EQ(STATUS_OK, add_node("e", ""));
  const std::int64_t size = package_size(output);
  ASSERT_EQ(STATUS_OK, commit_package_output(&output));
  const std::string expected =
      node_bytes("a.txt", "abc") + node_bytes("large", large) + node_bytes("e", "");
  EXPECT_EQ(static_cast<std::int64_t>(expected.size()), size);
  EXPECT_EQ(expected, read_file(path));
}

// A node dropped while it is still in the buffer, or after part of it was written out, leaves
// the package as it was; what follows goes where the dropped node began.
TEST_F(PackageOutputTest, DropsANodeWhereverItsBytesAre) {
  ASSERT_EQ(STATUS_OK, add_node("a.txt", "abc"));
  EXPECT_EQ(STATUS_OK, drop_after(100, 50));
  EXPECT_EQ(55, package_size(output));
  EXPECT_EQ(STATUS_OK, drop_after(PACKAGE_BUFFER_SIZE * 3, PACKAGE_BUFFER_SIZE * 2));
  EXPECT_EQ(55, package_size(output));
  ASSERT_EQ(STATUS_OK, add_node("b", "b"));
  ASSERT_EQ(STATUS_OK, commit_package_output(&output));
  EXPECT_EQ(node_bytes("a.txt", "abc") + node_bytes("b", "b"), read_file(path));
}

#ifndef _WIN32
// An output that cannot be cut back (here a FIFO) gets no byte of a node before the node is
// whole, however large it is; a node dropped before then never reaches it.
TEST(PackageOutputToAFifo, HoldsNodesWholeUntilTheyAreComplete) {
  const fs::path fifo = fs::temp_directory_path() / ("corvane-fifo-" + std::to_string(getpid()));
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
  std::string received;
  std::thread reader([&] {
    std::ifstream stream(fifo, std::ios::binary);
    received.assign(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
  });
  PackageOutput output;
  ASSERT_EQ(STATUS_OK, create_package_output(&output, fifo.string()));
  EXPECT_FALSE(output.file.is_temporary);
  const std::string large = varied_bytes(PACKAGE_BUFFER_SIZE + 10, 2);
  ASSERT_EQ(STATUS_OK, begin_node(&output, large.size()));
  std::size_t room = 0;
  ASSERT_NE(nullptr, payload_room(&output, &room));
  EXPECT_GT(room, large.size()) << "room for the whole node and the byte past its end";
  add_payload(&output, large.size());
  EXPECT_EQ(STATUS_OK, drop_node(&output));
  EXPECT_EQ(0, output.written);
  ASSERT_EQ(STATUS_OK, add_node(&output, "large", large));
  EXPECT_EQ(static_cast<std::int64_t>(large.size() + 52), output.written)
      << "a node beyond the usual buffer is written once it is whole";
  ASSERT_EQ(STATUS_OK, add_node(&output, "a.txt", "abc"));
  ASSERT_EQ(STATUS_OK, commit_package_output(&output));
  reader.join();
  fs::remove(fifo);
  EXPECT_EQ(node_bytes("large", large) + node_bytes("a.txt", "abc"), received);
}
#endif

#ifndef _WIN32
// Every write to /dev/full fails: the failure sticks, and nothing more is written.
TEST(PackageOutputFailure, AFailedWriteFailsTheOutput) {
  PackageOutput output;
  ASSERT_EQ(STATUS_OK, create_package_output(&output, "/dev/full"));
  ASSERT_EQ(STATUS_OK, begin_node(&output, PACKAGE_BUFFER_SIZE));
  std::size_t room = 0;
  ASSERT_NE(nullptr, payload_room(&output, &room));
  add_payload(&output, PACKAGE_BUFFER_SIZE);
  NodeDescriptor descriptor;
  make_node_descriptor(&descriptor, "x", 0);
  EXPECT_EQ(STATUS_PACKAGE_FAILED, end_node(&output, descriptor));
  EXPECT_EQ(STATUS_PACKAGE_FAILED, begin_node(&output, 0));
  EXPECT_EQ(nullptr, payload_room(&output, &room));
  EXPECT_EQ(STATUS_PACKAGE_FAILED, commit_package_output(&output));
  EXPECT_EQ(STATUS_PACKAGE_FAILED, commit_package_output(&output)) << "closing again is harmless";
}
#endif

}  // namespace
