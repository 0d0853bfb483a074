// The package image as it is written, and what the process does so that no interruption leaves
// a damaged one.
//
// When the file the output goes to does not exist or is a regular file, the output is a new
// temporary file created exclusively in the same directory, renamed over that file only once it
// is complete and on the disk: until then the earlier file stays exactly as it was. Any other
// kind of file (a device, a FIFO) is written directly. A link is followed to the file it names.
//
// Results: PLATFORM_OK or PLATFORM_FAILED, as in platform.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform.h"

struct OutputFile {
  std::intptr_t handle;        // the platform's own handle
  bool is_temporary;           // a new regular file, renamed into place by commit_output
  FileIdentity identity;       // of the file written
  bool has_earlier;            // a regular file is there now, which the output replaces
  FileIdentity earlier;        // its identity
  std::intptr_t directory;     // where the file and its target are, on POSIX; else -1
  std::string temporary_name;  // the temporary file, relative to that directory (Windows: a path)
  std::string target_name;     // the name it replaces, relative to that directory
};

// Opens the null device on each of the standard descriptors that is closed, so that no file
// opened later takes its place, and has a reader that goes away or a file size limit make
// writes fail instead of ending the process.
void prepare_process();

// Begins the output for name: a temporary file named "." name "." and a unique suffix beside
// the file it replaces, or the existing device or FIFO itself. Until the output is committed or
// discarded, SIGINT, SIGTERM and SIGHUP (on Windows: Ctrl+C, Ctrl+Break and closing the
// console) remove the temporary file before they end the process as they would. Returns
// PLATFORM_OK, or PLATFORM_FAILED with nothing made: name is a directory or a file that may not
// be written, or the temporary file cannot be created.
int create_output(const std::string& name, OutputFile* output);

// Bytes are appended with write_to_file on the handle (see platform.h).

// Overwrites length bytes at offset of a temporary file; the next append still goes to its end.
int write_output_at(const OutputFile& output, const std::uint8_t* bytes, std::size_t length,
                    std::int64_t offset);

// Cuts a temporary file back to its first length bytes; the next append goes there.
int cut_output(const OutputFile& output, std::int64_t length);

// Completes the output: a temporary file is written to the disk, closed and renamed over its
// target; a device or FIFO is closed. Returns PLATFORM_OK, or PLATFORM_FAILED with the
// temporary file removed and the target as it was.
int commit_output(OutputFile* output);

// Gives the output up: a temporary file is closed and removed; a device or FIFO is closed.
void discard_output(OutputFile* output);
