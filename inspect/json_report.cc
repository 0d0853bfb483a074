#include "json_report.h"

#include <nlohmann/json.hpp>

namespace {

using Json = nlohmann::ordered_json;

// Strings here are ASCII, so no replacement ever happens; asking for it removes the one path on
// which dumping could throw.
std::string dump(const Json& value) {
  return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

Json problem_json(const ImageProblem& problem, const NodeDescriptor* const descriptor) {
  const ProblemText text = describe_problem(problem, descriptor);
  return Json{{"rule", text.rule},   {"node", problem.node_index}, {"offset", problem.offset},
              {"field", text.field}, {"expected", text.expected},  {"found", text.found},
              {"text", text.text}};
}

// Each piece of a JSON list on a line of its own, indented under its key.
std::string list_item(const std::string& item, const bool first) {
  return (first ? "\n    " : ",\n    ") + item;
}

std::string list_end(const bool empty) {
  return empty ? "]" : "\n  ]";
}

}  // namespace

std::string json_document_start(const std::uint64_t image_size) {
  return "{\n  \"image_size\": " + std::to_string(image_size) + ",\n  \"nodes\": [";
}

std::string json_node(const NodeReport& report, const bool first) {
  const ImageNode& node = *report.node;
  const NodeDescriptor& d = node.descriptor;
  Json name_field = Json::array();
  for (const char byte : d.name) name_field.push_back(static_cast<unsigned char>(byte));
  Json problems = Json::array();
  for (const ImageProblem& problem : report.problems) problems.push_back(problem_json(problem, &d));
  const bool checked = node.checksum_result != CHECKSUM_UNCHECKED;
  Json object = {
      {"index", node.index},
      {"offset", node.offset},
      {"magic", d.magic},
      {"version", d.version},
      {"flags", d.flags},
      {"node_size", d.node_size},
      {"file_size", d.file_size},
      {"header_size", d.header_size},
      {"checksum", d.checksum},
      {"payload_size", d.payload_size},
      {"session_key", d.session_key},
      {"name", escaped_name(d)},
      {"name_field", name_field},
      {"upgrade", (d.flags & NODE_FLAG_UPGRADE) != 0},
      {"payload_sum", checked ? Json(node.payload_sum) : Json()},
      {"checksum_matches", checked ? Json(node.checksum_result == CHECKSUM_MATCHES) : Json()},
      {"problems", problems}};
  if (report.extracting) {
    object["extracted_as"] =
        report.extracted_as.empty()
            ? Json()
            : Json(escape_bytes(report.extracted_as.data(), report.extracted_as.size()));
  }
  return list_item(dump(object), first);
}

std::string json_nodes_end(const std::size_t node_count,
                           const std::vector<ImageProblem>& image_problems) {
  std::string text = list_end(node_count == 0) + ",\n  \"image_problems\": [";
  for (std::size_t i = 0; i < image_problems.size(); ++i) {
    text += list_item(dump(problem_json(image_problems[i], nullptr)), i == 0);
  }
  return text + list_end(image_problems.empty());
}

std::string json_against_start() {
  return ",\n  \"against\": {\n    \"inputs\": [";
}

std::string json_against_input(const CheckedInput& input, const bool first) {
  const Json object = {{"path", shown_path(input.path)},
                       {"node", input.matched ? Json(input.node_index) : Json()},
                       {"verdict", verdict_name(input.verdict)},
                       {"detail", input.verdict == VERDICT_MATCHES ? Json() : Json(input.detail)}};
  return (first ? "\n      " : ",\n      ") + dump(object);
}

std::string json_against_inputs_end(const bool empty) {
  return std::string(empty ? "]" : "\n    ]") + ",\n    \"unmatched_nodes\": [";
}

std::string json_unmatched_node(const std::size_t index, const bool first) {
  return (first ? "" : ", ") + std::to_string(index);
}

std::string json_against_end(const std::size_t difference_count) {
  return "],\n    \"difference_count\": " + std::to_string(difference_count) +
         ",\n    \"matches\": " + (difference_count == 0 ? "true" : "false") + "\n  }";
}

std::string json_document_end(const std::size_t node_count, const std::size_t problem_count) {
  return ",\n  \"node_count\": " + std::to_string(node_count) +
         ",\n  \"problem_count\": " + std::to_string(problem_count) +
         ",\n  \"valid\": " + (problem_count == 0 ? "true" : "false") + "\n}\n";
}
