#include "report.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(EscapeBytes, LeavesOnlyPrintableAsciiAndCanBeReadBack) {
  struct Case {
    std::string bytes;
    std::string text;
  };
  const Case cases[] = {
      {"a.txt", "a.txt"},
      {"with space", "with space"},
      {"quote\"s", "quote\"s"},
      {"back\\slash", "back\\\\slash"},
      {std::string("\x1b[31m\n\t\x7f", 8), "\\x1b[31m\\x0a\\x09\\x7f"},
      {"caf\xc3\xa9\xff", "caf\\xc3\\xa9\\xff"},
      {std::string("\0", 1), "\\x00"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(c.text, escape_bytes(c.bytes.data(), c.bytes.size()));
}

// A path keeps its separators on every platform; only what could disturb a terminal is escaped.
TEST(ShownPath, EscapesWhatCouldDisturbATerminalButNotTheSeparators) {
  EXPECT_EQ("assets\\logo.raw", shown_path("assets\\logo.raw"));
  EXPECT_EQ("d/a.txt", shown_path("d/a.txt"));
  EXPECT_EQ("\\x1b[2J\\x0a\\xe9\\x7f", shown_path("\x1b[2J\n\xe9\x7f"));
}

TEST(EscapedName, StopsAtTheNulOrTheEndOfTheField) {
  NodeDescriptor descriptor{};
  std::memcpy(descriptor.name,
              "a\x01"
              "b\0junk",
              9);
  EXPECT_EQ("a\\x01b", escaped_name(descriptor));
  std::memset(descriptor.name, 'n', NODE_NAME_SIZE);
  EXPECT_EQ(std::string(16, 'n'), escaped_name(descriptor));
}

// Every rule in words, as the user reads it on standard error.
TEST(DescribeProblem, NamesTheNodeTheFieldAndWhatWasExpectedAndFound) {
  NodeDescriptor descriptor{};
  std::memcpy(descriptor.name, "../x", 5);
  struct Case {
    ImageProblem problem;
    const char* rule;
    std::string text;
  };
  const Case cases[] = {
      {{RULE_MAGIC, 0, 0, NODE_MAGIC, 0},
       "magic",
       "node 0 at offset 0: magic: expected 0x6e6f6465, found 0x00000000"},
      {{RULE_VERSION, 1, 55, 52, 53},
       "version",
       "node 1 at offset 55: version: expected 52, found 53"},
      {{RULE_FLAGS, 1, 55, 4, 5},
       "flags",
       "node 1 at offset 55: flags: expected 0x00000000 or 0x00000004, found 0x00000005"},
      {{RULE_NODE_TOO_SHORT, 2, 110, 52, 10},
       "node_too_short",
       "node 2 at offset 110: node_size: expected at least 52, found 10; no node after it can "
       "be found"},
      {{RULE_NODE_PAST_END, 2, 110, 57, 4294967295},
       "node_past_end",
       "node 2 at offset 110: node_size: expected at most 57 (the bytes left in the image), "
       "found 4294967295; no node after it can be found"},
      {{RULE_NODE_SIZE, 0, 0, 4294967347, 55},
       "node_size",
       "node 0 at offset 0: node_size: expected 4294967347 (file_size + 52), found 55"},
      {{RULE_HEADER_SIZE, 0, 0, 52, 0},
       "header_size",
       "node 0 at offset 0: header_size: expected 52, found 0"},
      {{RULE_CHECKSUM, 1, 55, 294, 295},
       "checksum",
       "node 1 at offset 55: checksum: expected 0x00000126, found 0x00000127 (the sum of the "
       "stored payload)"},
      {{RULE_PAYLOAD_SIZE, 0, 0, 3, 2},
       "payload_size",
       "node 0 at offset 0: payload_size: expected 3 (file_size), found 2"},
      {{RULE_SESSION_KEY, 0, 0, 0, 0x294823},
       "session_key",
       "node 0 at offset 0: session_key: expected 0x00000000 without the upgrade flag, found "
       "0x00294823"},
      {{RULE_NAME_UNTERMINATED, 0, 0, 0, 16},
       "name_unterminated",
       "node 0 at offset 0: name: expected a NUL within its 16 bytes, found none"},
      {{RULE_NAME_EMPTY, 0, 0, 0, 0},
       "name_empty",
       "node 0 at offset 0: name: expected at least one character, found an empty name"},
      {{RULE_UPGRADE_NAME, 0, 0, 0, 4},
       "upgrade_name",
       "node 0 at offset 0: name: expected \"upgrade\" for the upgrade node, found \"../x\""},
      {{RULE_FIRMWARE_TOO_BIG, 0, 0, 126976, 126977},
       "firmware_too_big",
       "node 0 at offset 0: payload_size: expected at most 126976 for the upgrade node, found "
       "126977"},
      {{RULE_TRAILING_BYTES, 3, 167, 0, 1},
       "trailing_bytes",
       "node 3 at offset 167: descriptor: expected 52 bytes, found 1 byte at the end of the "
       "image"},
      {{RULE_TRAILING_BYTES, 3, 167, 0, 51},
       "trailing_bytes",
       "node 3 at offset 167: descriptor: expected 52 bytes, found 51 bytes at the end of the "
       "image"},
      {{RULE_UNSAFE_NAME, 4, 300, 0, 4},
       "unsafe_name",
       "node 4 at offset 300: name: expected a plain file name, found \"../x\"; not extracted"},
      {{RULE_IMAGE_ITSELF, 5, 4294967296, 0, 4},
       "image_itself",
       "node 5 at offset 4294967296: name: expected a file other than the image, found \"../x\", "
       "the image itself; not extracted"},
  };
  for (const Case& c : cases) {
    const ProblemText text = describe_problem(c.problem, &descriptor);
    EXPECT_STREQ(c.rule, text.rule);
    EXPECT_EQ(c.text, text.text);
  }
}

}  // namespace
