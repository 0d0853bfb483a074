#include "inspector.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "extract.h"
#include "json_report.h"
#include "listing.h"
#include "platform.h"
#include "report.h"
#include "version.h"

namespace fs = std::filesystem;

namespace {

constexpr char PROGRAM[] = "corvane-inspect";
constexpr char USAGE[] =
    "usage: corvane-inspect [--json] [--extract DIR] IMAGE\n"
    "       corvane-inspect --help | --version\n";
constexpr char HELP[] =
    "\n"
    "Lists the nodes of the corvane package image IMAGE and verifies every one of them.\n"
    "  --json         print the listing as one JSON document\n"
    "  --extract DIR  write each node that passes verification to a file in DIR named\n"
    "                 after the node, the firmware decrypted; DIR is created if missing\n"
    "  --help         print this help\n"
    "  --version      print the version\n"
    "\n"
    "Exit status: 0 the image is valid (and every node was extracted), 1 it has problems\n"
    "(each named on standard error), 2 a usage error, an image that cannot be read or a\n"
    "file that cannot be written.\n";

struct LoadedImage {
  std::unique_ptr<std::uint8_t[]> bytes;
  std::size_t size;
};

// Reads the whole image. Only a regular file is opened, so a FIFO or a device cannot block or
// feed the reader for ever, and the buffer is the file's measured size, never a size field's.
int load_image(const std::string& path, LoadedImage* const image, std::FILE* const errors) {
  InputFile file;
  if (open_input(native_name(path), &file) != PLATFORM_OK) {
    std::fprintf(errors, "%s: cannot open %s\n", PROGRAM, path.c_str());
    return INSPECT_FAILED;
  }
  const char* failure = nullptr;
  if (static_cast<std::uint64_t>(file.size) > SIZE_MAX) {
    failure = "cannot hold in memory";
  } else {
    image->size = static_cast<std::size_t>(file.size);
    image->bytes.reset(new (std::nothrow) std::uint8_t[image->size]);
    std::uint8_t beyond;
    if (image->bytes == nullptr) {
      failure = "cannot hold in memory";
    } else if (read_input(file, image->bytes.get(), image->size) !=
                   static_cast<std::int64_t>(image->size) ||
               read_input(file, &beyond, 1) != 0) {
      failure = "cannot read";  // it failed, or it changed size while being read
    }
  }
  close_input(file);
  if (failure == nullptr) return INSPECT_VALID;
  std::fprintf(errors, "%s: %s %s\n", PROGRAM, failure, path.c_str());
  return INSPECT_FAILED;
}

struct Extraction {
  std::string directory_name;  // as given, for messages
  fs::path directory;
  FileNames names;
  bool write_failed;  // after a failed write nothing more is written
};

// Writes the node when it passed verification and its name is a plain file name; a name that
// is not becomes a problem. Returns -1 when the file cannot be written.
int extract_node(NodeReport* const report, Extraction* const extraction, std::FILE* const errors) {
  const ImageNode& node = *report->node;
  if (!report->problems.empty()) return 0;
  const std::string name(node.descriptor.name, node_name_length(node.descriptor));
  if (!is_plain_file_name(name)) {
    report->problems.push_back({RULE_UNSAFE_NAME, node.index, node.offset, 0, name.size()});
    return 0;
  }
  if (extraction->write_failed) return 0;
  const std::string file_name = take_file_name(name, &extraction->names);
  if (write_payload_file(extraction->directory / native_path(file_name), node.payload,
                         node.payload_length, node.descriptor.session_key) != 0) {
    std::fprintf(errors, "%s: node %zu at offset %zu: cannot write %s in %s\n", PROGRAM, node.index,
                 node.offset, escape_bytes(file_name.data(), file_name.size()).c_str(),
                 extraction->directory_name.c_str());
    return -1;
  }
  report->extracted_as = file_name;
  return 0;
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

// A listing that did not reach its reader is a failure too.
int finish(const int status, std::FILE* const out, std::FILE* const errors) {
  if (std::fflush(out) != 0 || std::ferror(out) != 0) {
    std::fprintf(errors, "%s: cannot write standard output\n", PROGRAM);
    return INSPECT_FAILED;
  }
  return status;
}

}  // namespace

int inspect_image(const std::uint8_t* const image, const std::size_t size,
                  const InspectOptions& options, std::FILE* const out, std::FILE* const errors) {
  Extraction extraction{options.directory, native_path(options.directory), {}, false};
  if (options.extract && prepare_directory(extraction.directory) != 0) {
    std::fprintf(errors, "%s: cannot create directory %s\n", PROGRAM, options.directory.c_str());
    return INSPECT_FAILED;
  }
  std::fputs((options.json ? json_document_start(size) : listing_header(options.extract)).c_str(),
             out);
  ImageWalk walk = start_image_walk(image, size);
  ImageNode node;
  std::size_t node_count = 0;
  std::size_t problem_count = 0;
  while (read_next_node(&walk, &node)) {
    NodeReport report{
        &node, {node.problems, node.problems + node.problem_count}, options.extract, ""};
    if (options.extract && extract_node(&report, &extraction, errors) != 0) {
      extraction.write_failed = true;
    }
    std::fputs((options.json ? json_node(report, node_count == 0) : listing_line(report)).c_str(),
               out);
    print_problems(report.problems, &node.descriptor, out, errors);
    problem_count += report.problems.size();
    ++node_count;
  }
  std::vector<ImageProblem> image_problems;
  if (walk.has_trailing_problem) image_problems.push_back(walk.trailing_problem);
  print_problems(image_problems, nullptr, out, errors);
  problem_count += image_problems.size();
  std::fputs((options.json ? json_document_end(image_problems, node_count, problem_count)
                           : summary_line(node_count, size, problem_count))
                 .c_str(),
             out);
  const int status = extraction.write_failed ? INSPECT_FAILED
                     : problem_count > 0     ? INSPECT_PROBLEMS
                                             : INSPECT_VALID;
  return finish(status, out, errors);
}

int run_inspector(const int argument_count, const char* const* const arguments) {
  InspectOptions options;
  std::string error;
  switch (parse_options(argument_count, arguments, &options, &error)) {
    case OPTIONS_HELP:
      std::fputs(USAGE, stdout);
      std::fputs(HELP, stdout);
      return finish(INSPECT_VALID, stdout, stderr);
    case OPTIONS_VERSION:
      std::printf("%s %s\n", PROGRAM, CORVANE_VERSION);
      return finish(INSPECT_VALID, stdout, stderr);
    case OPTIONS_INSPECT:
      break;
    default:
      std::fprintf(stderr, "%s: %s\n%s", PROGRAM, error.c_str(), USAGE);
      return INSPECT_FAILED;
  }
  LoadedImage image{nullptr, 0};
  if (load_image(options.image, &image, stderr) != INSPECT_VALID) return INSPECT_FAILED;
  return inspect_image(image.bytes.get(), image.size, options, stdout, stderr);
}
