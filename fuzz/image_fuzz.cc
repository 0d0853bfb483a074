// libFuzzer target: any bytes as a package image, through the image reader and verifier and the
// inspector's listing and JSON document. Beyond what the sanitizers catch (a read outside the
// image, a leak, undefined behaviour) and what libFuzzer catches (a hang, a crash, an allocation
// out of proportion), it requires what the tool promises of every input.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "extract.h"
#include "image_reader.h"
#include "inspector.h"

namespace {

void require(const bool condition, const char* const what) {
  if (condition) return;
  std::fprintf(stderr, "broken promise: %s\n", what);
  std::abort();
}

// Nodes back to back from offset 0, each descriptor inside the image, each payload exactly the
// bytes between its descriptor and the next node, and never more nodes than descriptors fit.
std::size_t check_walk(const std::uint8_t* const data, const std::size_t size) {
  ImageWalk walk = start_image_walk(data, size);
  ImageNode node;
  std::size_t count = 0;
  std::size_t next_offset = 0;
  FileNames names;
  while (read_next_node(&walk, &node)) {
    require(node.index == count++, "indexes count from 0");
    require(node.offset == next_offset, "nodes run back to back");
    require(size - node.offset >= NODE_DESCRIPTOR_SIZE, "the descriptor is inside the image");
    require(node.problem_count <= RULE_COUNT, "each rule at most once per node");
    require((node.payload != nullptr) == (node.checksum_result != CHECKSUM_UNCHECKED),
            "a checksum is checked exactly when the payload is all there");
    if (node.payload != nullptr) {
      require(node.payload == data + node.offset + NODE_DESCRIPTOR_SIZE,
              "payload after descriptor");
      require(node.payload_length <= size - node.offset - NODE_DESCRIPTOR_SIZE,
              "the payload is inside the image");
      next_offset = node.offset + NODE_DESCRIPTOR_SIZE + node.payload_length;
    }
    const std::string name(node.descriptor.name, node_name_length(node.descriptor));
    if (node.problem_count == 0 && is_plain_file_name(name)) {
      const std::filesystem::path directory = "out";
      const std::string file = take_file_name(name, &names);
      require(is_plain_file_name(file), "an extracted file name is a plain name");
      require((directory / file).parent_path() == directory, "an extracted file stays in DIR");
    }
  }
  require(count <= size / NODE_DESCRIPTOR_SIZE, "no more nodes than descriptors fit");
  require(!walk.has_trailing_problem || size - next_offset < NODE_DESCRIPTOR_SIZE,
          "trailing bytes are too few for a descriptor");
  return count;
}

// Runs the inspector as the command would, keeping what it writes.
int run_inspector_on(const std::uint8_t* const data, const std::size_t size, const bool json,
                     std::string* const output, std::string* const errors) {
  char* out_text = nullptr;
  char* error_text = nullptr;
  std::size_t out_size = 0;
  std::size_t error_size = 0;
  std::FILE* const out = open_memstream(&out_text, &out_size);
  std::FILE* const err = open_memstream(&error_text, &error_size);
  require(out != nullptr && err != nullptr, "memory streams open");
  const int status = inspect_image(data, size, InspectOptions{json, false, "", ""}, out, err);
  std::fclose(out);
  std::fclose(err);
  output->assign(out_text, out_size);
  errors->assign(error_text, error_size);
  std::free(out_text);
  std::free(error_text);
  return status;
}

bool is_terminal_safe(const std::string& text) {
  for (const char c : text) {
    if (c != '\n' && (c < 0x20 || c > 0x7E)) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* const data, const std::size_t size) {
  const std::size_t count = check_walk(data, size);

  std::string listing;
  std::string errors;
  const int status = run_inspector_on(data, size, false, &listing, &errors);
  require(status == INSPECT_VALID || status == INSPECT_PROBLEMS, "only 0 or 1 without extraction");
  require((status == INSPECT_VALID) == errors.empty(), "problems are named exactly when found");
  require(is_terminal_safe(listing) && is_terminal_safe(errors), "no byte disturbs a terminal");

  std::string document;
  run_inspector_on(data, size, true, &document, &errors);
  const nlohmann::json parsed = nlohmann::json::parse(document, nullptr, false);
  require(!parsed.is_discarded(), "the JSON document is valid JSON");
  require(parsed["node_count"] == count && parsed["nodes"].size() == count, "every node listed");
  require(parsed["valid"] == (status == INSPECT_VALID), "JSON and exit status agree");
  return 0;
}
