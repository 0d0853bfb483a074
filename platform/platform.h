// What differs between the platforms corvane is built for: the path separator, directory
// listing, and the file queries that standard C++ leaves out. Everything else in the tools is
// written once, against these plain functions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

// Reads the status of path (links followed). Returns 0 and sets is_directory, or -1 when the
// status cannot be read (the path is missing, empty, or refused by the platform).
int query_path_status(const std::string& path, bool* is_directory);

// An input file open for reading.
struct InputFile {
  std::intptr_t handle;  // the platform's own handle
  std::int64_t size;     // bytes, measured when it was opened
};

constexpr int INPUT_CANNOT_OPEN = -1;
constexpr int INPUT_IS_PACKAGE = -2;

// Opens path for reading when it names a regular file (links followed), never blocking on a FIFO
// or device, and measures it. Returns 0; INPUT_IS_PACKAGE, with nothing left open, when path
// names the same file as package however it is spelled (package may be nullptr: no such check);
// or INPUT_CANNOT_OPEN.
int open_input(const std::string& path, std::FILE* package, InputFile* input);

// Reads the next length bytes of the input into bytes. Returns the count read: less than length
// only when the file ended early or failed.
std::size_t read_input(const InputFile& input, std::uint8_t* bytes, std::size_t length);

void close_input(const InputFile& input);

// Returns the stream's current position as a 64-bit number, or -1.
std::int64_t stream_position(std::FILE* stream);

// Returns the part of path after its last directory separator, or the whole path when it has
// none.
std::string base_name(const std::string& path);

// Joins a directory and the bare name of one of its entries.
std::string join_path(const std::string& directory, const std::string& name);

// Fills names with the bare name of every entry of directory, dot entries included, in the
// order the walk packs them. Returns 0, or -1 when the directory cannot be listed; a failure
// part-way through ends the list where it stands.
int list_directory(const std::string& directory, std::vector<std::string>* names);

// The file system's name for path, a name as the C runtime's narrow file calls take it (and as
// list_directory gives it), so that std::filesystem and std::fstream reach the same file as
// std::fopen. On Windows those calls read the bytes in the code page of the file APIs, where
// std::filesystem would read them in the C locale, as if every byte were a character of its own.
std::filesystem::path native_path(const std::string& path);

// Returns a key for name under which two names of one file are equal, so that no two nodes are
// extracted into one file. On Windows letters of every script are of one case, as NTFS compares
// names (read through the code page of the file APIs); on POSIX only A to Z are, which keeps the
// names given to ASCII nodes the same on every system.
std::string folded_name(const std::string& name);
