#include "inspector.h"

#include <algorithm>
#include <cinttypes>
#include <cstdint>
#include <string>
#include <vector>

#include "against.h"
#include "extract.h"
#include "image_stream.h"
#include "json_report.h"
#include "listing.h"
#include "output.h"
#include "payload.h"
#include "report.h"
#include "version.h"

namespace {

constexpr char USAGE[] =
    "usage: corvane-inspect [--json] [--extract DIR] IMAGE [--against FILE_OR_DIR ...]\n"
    "       corvane-inspect --help | --version\n";
constexpr char HELP[] =
    "\n"
    "Lists the nodes of the corvane package image IMAGE and verifies every one of them.\n"
    "  --json         print the listing as one JSON document\n"
    "  --extract DIR  write each node that passes verification to a file in DIR named\n"
    "                 after the node, the firmware decrypted; DIR is created if missing\n"
    "  --against FILE_OR_DIR ...\n"
    "                 check that IMAGE holds exactly what corvane FILE_OR_DIR ... run\n"
    "                 now from this directory would write; every argument after\n"
    "                 --against is an input, as corvane takes it\n"
    "  --help         print this help\n"
    "  --version      print the version\n"
    "\n"
    "Exit status: 0 the image is valid (and every node was extracted, and it holds exactly\n"
    "the inputs), 1 it has problems or differs from the inputs (each named on standard\n"
    "error), 2 a usage error, an image or input that cannot be read, or a file that cannot\n"
    "be written.\n";

// Everything one run owns, passed down to every step.
struct InspectRun {
  const InspectOptions* options;
  std::FILE* out;
  std::FILE* errors;
  ImageStream image;
  Extraction extraction;            // with --extract
  Against against;                  // with --against
  std::vector<std::uint8_t> plain;  // a piece of payload, decrypted
  std::size_t node_count;
  std::size_t problem_count;
  bool failed;  // something could not be read or written: the run ends in INSPECT_FAILED
};

// Reads the node's payload piece by piece: sums each piece, and hands it decrypted with the
// node's own key to the extraction and the check. Returns INSPECT_OK, or INSPECT_FAILED when
// the image cannot be read.
int read_payload(InspectRun* const run, ImageNode* const node) {
  const std::uint32_t key = node->descriptor.session_key;
  std::uint64_t offset = 0;
  while (offset < node->payload_length) {
    const std::uint8_t* piece = nullptr;
    std::size_t length = 0;
    if (next_image_piece(&run->image, static_cast<std::size_t>(node->payload_length - offset),
                         &piece, &length) != INSPECT_OK) {
      return INSPECT_FAILED;
    }
    add_node_payload(node, piece, length);
    if (run->extraction.writing || run->against.comparing) {
      const std::uint8_t* plain = piece;
      if (key != 0) {
        std::copy(piece, piece + length, run->plain.begin());
        crypt_payload(run->plain.data(), length, session_key_at(key, offset));
        plain = run->plain.data();
      }
      if (run->options->extract) write_node_file(&run->extraction, plain, length);
      if (run->options->against) compare_node_piece(&run->against, plain, length);
    }
    offset += length;
  }
  return INSPECT_OK;
}

void print_problems(const std::vector<ImageProblem>& problems,
                    const NodeDescriptor* const descriptor, std::FILE* const out,
                    std::FILE* const errors) {
  if (problems.empty()) return;
  std::fflush(out);  // a terminal shows them in order
  for (const ImageProblem& problem : problems) {
    std::fprintf(errors, "%s: %s\n", PROGRAM, describe_problem(problem, descriptor).text.c_str());
  }
}

void print_differences(const std::vector<std::string>& differences, std::FILE* const out,
                       std::FILE* const errors) {
  if (differences.empty()) return;
  std::fflush(out);
  for (const std::string& difference : differences) {
    std::fprintf(errors, "%s: %s\n", PROGRAM, difference.c_str());
  }
}

// Reads, checks, extracts and lists the node at the walk's offset. Returns INSPECT_OK, or
// INSPECT_FAILED when the image cannot be read (the node is listed as far as it was read).
int inspect_node(InspectRun* const run, ImageWalk* const walk) {
  const InspectOptions& options = *run->options;
  std::uint8_t descriptor[NODE_DESCRIPTOR_SIZE];
  if (read_image_bytes(&run->image, descriptor, NODE_DESCRIPTOR_SIZE) != INSPECT_OK) {
    return INSPECT_FAILED;
  }
  ImageNode node;
  read_node_descriptor(walk, descriptor, &node);
  std::vector<std::string> differences;
  if (options.extract) begin_node_file(&run->extraction, node);
  if (options.against) begin_node_check(&run->against, node, &differences);
  const int read = node.is_whole ? read_payload(run, &node) : INSPECT_OK;
  finish_node(&node);
  NodeReport report{
      &node, {node.problems, node.problems + node.problem_count}, options.extract, ""};
  if (options.extract &&
      end_node_file(&run->extraction, node, &report, run->errors) != INSPECT_OK) {
    run->failed = true;
  }
  if (options.against &&
      end_node_check(&run->against, node, &differences, run->errors) != INSPECT_OK) {
    run->failed = true;
  }
  std::fputs(
      (options.json ? json_node(report, run->node_count == 0) : listing_line(report)).c_str(),
      run->out);
  print_problems(report.problems, &node.descriptor, run->out, run->errors);
  print_differences(differences, run->out, run->errors);
  run->problem_count += report.problems.size();
  ++run->node_count;
  return read;
}

// Ends the check against the inputs: what no node holds, and the "against" member.
void finish_against(InspectRun* const run) {
  std::vector<std::string> differences;
  end_against(&run->against, &differences);
  print_differences(differences, run->out, run->errors);
  if (!run->options->json) return;
  const Against& against = run->against;
  std::fputs(json_against_start().c_str(), run->out);
  for (std::size_t i = 0; i < against.inputs.size(); ++i) {
    std::fputs(json_against_input(against.inputs[i], i == 0).c_str(), run->out);
  }
  std::fputs(json_against_inputs_end(against.inputs.empty()).c_str(), run->out);
  bool first = true;
  for (const NodeRun& nodes : against.unmatched_nodes) {
    for (std::size_t index = nodes.first; index <= nodes.last; ++index) {
      std::fputs(json_unmatched_node(index, first).c_str(), run->out);
      first = false;
    }
  }
  std::fputs(json_against_end(against.difference_count).c_str(), run->out);
}

// A listing that did not reach its reader is a failure too.
int finish(const int status, std::FILE* const out, std::FILE* const errors) {
  if (std::fflush(out) != 0 || std::ferror(out) != 0) {
    std::fprintf(errors, "%s: cannot write standard output\n", PROGRAM);
    return INSPECT_FAILED;
  }
  return status;
}

}  // namespace

int inspect_image(const InputFile& image, const InspectOptions& options, std::FILE* const out,
                  std::FILE* const errors) {
  InspectRun run{};
  run.options = &options;
  run.out = out;
  run.errors = errors;
  start_image_stream(image, &run.image);
  // Payloads are decrypted only to be written or compared, a piece of the stream at a time.
  if (options.extract || options.against) run.plain.resize(run.image.buffer.size());
  if (options.against) plan_against(options.inputs, &run.against);
  if (options.extract &&
      open_extraction(options.directory, image.identity, &run.extraction, errors) != INSPECT_OK) {
    return INSPECT_FAILED;
  }
  std::fputs((options.json ? json_document_start(run.image.size) : listing_header(options.extract))
                 .c_str(),
             out);
  ImageWalk walk = start_image_walk(run.image.size);
  bool readable = true;
  while (readable && next_node_begins(&walk)) readable = inspect_node(&run, &walk) == INSPECT_OK;
  // Read to its measured end, the image must end there: one that grew was not read whole.
  if (readable && run.image.position == run.image.size) readable = image_ends_here(&run.image);
  if (!readable) {
    std::fflush(out);
    std::fprintf(errors, "%s: cannot read %s\n", PROGRAM, shown_path(options.image).c_str());
    run.failed = true;
  }
  std::vector<ImageProblem> image_problems;
  if (walk.has_trailing_problem) image_problems.push_back(walk.trailing_problem);
  print_problems(image_problems, nullptr, out, errors);
  run.problem_count += image_problems.size();
  if (options.json) std::fputs(json_nodes_end(run.node_count, image_problems).c_str(), out);
  if (options.against) finish_against(&run);
  std::fputs((options.json ? json_document_end(run.node_count, run.problem_count)
                           : summary_line(run.node_count, run.image.size, run.problem_count))
                 .c_str(),
             out);
  if (options.extract) close_extraction(&run.extraction);
  const bool differs = run.problem_count > 0 || run.against.difference_count > 0;
  const int status = run.failed ? INSPECT_FAILED : differs ? INSPECT_PROBLEMS : INSPECT_OK;
  return finish(status, out, errors);
}

int run_inspector(const int argument_count, const char* const* const arguments) {
  prepare_process();
  InspectOptions options;
  std::string error;
  switch (parse_options(argument_count, arguments, &options, &error)) {
    case OPTIONS_HELP:
      std::fputs(USAGE, stdout);
      std::fputs(HELP, stdout);
      return finish(INSPECT_OK, stdout, stderr);
    case OPTIONS_VERSION:
      std::printf("%s %s\n", PROGRAM, CORVANE_VERSION);
      return finish(INSPECT_OK, stdout, stderr);
    case OPTIONS_INSPECT:
      break;
    default:
      std::fprintf(stderr, "%s: %s\n%s", PROGRAM, error.c_str(), USAGE);
      return INSPECT_FAILED;
  }
  // Only a regular file is opened, so that a FIFO or a device cannot block or feed the reader
  // for ever; it is read to the size measured now.
  InputFile image;
  if (open_input(native_name(options.image), &image) != PLATFORM_OK) {
    std::fprintf(stderr, "%s: cannot open %s\n", PROGRAM, shown_path(options.image).c_str());
    return INSPECT_FAILED;
  }
  const int status = inspect_image(image, options, stdout, stderr);
  close_input(image);
  return status;
}
