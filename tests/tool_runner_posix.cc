#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tool_runner.h"

namespace {

// True once a file in directory whose name begins with prefix has grown past size bytes.
bool has_grown(const std::filesystem::path& directory, const std::string& prefix,
               const std::uint64_t size) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(directory, error)) {
    if (entry.path().filename().string().rfind(prefix, 0) == 0 && entry.file_size(error) > size &&
        !error) {
      return true;
    }
  }
  return false;
}

// In the child, before the tool starts: its standard streams and limits.
void prepare_child(const std::filesystem::path& directory, const int output, const int errors,
                   const ToolOptions& options) {
  const int nothing = open("/dev/null", O_RDONLY);
  if (chdir(directory.c_str()) != 0 || nothing < 0 || dup2(nothing, 0) < 0 || dup2(errors, 2) < 0) {
    _exit(127);
  }
  if (options.output == ToolOptions::OUTPUT_CLOSED) {
    close(1);
  } else if (dup2(output, 1) < 0) {
    _exit(127);
  }
  for (const std::string& setting : options.environment) {
    const std::string::size_type equals = setting.find('=');
    if (equals == std::string::npos) {
      unsetenv(setting.c_str());
    } else {
      setenv(setting.substr(0, equals).c_str(), setting.c_str() + equals + 1, 1);
    }
  }
  if (options.file_size_limit != 0) {
    signal(SIGXFSZ, SIG_IGN);  // an ignored signal stays ignored across exec
    const rlimit limit{options.file_size_limit, options.file_size_limit};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(127);
  }
}

}  // namespace

ToolRun run_tool(const std::string& executable, const std::filesystem::path& directory,
                 const std::vector<std::string>& arguments, const ToolOptions& options) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(executable.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  int pipe_ends[2];
  if (pipe(pipe_ends) != 0) {
    ADD_FAILURE() << "pipe failed";
    return {-1, 0, "", ""};
  }
  // A reader that is gone before the tool writes anything: not even the child holds it.
  if (options.output == ToolOptions::OUTPUT_CLOSED_EARLY) {
    close(pipe_ends[0]);
    pipe_ends[0] = -1;
  }
  // Standard error goes to a file, read once the child is gone, so neither stream can fill up
  // while the other is being read.
  std::FILE* const errors = std::tmpfile();
  if (errors == nullptr) {
    ADD_FAILURE() << "tmpfile failed";
    return {-1, 0, "", ""};
  }
  const pid_t child = fork();
  if (child == 0) {
    prepare_child(directory, pipe_ends[1], fileno(errors), options);
    if (pipe_ends[0] >= 0) close(pipe_ends[0]);
    if (pipe_ends[1] != 1) close(pipe_ends[1]);
    execv(executable.c_str(), argv.data());
    _exit(127);
  }
  close(pipe_ends[1]);
  ToolRun run{-1, 0, "", ""};
  bool signalled = options.signal == 0;
  char buffer[4096];
  // The pipe is read as the child writes; meanwhile the directory is watched for the moment to
  // send the signal.
  for (bool open = pipe_ends[0] >= 0; open || !signalled;) {
    if (!signalled && has_grown(directory, options.growing_prefix, options.grown_size)) {
      kill(child, options.signal);
      signalled = true;
    }
    if (!open) {
      int status = 0;
      if (waitpid(child, &status, WNOHANG) == child) {
        ADD_FAILURE() << executable << " ended before the signal was sent";
        close(pipe_ends[0]);
        std::fclose(errors);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0, "", ""};
      }
      usleep(1000);
      continue;
    }
    pollfd ready{pipe_ends[0], POLLIN, 0};
    if (poll(&ready, 1, signalled ? -1 : 1) == 0) continue;
    const ssize_t got = read(pipe_ends[0], buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      open = false;
      continue;
    }
    run.output.append(buffer, static_cast<std::size_t>(got));
  }
  if (pipe_ends[0] >= 0) close(pipe_ends[0]);
  int status = 0;
  if (child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status)) {
    run.exit_status = WEXITSTATUS(status);
  } else if (child > 0 && WIFSIGNALED(status)) {
    run.signal = WTERMSIG(status);
  } else {
    ADD_FAILURE() << executable << " did not end";
  }
  std::rewind(errors);
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, errors)) > 0;) {
    run.error_output.append(buffer, got);
  }
  std::fclose(errors);
  return run;
}
