#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tool_runner.h"

ToolRun run_tool(const std::string& executable, const std::filesystem::path& directory,
                 const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(executable.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  int pipe_ends[2];
  if (pipe(pipe_ends) != 0) {
    ADD_FAILURE() << "pipe failed";
    return {-1, "", ""};
  }
  // Standard error goes to a file, read once the child is gone, so neither stream can fill up
  // while the other is being read.
  std::FILE* const errors = std::tmpfile();
  if (errors == nullptr) {
    ADD_FAILURE() << "tmpfile failed";
    return {-1, "", ""};
  }
  const pid_t child = fork();
  if (child == 0) {
    const int nothing = open("/dev/null", O_RDONLY);
    if (chdir(directory.c_str()) != 0 || nothing < 0 || dup2(nothing, 0) < 0 ||
        dup2(pipe_ends[1], 1) < 0 || dup2(fileno(errors), 2) < 0) {
      _exit(127);
    }
    close(pipe_ends[0]);
    close(pipe_ends[1]);
    execv(executable.c_str(), argv.data());
    _exit(127);
  }
  close(pipe_ends[1]);
  ToolRun run{-1, "", ""};
  char buffer[4096];
  for (ssize_t got; (got = read(pipe_ends[0], buffer, sizeof buffer)) != 0;) {
    if (got < 0) {
      if (errno == EINTR) continue;
      break;
    }
    run.output.append(buffer, static_cast<std::size_t>(got));
  }
  close(pipe_ends[0]);
  int status = 0;
  if (child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status)) {
    run.exit_status = WEXITSTATUS(status);
  } else {
    ADD_FAILURE() << executable << " did not exit normally";
  }
  std::rewind(errors);
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, errors)) > 0;) {
    run.error_output.append(buffer, got);
  }
  std::fclose(errors);
  return run;
}
