// Runs a built executable as a user would, in a directory of the test's choosing.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

struct ToolRun {
  int exit_status;           // as the platform reports it to a shell
  std::string output;        // every byte written to standard output
  std::string error_output;  // every byte written to standard error
};

// Runs executable with arguments (taken literally, no shell) in directory, standard input empty.
ToolRun run_tool(const std::string& executable, const std::filesystem::path& directory,
                 const std::vector<std::string>& arguments);
