// What differs between the platforms corvane is built for: the path separator, directory
// listing, and the file queries that standard C++ leaves out. Everything else in the tools is
// written once, against these plain functions.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Reads the status of path (links followed). Returns 0 and sets is_directory, or -1 when the
// status cannot be read (the path is missing, empty, or refused by the platform).
int query_path_status(const std::string& path, bool* is_directory);

// Opens path for binary reading when it names a regular file (links followed). Returns nullptr
// for anything else (a directory, FIFO, socket or device) without ever blocking on it.
std::FILE* open_regular_file(const std::string& path);

// True when path names the same file as the open stream, however it is spelled.
bool names_same_file(const std::string& path, std::FILE* stream);

// Moves stream to its end and returns the position there as a 64-bit number, or -1.
std::int64_t seek_to_end(std::FILE* stream);

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
