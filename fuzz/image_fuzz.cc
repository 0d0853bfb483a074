// libFuzzer target: any bytes as a package image, through the streaming image reader and
// verifier, and through the inspector as the command runs it (the image read from a file in
// pieces), with its listing, its JSON document and a check against an input. Beyond what the
// sanitizers catch (a read outside what the reader was handed, a leak, undefined behaviour) and
// what libFuzzer catches (a hang, a crash, an allocation out of proportion), it requires what the
// tool promises of every input.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "extract.h"
#include "image_reader.h"
#include "inspector.h"

namespace {

void require(const bool condition, const char* const what) {
  if (condition) return;
  std::fprintf(stderr, "broken promise: %s\n", what);
  std::abort();
}

// Walks the image as the inspector does, handing each payload over in pieces of at most piece
// bytes, each a copy of exactly its bytes. Nodes run back to back from offset 0, each descriptor
// inside the image, each payload exactly the bytes between its descriptor and the next node, and
// there are never more nodes than descriptors fit.
std::size_t check_walk(const std::uint8_t* const data, const std::size_t size,
                       const std::size_t piece) {
  ImageWalk walk = start_image_walk(size);
  std::size_t count = 0;
  std::size_t position = 0;
  FileNames names;
  while (next_node_begins(&walk)) {
    require(walk.offset == position, "the next node begins where the last one ended");
    require(size - position >= NODE_DESCRIPTOR_SIZE, "the descriptor is inside the image");
    const std::vector<std::uint8_t> descriptor(data + position,
                                               data + position + NODE_DESCRIPTOR_SIZE);
    ImageNode node;
    read_node_descriptor(&walk, descriptor.data(), &node);
    position += NODE_DESCRIPTOR_SIZE;
    require(node.index == count++, "indexes count from 0");
    require(node.problem_count <= RULE_COUNT, "each rule at most once per node");
    require(node.is_whole || node.payload_length == 0, "only a whole node has a payload");
    require(node.payload_length <= size - position, "the payload is inside the image");
    for (std::size_t done = 0; done < node.payload_length;) {
      const std::size_t length = std::min<std::size_t>(piece, node.payload_length - done);
      const std::vector<std::uint8_t> bytes(data + position, data + position + length);
      add_node_payload(&node, bytes.data(), length);
      position += length;
      done += length;
    }
    finish_node(&node);
    require(node.is_whole == (node.checksum_result != CHECKSUM_UNCHECKED),
            "a checksum is checked exactly when the payload is all there");
    for (std::size_t i = 1; i < node.problem_count; ++i) {
      require(node.problems[i - 1].rule < node.problems[i].rule, "problems in rule order");
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
  require(!walk.has_trailing_problem || size - position < NODE_DESCRIPTOR_SIZE,
          "trailing bytes are too few for a descriptor");
  return count;
}

// Runs the inspector as the command would on a file holding the image, keeping what it writes.
// The file lives in memory (memfd), and is opened by its name as IMAGE is.
int run_inspector_on(const std::uint8_t* const data, const std::size_t size,
                     const InspectOptions& options, std::string* const output,
                     std::string* const errors) {
  const int memory = memfd_create("image", MFD_CLOEXEC);
  require(memory >= 0 && write(memory, data, size) == static_cast<ssize_t>(size),
          "the image file is made");
  InputFile image;
  require(open_input("/proc/self/fd/" + std::to_string(memory), &image) == PLATFORM_OK,
          "the image file opens");
  char* out_text = nullptr;
  char* error_text = nullptr;
  std::size_t out_size = 0;
  std::size_t error_size = 0;
  std::FILE* const out = open_memstream(&out_text, &out_size);
  std::FILE* const err = open_memstream(&error_text, &error_size);
  require(out != nullptr && err != nullptr, "memory streams open");
  const int status = inspect_image(image, options, out, err);
  close_input(image);
  close(memory);
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
  // Pieces from one byte to whole payloads, chosen by the input so that every size gets tried.
  const std::size_t count = check_walk(data, size, SIZE_MAX);
  require(check_walk(data, size, size == 0 ? 1 : 1 + data[size - 1] % 61) == count,
          "pieces of any size give the same walk");

  std::string listing;
  std::string errors;
  const int status =
      run_inspector_on(data, size, {false, false, "", "", false, {}}, &listing, &errors);
  require(status == INSPECT_OK || status == INSPECT_PROBLEMS, "only 0 or 1 without extraction");
  require((status == INSPECT_OK) == errors.empty(), "problems are named exactly when found");
  require(is_terminal_safe(listing) && is_terminal_safe(errors), "no byte disturbs a terminal");

  // Against an input that does not exist, every node is one that no input accounts for.
  std::string document;
  const int checked = run_inspector_on(
      data, size, {true, false, "", "", true, {"/nonexistent/corvane-fuzz"}}, &document, &errors);
  require(checked == INSPECT_PROBLEMS, "an input that cannot be packed is a difference");
  require(is_terminal_safe(errors), "no byte of a difference disturbs a terminal");
  const nlohmann::json parsed = nlohmann::json::parse(document, nullptr, false);
  require(!parsed.is_discarded(), "the JSON document is valid JSON");
  require(parsed["node_count"] == count && parsed["nodes"].size() == count, "every node listed");
  require(parsed["valid"] == (status == INSPECT_OK), "JSON and exit status agree");
  require(parsed["against"]["unmatched_nodes"].size() == count, "every node is unmatched");
  require(parsed["against"]["difference_count"] == count + 1, "every difference counted");
  return 0;
}
