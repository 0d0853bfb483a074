// Writing files into one directory without any race: the directory is opened once and every
// file is made there through that handle, as a new temporary file created exclusively, written,
// then renamed over its final name. No name that another process can swap is ever followed: a
// link at a final name is replaced, and the directory cannot be redirected once it is open.
//
// POSIX: files are made relative to the directory's descriptor (openat, renameat), so renaming
// the directory, or putting a link in its place, after it was opened changes nothing.
// Windows has no openat. The directory is held open by a handle that denies delete sharing, so
// it cannot be renamed, moved or deleted while the run works; files are named from the
// directory's final path as that handle gives it (links resolved), so a link on the path given
// cannot redirect them either.
//
// Results are the platform's: PLATFORM_OK or PLATFORM_FAILED.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "platform.h"

struct ExtractDirectory {
  std::intptr_t handle;          // the platform's own handle
  std::filesystem::path path;    // Windows: the final path the names are joined to
  std::uint32_t next_temporary;  // counts the temporary names tried, so none is tried twice
};

// Creates the directory at path when it is missing (and its parents), then opens it. Returns
// PLATFORM_OK, or PLATFORM_FAILED when it is not a directory or cannot be made or opened.
int open_extract_directory(const std::string& path, ExtractDirectory* directory);

void close_extract_directory(const ExtractDirectory& directory);

// A file being written under a temporary name in an ExtractDirectory, with write_to_file.
struct ExtractFile {
  std::intptr_t handle;        // the platform's own handle
  FileIdentity identity;       // of the file, which stays when it is renamed
  std::string temporary_name;  // ".corvane-inspect-" + 16 hex digits + ".tmp"
  int held_signals;            // POSIX: the termination signals held back while it is temporary
};

// Creates a new, empty temporary file in directory, exclusively: a name already there, a link
// included, is never opened but passed over for another. Temporary names are longer than any
// node name and end in ".tmp", so they never meet a name that extraction gives a node (a node
// name of at most 15 bytes, or such a name with ".N" added). Until the file is committed or
// discarded, an interruption (SIGINT, SIGTERM, SIGHUP, SIGQUIT; on Windows the end of the
// process) cannot leave it behind: POSIX holds those signals back until then, Windows deletes
// the file when its handle closes. Returns PLATFORM_OK or PLATFORM_FAILED.
int create_extract_file(ExtractDirectory* directory, ExtractFile* file);

// Closes the file and renames it over name in directory, whatever name is (a link there is
// replaced, not followed); on failure the temporary file is removed. Returns PLATFORM_OK, or
// PLATFORM_FAILED when the file cannot be completed or renamed (a directory called name).
int commit_extract_file(const ExtractDirectory& directory, ExtractFile* file,
                        const std::string& name);

// Closes the file and removes it.
void discard_extract_file(const ExtractDirectory& directory, ExtractFile* file);

// Finds which file the entry called name in directory is, without following a link there.
// Returns PLATFORM_OK with identity set, or PLATFORM_FAILED when there is no such entry.
int query_entry_identity(const ExtractDirectory& directory, const std::string& name,
                         FileIdentity* identity);

// True when the file system of this platform can hold a file of exactly this name, which has
// no "/", "\" or ":" and is not empty, "." or "..". POSIX holds every such name. Windows holds
// none that it would take for a device (CON, PRN, AUX, NUL, COM0 to COM9, LPT0 to LPT9 (also
// with a superscript 1, 2 or 3), CONIN$ or CONOUT$, in any letter case, alone or before a
// dot), none that ends in a dot or a space, none that holds < > " | ? * or a character below
// U+0020, and none whose bytes are not text in the code page of the file APIs.
bool can_hold_file_name(const std::string& name);
