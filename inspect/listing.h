// The plain listing: a header, one aligned line per node, and a summary line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "report.h"

// The column titles; with extracting, the column that says what each node was written as.
std::string listing_header(bool extracting);

// One line for a node: index, offset, name, "upgrade" when flagged, payload_size, the stored
// checksum, whether it matches ("ok", "BAD", or "-" when the payload is not all there), the
// session key when it is not 0, and with --extract the file written or "(not extracted)".
std::string listing_line(const NodeReport& report);

// "N nodes, S bytes, valid" or "N nodes, S bytes, P problems".
std::string summary_line(std::size_t node_count, std::uint64_t image_size,
                         std::size_t problem_count);
