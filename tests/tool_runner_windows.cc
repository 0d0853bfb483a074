#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <gtest/gtest.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

#include "tool_runner.h"

namespace {

// Quotes argument so that the C runtime's command-line parser gives it back unchanged: inside
// quotes, backslashes are literal except before a quote, where each one must be doubled.
std::string quoted(const std::string& argument) {
  std::string result = "\"";
  std::size_t backslashes = 0;
  for (const char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    result.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
    result += c;
    backslashes = 0;
  }
  result.append(2 * backslashes, '\\');
  return result + "\"";
}

// Closes each handle that was opened.
void close_all(std::initializer_list<HANDLE> handles) {
  for (const HANDLE handle : handles) {
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
}

}  // namespace

ToolRun run_tool(const std::string& executable, const std::filesystem::path& directory,
                 const std::vector<std::string>& arguments) {
  std::string command_line = quoted(executable);
  for (const std::string& argument : arguments) command_line += " " + quoted(argument);

  SECURITY_ATTRIBUTES inherited{};
  inherited.nLength = sizeof inherited;
  inherited.bInheritHandle = TRUE;
  HANDLE output_read = nullptr;
  HANDLE output_write = nullptr;
  const HANDLE nothing = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     &inherited, OPEN_EXISTING, 0, nullptr);
  // Standard error goes to a file of its own, read back once the child has ended, so that two
  // pipes can never block each other.
  std::FILE* const errors = std::tmpfile();
  const HANDLE errors_handle = errors != nullptr
                                   ? reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(errors)))
                                   : INVALID_HANDLE_VALUE;
  if (nothing == INVALID_HANDLE_VALUE || errors_handle == INVALID_HANDLE_VALUE ||
      !SetHandleInformation(errors_handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT) ||
      !CreatePipe(&output_read, &output_write, &inherited, 0) ||
      !SetHandleInformation(output_read, HANDLE_FLAG_INHERIT, 0)) {
    close_all({nothing, output_read, output_write});
    if (errors != nullptr) std::fclose(errors);
    ADD_FAILURE() << "cannot make the standard handles, error " << GetLastError();
    return {-1, "", ""};
  }

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nothing;
  startup.hStdOutput = output_write;
  startup.hStdError = errors_handle;
  PROCESS_INFORMATION process{};
  const std::string working_directory = directory.string();
  const BOOL started = CreateProcessA(executable.c_str(), &command_line[0], nullptr, nullptr, TRUE,
                                      0, nullptr, working_directory.c_str(), &startup, &process);
  const DWORD start_error = GetLastError();
  // Only the child may hold the write end now, so that reading ends when the child does.
  close_all({nothing, output_write});
  if (!started) {
    close_all({output_read});
    std::fclose(errors);
    ADD_FAILURE() << "cannot start " << executable << ", error " << start_error;
    return {-1, "", ""};
  }

  ToolRun run{-1, "", ""};
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(output_read, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    run.output.append(buffer, got);
  }
  DWORD exit_code = 0;
  if (WaitForSingleObject(process.hProcess, INFINITE) == WAIT_OBJECT_0 &&
      GetExitCodeProcess(process.hProcess, &exit_code)) {
    // Windows keeps the whole 32-bit status: -5 reads 0xFFFFFFFB.
    run.exit_status = static_cast<int>(exit_code);
  } else {
    ADD_FAILURE() << executable << " did not exit normally";
  }
  close_all({output_read, process.hProcess, process.hThread});
  std::rewind(errors);
  for (std::size_t count; (count = std::fread(buffer, 1, sizeof buffer, errors)) > 0;) {
    run.error_output.append(buffer, count);
  }
  std::fclose(errors);
  return run;
}
