#include "extract.h"

#include <cinttypes>

#include "inspect_status.h"
#include "platform.h"

namespace {

std::string node_name(const ImageNode& node) {
  return std::string(node.descriptor.name, node_name_length(node.descriptor));
}

bool can_write_name(const std::string& name) {
  return is_plain_file_name(name) && can_hold_file_name(name);
}

std::pair<std::uint64_t, std::uint64_t> key_of(const FileIdentity& identity) {
  return {identity.volume, identity.index};
}

void drop_file(Extraction* const extraction) {
  if (extraction->writing) discard_extract_file(extraction->directory, &extraction->file);
  extraction->writing = false;
}

// Sets file_name to the next file name for the node called name, passing over a name that
// reaches a file this run has written already. Returns false when the name reaches the image.
bool choose_file_name(Extraction* const extraction, const std::string& name,
                      std::string* const file_name) {
  *file_name = take_file_name(name, &extraction->names);
  FileIdentity there;
  while (query_entry_identity(extraction->directory, *file_name, &there) == PLATFORM_OK) {
    if (is_same_file(there, extraction->image)) return false;
    if (extraction->written.count(key_of(there)) == 0) return true;
    *file_name = take_file_name(name, &extraction->names);
  }
  return true;
}

}  // namespace

bool is_plain_file_name(const std::string& name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of("/\\:") == std::string::npos;
}

std::string take_file_name(const std::string& name, FileNames* const names) {
  const std::string key = folded_name(name);
  std::size_t& suffix = names->next_suffixes[key];
  // Counting on from the last suffix given keeps a thousand nodes of one name from retrying the
  // names before them.
  std::string candidate = suffix == 0 ? name : name + "." + std::to_string(suffix);
  while (!names->taken.insert(folded_name(candidate)).second) {
    candidate = name + "." + std::to_string(++suffix);
  }
  ++suffix;
  return candidate;
}

int open_extraction(const std::string& directory, const FileIdentity& image,
                    Extraction* const extraction, std::FILE* const errors) {
  *extraction = Extraction{};
  extraction->directory_name = directory;
  extraction->image = image;
  if (open_extract_directory(directory, &extraction->directory) != PLATFORM_OK) {
    std::fprintf(errors, "%s: cannot create directory %s\n", PROGRAM,
                 shown_path(directory).c_str());
    return INSPECT_FAILED;
  }
  return INSPECT_OK;
}

void close_extraction(Extraction* const extraction) {
  drop_file(extraction);
  close_extract_directory(extraction->directory);
}

void begin_node_file(Extraction* const extraction, const ImageNode& node) {
  extraction->writing = false;
  extraction->node_failed = false;
  // A node that is already known not to be extracted costs no file.
  if (extraction->failed || node.problem_count != 0 || !can_write_name(node_name(node))) return;
  if (create_extract_file(&extraction->directory, &extraction->file) == PLATFORM_OK) {
    extraction->writing = true;
  } else {
    extraction->node_failed = true;
  }
}

void write_node_file(Extraction* const extraction, const std::uint8_t* const bytes,
                     const std::size_t length) {
  if (!extraction->writing || extraction->node_failed) return;
  if (write_to_file(extraction->file.handle, bytes, length) != PLATFORM_OK) {
    extraction->node_failed = true;
  }
}

int end_node_file(Extraction* const extraction, const ImageNode& node, NodeReport* const report,
                  std::FILE* const errors) {
  const std::string name = node_name(node);
  const bool verified = report->problems.empty() && node.checksum_result == CHECKSUM_MATCHES;
  if (verified && !can_write_name(name)) {
    report->problems.push_back({RULE_UNSAFE_NAME, node.index, node.offset, 0, name.size()});
  }
  if (!verified || !can_write_name(name) || extraction->failed) {
    drop_file(extraction);
    return INSPECT_OK;
  }
  std::string file_name;
  if (!choose_file_name(extraction, name, &file_name)) {
    drop_file(extraction);
    report->problems.push_back({RULE_IMAGE_ITSELF, node.index, node.offset, 0, name.size()});
    return INSPECT_OK;
  }
  if (!extraction->node_failed) {
    // Committing closes the file, and removes it when it fails.
    extraction->writing = false;
    if (commit_extract_file(extraction->directory, &extraction->file, file_name) == PLATFORM_OK) {
      extraction->written.insert(key_of(extraction->file.identity));
      report->extracted_as = file_name;
      return INSPECT_OK;
    }
  }
  drop_file(extraction);
  extraction->failed = true;
  std::fprintf(errors, "%s: %s: cannot write %s in %s\n", PROGRAM,
               node_place(node.index, node.offset).c_str(),
               escape_bytes(file_name.data(), file_name.size()).c_str(),
               shown_path(extraction->directory_name).c_str());
  return INSPECT_FAILED;
}
