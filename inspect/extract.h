// Writing node payloads as files in one directory, and never outside it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <string>

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

// Creates directory when it is missing. Returns 0, or -1 when it is not a directory or cannot be
// made.
int prepare_directory(const std::filesystem::path& directory);

// Writes length bytes of payload, decrypted under key (as they are when key is 0), to file.
// Anything but a directory already there is replaced, never written through: a link is removed,
// not followed. Returns 0, or -1 with no file left behind.
int write_payload_file(const std::filesystem::path& file, const std::uint8_t* payload,
                       std::size_t length, std::uint32_t key);
