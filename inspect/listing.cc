#include "listing.h"

#include <vector>

namespace {

struct Column {
  std::string text;
  std::size_t width;
  bool right;  // numbers are right-aligned
};

// Columns two spaces apart, each padded to its width; a text longer than its column pushes the
// rest along rather than being cut. Empty columns at the end are left out, and so is the padding
// of the last one, so no line ends in spaces.
std::string join_columns(const std::vector<Column>& columns) {
  std::size_t count = columns.size();
  while (count > 0 && columns[count - 1].text.empty()) --count;
  std::string line;
  for (std::size_t i = 0; i < count; ++i) {
    const Column& column = columns[i];
    const std::size_t padding =
        column.text.size() < column.width ? column.width - column.text.size() : 0;
    if (i > 0) line += "  ";
    if (column.right) line.append(padding, ' ');
    line += column.text;
    if (!column.right && i + 1 < count) line.append(padding, ' ');
  }
  return line + "\n";
}

const char* checksum_word(const int result) {
  switch (result) {
    case CHECKSUM_MATCHES:
      return "ok";
    case CHECKSUM_DIFFERS:
      return "BAD";
    default:
      return "-";
  }
}

std::string counted(const std::uint64_t count, const char* const thing) {
  return std::to_string(count) + " " + thing + (count == 1 ? "" : "s");
}

}  // namespace

std::string listing_header(const bool extracting) {
  return join_columns({{"index", 5, true},
                       {"offset", 10, true},
                       {"name", 15, false},
                       {"flag", 7, false},
                       {"size", 10, true},
                       {"checksum", 10, false},
                       {"check", 5, false},
                       {"key", 10, false},
                       {extracting ? "extracted as" : "", 0, false}});
}

std::string listing_line(const NodeReport& report) {
  const ImageNode& node = *report.node;
  const NodeDescriptor& descriptor = node.descriptor;
  std::string extraction;
  if (report.extracting) {
    extraction = report.extracted_as.empty()
                     ? "(not extracted)"
                     : escape_bytes(report.extracted_as.data(), report.extracted_as.size());
  }
  return join_columns(
      {{std::to_string(node.index), 5, true},
       {std::to_string(node.offset), 10, true},
       {escaped_name(descriptor), 15, false},
       {(descriptor.flags & NODE_FLAG_UPGRADE) != 0 ? "upgrade" : "", 7, false},
       {std::to_string(descriptor.payload_size), 10, true},
       {hex32(descriptor.checksum), 10, false},
       {checksum_word(node.checksum_result), 5, false},
       {descriptor.session_key != 0 ? hex32(descriptor.session_key) : "", 10, false},
       {extraction, 0, false}});
}

std::string summary_line(const std::size_t node_count, const std::uint64_t image_size,
                         const std::size_t problem_count) {
  return counted(node_count, "node") + ", " + counted(image_size, "byte") + ", " +
         (problem_count == 0 ? "valid" : counted(problem_count, "problem")) + "\n";
}
