// The listing as one JSON document, written piece by piece as the nodes are read, so that a
// hostile image of millions of tiny nodes costs no more memory than one node at a time:
//
// {
//   "image_size": 167,
//   "nodes": [
//     {"index": 0, ... one node per line ...},
//   ],
//   "image_problems": [ ... problems of no node: bytes after the last node ... ],
//   "node_count": 3,
//   "problem_count": 0,
//   "valid": true
// }
//
// Every string in it is ASCII (names are escaped as in the listing, and their raw bytes are given
// as numbers in "name_field"), so the document is valid JSON whatever the image holds.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "report.h"

// The opening of the document, up to the first node.
std::string json_document_start(std::size_t image_size);

// One node object with every descriptor field, the checksum result and its problems; first
// tells whether it opens the list of nodes.
std::string json_node(const NodeReport& report, bool first);

// The rest of the document after the last node.
std::string json_document_end(const std::vector<ImageProblem>& image_problems,
                              std::size_t node_count, std::size_t problem_count);
