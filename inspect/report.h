// What the inspector reports about one node, shared by the listing and the JSON document.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "image_reader.h"

// The name every message of corvane-inspect begins with.
constexpr char PROGRAM[] = "corvane-inspect";

// Problems the inspector adds to those of the image, with --extract: a name that is not a plain
// file name, or that this platform cannot hold (found is its length); a node whose file would be
// the image itself.
constexpr int RULE_UNSAFE_NAME = RULE_COUNT;
constexpr int RULE_IMAGE_ITSELF = RULE_COUNT + 1;

struct NodeReport {
  const ImageNode* node;
  std::vector<ImageProblem> problems;  // the node's own, then the inspector's
  bool extracting;                     // --extract was given
  std::string extracted_as;            // the file name written in the directory, or empty
};

// Returns bytes with every byte that could disturb a terminal written as \xHH (control bytes and
// bytes over 0x7E) and the backslash as \\, so the text is plain ASCII and can be read back.
std::string escape_bytes(const char* bytes, std::size_t length);

// Returns a path with every byte that could disturb a terminal written as \xHH; a backslash
// stays as it is, being the separator of the tool's home platform.
std::string shown_path(const std::string& path);

// value as "0x%08x".
std::string hex32(std::uint64_t value);

// The node's name, escaped.
std::string escaped_name(const NodeDescriptor& descriptor);

// A problem in words.
struct ProblemText {
  const char* rule;      // a short identifier, "checksum", "node_size", ...
  std::string field;     // what was checked
  std::string expected;  // what the rule asks for
  std::string found;     // what the image holds
  std::string text;      // "node I at offset O: FIELD: expected E, found F" and any consequence
};

// Describes problem; descriptor is the node's, or nullptr for the bytes after the last node.
ProblemText describe_problem(const ImageProblem& problem, const NodeDescriptor* descriptor);

// "node I at offset O": where a message about one node points.
std::string node_place(std::size_t index, std::uint64_t offset);
