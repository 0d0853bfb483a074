// Checks an image against what corvane would write for a list of inputs, run now from the
// current directory: the same nodes, in the same order, with the same names, flags and payloads.
// Which inputs corvane packs, under which names, and which it refuses and why, comes from the
// packer's own plan; nothing here repeats its rules.
//
// Nodes are matched as the image is read: each node to the first input not yet matched that
// corvane packs under the node's name with the node's flags (failing that, under the node's name
// alone, whose flags then differ), and its payload, the firmware decrypted with its own node's
// key, is compared with the input file piece by piece. Memory grows with the number of inputs,
// never with the image: an unmatched node is kept only as part of a run of unmatched nodes, and
// runs are separated by matched ones.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "image_reader.h"
#include "platform.h"

// What became of one input.
enum InputVerdict {
  VERDICT_MATCHES,          // a node holds it as corvane would write it
  VERDICT_REFUSED,          // corvane would not pack it: a difference
  VERDICT_OUTPUT_FILE,      // it is ./package.img, which corvane never packs: no difference
  VERDICT_MISSING,          // no node holds it
  VERDICT_FLAGS_DIFFER,     // its node's flags are not what corvane writes
  VERDICT_PAYLOAD_DIFFERS,  // its node's payload is not the input's bytes
  VERDICT_OUT_OF_ORDER,     // its node comes after the node of an input corvane packs later
  VERDICT_UNREADABLE,       // it could not be read to compare it: a failure, not a difference
};

// One input of the check, as the plan gives it and as the image was found to hold it.
struct CheckedInput {
  std::string path;          // as corvane would show it: an argument, or a walk's joined path
  NativeString native_path;  // the same as the system's file calls take it
  std::string node_name;     // the name corvane gives its node; empty when refused
  std::uint32_t flags;       // the flags corvane gives its node
  int verdict;               // an InputVerdict
  std::string detail;        // why, for any verdict but VERDICT_MATCHES: the text on stderr
  bool matched;              // a node was matched to it
  std::size_t node_index;    // that node's index
};

// Nodes first to last, all unmatched.
struct NodeRun {
  std::size_t first;
  std::size_t last;
};

// Inputs of one node name not matched yet, in plan order, by role: [0] plain, [1] firmware.
struct UnmatchedInputs {
  std::vector<std::size_t> inputs[2];
  std::size_t next[2];  // the first of inputs[role] still unmatched
};

struct Against {
  std::vector<CheckedInput> inputs;                // in the order corvane meets them
  std::map<std::string, UnmatchedInputs> by_name;  // inputs not matched yet
  std::vector<NodeRun> unmatched_nodes;
  bool has_last_match;
  std::size_t last_match;       // the input matched by the last matched node
  std::size_t last_match_node;  // that node
  std::size_t difference_count;
  // The node being read.
  bool matched;                      // it was matched to an input
  std::size_t current;               // that input
  bool comparing;                    // its payload is being compared with the input's
  bool unreadable;                   // the input could not be opened or read to the end
  InputFile input;                   // open while comparing
  std::int64_t input_size;           // bytes of the input when it was opened, or -1
  std::uint64_t compared;            // bytes compared so far
  bool differs;                      // a byte differed
  std::uint64_t first_difference;    // where
  std::uint8_t node_byte;            // the node's byte there, decrypted
  std::uint8_t input_byte;           // the input's
  std::vector<std::uint8_t> buffer;  // a piece of the input
};

// Asks the packer's plan what corvane would do with arguments, with ./package.img as the output
// file, as in a run from the current directory.
void plan_against(const std::vector<std::string>& arguments, Against* against);

// Matches the node whose descriptor was just read to an input, and starts comparing payloads.
// Differences found already go to differences, one text each, without the program's name.
void begin_node_check(Against* against, const ImageNode& node,
                      std::vector<std::string>* differences);

// Compares the next length bytes of the node's payload, decrypted, with the input's.
void compare_node_piece(Against* against, const std::uint8_t* bytes, std::size_t length);

// Completes the node's check once its payload was read (or could not be): adds the payload's
// difference, when there is one, to differences. Returns INSPECT_OK, or INSPECT_FAILED with a
// message on errors when the input could not be read.
int end_node_check(Against* against, const ImageNode& node, std::vector<std::string>* differences,
                   std::FILE* errors);

// After the last node: every input that no node holds, and every input corvane refuses, in
// input order, go to differences.
void end_against(Against* against, std::vector<std::string>* differences);

// An input's verdict as the JSON document names it.
const char* verdict_name(int verdict);
