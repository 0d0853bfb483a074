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
    return {-1, ""};
  }
  const pid_t child = fork();
  if (child == 0) {
    const int nothing = open("/dev/null", O_RDONLY);
    if (chdir(directory.c_str()) != 0 || nothing < 0 || dup2(nothing, 0) < 0 ||
        dup2(pipe_ends[1], 1) < 0) {
      _exit(127);
    }
    close(pipe_ends[0]);
    close(pipe_ends[1]);
    execv(executable.c_str(), argv.data());
    _exit(127);
  }
  close(pipe_ends[1]);
  ToolRun run{-1, ""};
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
  return run;
}
