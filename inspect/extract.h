// Writing node payloads as files in one directory, and never outside it: each file is written
// under a temporary name and renamed into place only once its node has passed verification, so
// a file in the directory is always a whole node (see extract_files.h for how the directory is
// kept from being redirected).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <utility>

#include "extract_files.h"
#include "image_reader.h"
#include "report.h"

// True when name can only name an entry of the directory it is written in: not empty, not "."
// or "..", and without "/", "\" or ":" (a separator, or a drive or stream name on Windows).
bool is_plain_file_name(const std::string& name);

// The file names given out in one extraction.
struct FileNames {
  std::set<std::string> taken;                       // as folded_name gives them
  std::map<std::string, std::size_t> next_suffixes;  // per folded name, the next suffix to try
};

// Returns the file name for the next node called name and marks it taken: name itself the first
// time, then name.1, name.2 and so on, the first that is not taken yet. Letter case is ignored
// (see folded_name), as Windows and macOS file systems ignore it, so that no two nodes ever land
// in one file.
std::string take_file_name(const std::string& name, FileNames* names);

// One extraction: the directory, the names given out, the file being written.
struct Extraction {
  std::string directory_name;  // as given, for messages
  ExtractDirectory directory;
  FileIdentity image;  // the image being read, which no node may replace
  FileNames names;
  // Every file written, by identity: a name that reaches one of them is taken, whatever
  // folded_name says (a short name on Windows, a case-folding directory on Linux).
  std::set<std::pair<std::uint64_t, std::uint64_t>> written;
  bool failed;       // a file could not be written: nothing more is written
  bool node_failed;  // the file of the node being read could not be made or written
  bool writing;      // file holds the payload of the node being read
  ExtractFile file;
};

// Opens directory (making it when missing) for an extraction from the image whose identity is
// image. Returns INSPECT_OK, or INSPECT_FAILED with a message on errors.
int open_extraction(const std::string& directory, const FileIdentity& image, Extraction* extraction,
                    std::FILE* errors);

void close_extraction(Extraction* extraction);

// Starts the file of a node whose descriptor passed verification and whose name can be written.
void begin_node_file(Extraction* extraction, const ImageNode& node);

// Appends the next length bytes of the node's payload, decrypted.
void write_node_file(Extraction* extraction, const std::uint8_t* bytes, std::size_t length);

// Completes the node's file once its payload is read: it is renamed into place when the node
// passed verification (report's problems and its checksum) and its name is a plain file name
// this platform can hold; otherwise it is removed and a name that cannot be written becomes a
// problem in report, and so does a file that would be the image. Sets report->extracted_as.
// Returns INSPECT_OK, or INSPECT_FAILED with a message on errors when the file cannot be
// written: nothing more is written after that.
int end_node_file(Extraction* extraction, const ImageNode& node, NodeReport* report,
                  std::FILE* errors);
