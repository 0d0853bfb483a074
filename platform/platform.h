// What differs between the platforms corvane is built for: the path separator, directory
// listing, file identity, the names of files, and the file calls that standard C++ leaves out.
// Everything else in the tools is written once, against these plain functions.
//
// Results: PLATFORM_OK, or PLATFORM_FAILED when the call could not do what it says; the few
// calls that return something else say so.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

constexpr int PLATFORM_OK = 0;
constexpr int PLATFORM_FAILED = -1;

// A path as the system's file calls take it: bytes on POSIX, UTF-16 on Windows, where the
// narrow calls would first turn it into the ANSI code page, best fit and all, and so could
// reach another file than the one named.
using NativeString = std::filesystem::path::string_type;

// The tool's arguments after its own name, as the system gives them.
std::vector<NativeString> command_line_arguments(int argument_count, char** arguments);

// The bytes in which the tools print a name and store it in a node: on Windows the ANSI code
// page, with its substitutes for characters it cannot show. Sets exact to whether name comes
// back from those bytes unchanged (nullptr: not asked).
std::string narrow_name(const NativeString& name, bool* exact = nullptr);

// The inverse of narrow_name for bytes in the code page.
NativeString native_name(const std::string& bytes);

// Reads the status of path (links followed). Returns PLATFORM_OK and sets is_directory, or
// PLATFORM_FAILED when the status cannot be read (the path is missing, empty, or refused).
int query_path_status(const NativeString& path, bool* is_directory);

// Which file a name reaches, however it is spelled: the device and inode on POSIX, the volume
// and file index on Windows.
struct FileIdentity {
  std::uint64_t volume;
  std::uint64_t index;
};

inline bool is_same_file(const FileIdentity& one, const FileIdentity& other) {
  return one.volume == other.volume && one.index == other.index;
}

// Finds which file the platform's handle of an open file is. Returns PLATFORM_OK or
// PLATFORM_FAILED.
int identify_file(std::intptr_t handle, FileIdentity* identity);

// An input file open for reading.
struct InputFile {
  std::intptr_t handle;   // the platform's own handle
  std::int64_t size;      // bytes, measured when it was opened
  FileIdentity identity;  // taken when it was opened
};

// Opens path for reading when it names a regular file (links followed), never blocking on a FIFO
// or device, and measures it. Returns PLATFORM_OK, or PLATFORM_FAILED with nothing left open.
int open_input(const NativeString& path, InputFile* input);

// Reads up to length bytes into bytes, as many as the file yields before its end. Returns the
// count, less than length only at the end of the file, or -1 when reading fails. A regular file
// yields fewer bytes than asked for only at its end, so asking for one byte more than expected
// finds the end without a further call.
std::int64_t read_input(const InputFile& input, std::uint8_t* bytes, std::size_t length);

void close_input(const InputFile& input);

// Writes all length bytes to the file open for writing as handle, at its current position.
// Returns PLATFORM_OK, or PLATFORM_FAILED when not all were written.
int write_to_file(std::intptr_t handle, const std::uint8_t* bytes, std::size_t length);

// Returns the part of path after its last directory separator, or the whole path when it has
// none.
NativeString base_name(const NativeString& path);

// Joins a directory and the bare name of one of its entries.
NativeString join_path(const NativeString& directory, const NativeString& name);

// Fills names with the bare name of every entry of directory, dot entries included, in the
// order the walk packs them. Returns PLATFORM_OK, or PLATFORM_FAILED when the directory cannot
// be listed; a failure part-way through ends the list where it stands.
int list_directory(const NativeString& directory, std::vector<NativeString>* names);

// A directory kept open while its entries are opened. On POSIX each entry is looked up in the
// directory that was listed, whatever happens to its path meanwhile, and without walking the
// whole path again; Windows opens each entry by its joined path.
struct OpenDirectory {
  std::intptr_t handle;  // the platform's own handle, or -1 where entries are opened by path
  NativeString path;     // as given
};

// Opens directory and lists it as list_directory does. Returns PLATFORM_OK, or PLATFORM_FAILED
// with nothing left open.
int open_directory(const NativeString& path, OpenDirectory* directory,
                   std::vector<NativeString>* names);

// open_input for the entry called name in directory.
int open_entry_input(const OpenDirectory& directory, const NativeString& name, InputFile* input);

void close_directory(const OpenDirectory& directory);

// The file system's name for the bytes path, as narrow_name gives names, so that
// std::filesystem and std::fstream reach the same file as the calls above. On Windows the bytes
// are read in the code page of the file APIs, where std::filesystem would read them in the C
// locale, as if every byte were a character of its own.
std::filesystem::path native_path(const std::string& path);

// Returns a key for name under which two names of one file are equal, so that no two nodes are
// extracted into one file. On Windows letters of every script are of one case, as NTFS compares
// names (read through the code page of the file APIs); on POSIX only A to Z are, which keeps the
// names given to ASCII nodes the same on every system.
std::string folded_name(const std::string& name);
