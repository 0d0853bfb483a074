// Runs a built executable as a user would, in a directory of the test's choosing.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

struct ToolRun {
  int exit_status;           // as the platform reports it to a shell, when it exited
  int signal;                // the signal that ended it, or 0 when it exited (POSIX)
  std::string output;        // every byte written to standard output
  std::string error_output;  // every byte written to standard error
};

// What the run's surroundings are and do to it.
struct ToolOptions {
  std::vector<std::string> environment;  // "NAME=VALUE" sets NAME for the tool, "NAME" unsets it
  bool wide_arguments = false;           // Windows: the arguments are UTF-8, passed as UTF-16
  enum Output {
    OUTPUT_READ,          // standard output is a pipe, read to its end
    OUTPUT_CLOSED,        // standard output is closed when the tool starts
    OUTPUT_CLOSED_EARLY,  // standard output is a pipe whose reader has gone
  };
  Output output = OUTPUT_READ;
  std::uint64_t file_size_limit = 0;  // POSIX: a file size limit, SIGXFSZ ignored; 0: none
  int signal = 0;                     // POSIX: a signal sent once a file whose name begins
  std::string growing_prefix;         // with this prefix, in the run's directory, has grown
  std::uint64_t grown_size = 0;       // past this many bytes
};

// Runs executable with arguments (taken literally, no shell) in directory, standard input empty.
ToolRun run_tool(const std::string& executable, const std::filesystem::path& directory,
                 const std::vector<std::string>& arguments, const ToolOptions& options = {});
