#include "report.h"

#include <cinttypes>
#include <cstdio>

namespace {

std::string quoted_name(const NodeDescriptor* const descriptor) {
  return "\"" + escaped_name(*descriptor) + "\"";
}

// Shows the printable ASCII bytes as they are, the others as \xHH, and a backslash doubled
// when doubled_backslash.
std::string escaped(const char* const bytes, const std::size_t length,
                    const bool doubled_backslash) {
  std::string text;
  text.reserve(length);
  for (std::size_t i = 0; i < length; ++i) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    if (byte == '\\' && doubled_backslash) {
      text += "\\\\";
    } else if (byte >= 0x20 && byte <= 0x7E) {
      text += static_cast<char>(byte);
    } else {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02x", byte);
      text += escape;
    }
  }
  return text;
}

}  // namespace

std::string hex32(const std::uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%08" PRIx64, value);
  return text;
}

std::string escape_bytes(const char* const bytes, const std::size_t length) {
  return escaped(bytes, length, true);
}

std::string shown_path(const std::string& path) {
  return escaped(path.data(), path.size(), false);
}

std::string escaped_name(const NodeDescriptor& descriptor) {
  return escape_bytes(descriptor.name, node_name_length(descriptor));
}

ProblemText describe_problem(const ImageProblem& problem, const NodeDescriptor* const descriptor) {
  const std::string expected = std::to_string(problem.expected);
  const std::string found = std::to_string(problem.found);
  const char* consequence = "";
  ProblemText t;
  switch (problem.rule) {
    case RULE_MAGIC:
      t = {"magic", "magic", hex32(problem.expected), hex32(problem.found), ""};
      break;
    case RULE_VERSION:
      t = {"version", "version", expected, found, ""};
      break;
    case RULE_FLAGS:
      t = {"flags", "flags", hex32(0) + " or " + hex32(NODE_FLAG_UPGRADE), hex32(problem.found),
           ""};
      break;
    case RULE_NODE_TOO_SHORT:
      t = {"node_too_short", "node_size", "at least " + expected, found, ""};
      consequence = "; no node after it can be found";
      break;
    case RULE_NODE_PAST_END:
      t = {"node_past_end", "node_size", "at most " + expected + " (the bytes left in the image)",
           found, ""};
      consequence = "; no node after it can be found";
      break;
    case RULE_NODE_SIZE:
      t = {"node_size", "node_size", expected + " (file_size + 52)", found, ""};
      break;
    case RULE_HEADER_SIZE:
      t = {"header_size", "header_size", expected, found, ""};
      break;
    case RULE_CHECKSUM:
      t = {"checksum", "checksum", hex32(problem.expected), hex32(problem.found), ""};
      consequence = " (the sum of the stored payload)";
      break;
    case RULE_PAYLOAD_SIZE:
      t = {"payload_size", "payload_size", expected + " (file_size)", found, ""};
      break;
    case RULE_SESSION_KEY:
      t = {"session_key", "session_key", hex32(0) + " without the upgrade flag",
           hex32(problem.found), ""};
      break;
    case RULE_NAME_UNTERMINATED:
      t = {"name_unterminated", "name", "a NUL within its 16 bytes", "none", ""};
      break;
    case RULE_NAME_EMPTY:
      t = {"name_empty", "name", "at least one character", "an empty name", ""};
      break;
    case RULE_UPGRADE_NAME:
      t = {"upgrade_name", "name",
           std::string("\"") + FIRMWARE_NODE_NAME + "\" for the upgrade node",
           quoted_name(descriptor), ""};
      break;
    case RULE_FIRMWARE_TOO_BIG:
      t = {"firmware_too_big", "payload_size", "at most " + expected + " for the upgrade node",
           found, ""};
      break;
    case RULE_TRAILING_BYTES:
      t = {"trailing_bytes", "descriptor", std::to_string(NODE_DESCRIPTOR_SIZE) + " bytes",
           found + (problem.found == 1 ? " byte" : " bytes") + " at the end of the image", ""};
      break;
    case RULE_UNSAFE_NAME:
      t = {"unsafe_name", "name", "a plain file name", quoted_name(descriptor), ""};
      consequence = "; not extracted";
      break;
    case RULE_IMAGE_ITSELF:
      t = {"image_itself", "name", "a file other than the image",
           quoted_name(descriptor) + ", the image itself", ""};
      consequence = "; not extracted";
      break;
    default:
      t = {"unknown", "rule " + std::to_string(problem.rule), expected, found, ""};
      break;
  }
  t.text = node_place(problem.node_index, problem.offset) + ": " + t.field + ": expected " +
           t.expected + ", found " + t.found + consequence;
  return t;
}

std::string node_place(const std::size_t index, const std::uint64_t offset) {
  return "node " + std::to_string(index) + " at offset " + std::to_string(offset);
}
