// The listing as one JSON document, written piece by piece as the nodes are read, so that a
// hostile image of millions of tiny nodes costs no more memory than one node at a time:
//
// {
//   "image_size": 167,
//   "nodes": [
//     {"index": 0, ... one node per line ...},
//   ],
//   "image_problems": [ ... problems of no node: bytes after the last node ... ],
//   "against": {                        (with --against only)
//     "inputs": [
//       {"path": "app.bin", "node": 0, "verdict": "matches", "detail": null},
//     ],
//     "unmatched_nodes": [3, 4],
//     "difference_count": 2,
//     "matches": false
//   },
//   "node_count": 3,
//   "problem_count": 0,
//   "valid": true
// }
//
// Every string in it is ASCII (names are escaped as in the listing, and their raw bytes are given
// as numbers in "name_field"; paths are escaped as on standard error), so the document is valid
// JSON whatever the image and the inputs hold.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "against.h"
#include "report.h"

// The opening of the document, up to the first node.
std::string json_document_start(std::uint64_t image_size);

// One node object with every descriptor field, the checksum result and its problems; first
// tells whether it opens the list of nodes.
std::string json_node(const NodeReport& report, bool first);

// The end of the list of nodes, and the problems of no node.
std::string json_nodes_end(std::size_t node_count, const std::vector<ImageProblem>& image_problems);

// The opening of "against", up to its first input.
std::string json_against_start();

// One input object; first tells whether it opens the list.
std::string json_against_input(const CheckedInput& input, bool first);

// The end of the list of inputs and the opening of "unmatched_nodes".
std::string json_against_inputs_end(bool empty);

// One unmatched node's index; first tells whether it opens the list.
std::string json_unmatched_node(std::size_t index, bool first);

// The rest of "against" after the last unmatched node.
std::string json_against_end(std::size_t difference_count);

// The rest of the document.
std::string json_document_end(std::size_t node_count, std::size_t problem_count);
