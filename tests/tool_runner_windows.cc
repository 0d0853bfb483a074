#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <gtest/gtest.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

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

std::wstring wide(const std::string& text, const UINT code_page) {
  const int size = static_cast<int>(text.size());
  std::wstring result(static_cast<std::size_t>(size), L'\0');
  const int length = MultiByteToWideChar(code_page, 0, text.data(), size, &result[0], size);
  result.resize(static_cast<std::size_t>(length > 0 ? length : 0));
  return result;
}

// The environment block of this process with the settings of options made: "NAME=VALUE" sets
// NAME, "NAME" removes it. Empty when nothing changes, for the child to inherit this one.
std::string environment_block(const ToolOptions& options) {
  if (options.environment.empty()) return "";
  std::vector<std::string> variables;
  char* const strings = GetEnvironmentStringsA();
  for (const char* variable = strings; *variable != '\0'; variable += std::strlen(variable) + 1) {
    variables.emplace_back(variable);
  }
  FreeEnvironmentStringsA(strings);
  for (const std::string& setting : options.environment) {
    const std::string name = setting.substr(0, setting.find('=')) + "=";
    variables.erase(std::remove_if(variables.begin(), variables.end(),
                                   [&](const std::string& v) { return v.rfind(name, 0) == 0; }),
                    variables.end());
    if (setting.find('=') != std::string::npos) variables.push_back(setting);
  }
  std::string block;
  for (const std::string& variable : variables) block += variable + '\0';
  return block + '\0';
}

// Closes each handle that was opened.
void close_all(std::initializer_list<HANDLE> handles) {
  for (const HANDLE handle : handles) {
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
}

}  // namespace

ToolRun run_tool(const std::string& executable, const std::filesystem::path& directory,
                 const std::vector<std::string>& arguments, const ToolOptions& options) {
  if (options.signal != 0 || options.file_size_limit != 0) {
    ADD_FAILURE() << "signals and file size limits are POSIX hazards";
    return {-1, 0, "", ""};
  }
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
    return {-1, 0, "", ""};
  }

  // A reader gone before the child starts: nothing is read, and the child's writes fail.
  if (options.output == ToolOptions::OUTPUT_CLOSED_EARLY) {
    close_all({output_read});
    output_read = nullptr;
  }

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nothing;
  startup.hStdOutput = options.output == ToolOptions::OUTPUT_CLOSED ? nullptr : output_write;
  startup.hStdError = errors_handle;
  PROCESS_INFORMATION process{};
  // Arguments are bytes in the ANSI code page, as a narrow command line would pass them, or
  // UTF-8 for names that code page cannot hold.
  std::wstring wide_command_line = wide(command_line, options.wide_arguments ? CP_UTF8 : CP_ACP);
  std::string environment = environment_block(options);
  const BOOL started =
      CreateProcessW(wide(executable, CP_ACP).c_str(), &wide_command_line[0], nullptr, nullptr,
                     TRUE, 0, environment.empty() ? nullptr : &environment[0],
                     directory.native().c_str(), &startup, &process);
  const DWORD start_error = GetLastError();
  // Only the child may hold the write end now, so that reading ends when the child does.
  close_all({nothing, output_write});
  if (!started) {
    if (output_read != nullptr) close_all({output_read});
    std::fclose(errors);
    ADD_FAILURE() << "cannot start " << executable << ", error " << start_error;
    return {-1, 0, "", ""};
  }

  ToolRun run{-1, 0, "", ""};
  char buffer[4096];
  DWORD got = 0;
  while (output_read != nullptr && ReadFile(output_read, buffer, sizeof buffer, &got, nullptr) &&
         got > 0) {
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
  if (output_read != nullptr) close_all({output_read});
  close_all({process.hProcess, process.hThread});
  std::rewind(errors);
  for (std::size_t count; (count = std::fread(buffer, 1, sizeof buffer, errors)) > 0;) {
    run.error_output.append(buffer, count);
  }
  std::fclose(errors);
  return run;
}
