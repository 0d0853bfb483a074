// Windows: the temporary file is created with CREATE_NEW beside its target and moved over it
// with MoveFileExW. A directory that is a process's current directory cannot be renamed or
// removed while the process runs, so names relative to it cannot be redirected meanwhile.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <cstdio>
#include <random>

#include "output.h"
#include "windows_handles.h"

namespace {

// What the console handler removes. The handler runs on a thread of its own and finds nothing
// but process-wide state, so this is the one place that keeps any.
wchar_t cleanup_name[1024];
volatile LONG cleanup_armed = 0;

BOOL WINAPI remove_temporary_on_console_event(const DWORD event) {
  // The file is still open for writing: removing it needs the delete sharing it was opened with,
  // and it goes when the process ends, which the default handler now does.
  if (InterlockedCompareExchange(&cleanup_armed, 0, 0) != 0) DeleteFileW(cleanup_name);
  (void)event;
  return FALSE;
}

std::wstring wide(const std::string& name) {
  return native_path(name).wstring();
}

}  // namespace

void prepare_process() {}

int create_output(const std::string& name, OutputFile* const output) {
  *output = OutputFile{};
  output->handle = reinterpret_cast<std::intptr_t>(INVALID_HANDLE_VALUE);
  output->directory = -1;
  output->target_name = name;
  const std::wstring target = wide(name);
  // A directory cannot be replaced, nor a file marked read-only.
  const DWORD attributes = GetFileAttributesW(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0) {
    return PLATFORM_FAILED;
  }
  const HANDLE existing =
      CreateFileW(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (existing != INVALID_HANDLE_VALUE) {
    if (GetFileType(existing) != FILE_TYPE_DISK) {
      output->handle = reinterpret_cast<std::intptr_t>(existing);
      return PLATFORM_OK;
    }
    output->has_earlier = take_identity(existing, &output->earlier);
    CloseHandle(existing);
    if (!output->has_earlier) return PLATFORM_FAILED;
  } else if (GetLastError() != ERROR_FILE_NOT_FOUND) {
    return PLATFORM_FAILED;
  }

  // Beside the file it replaces, in the same directory.
  const std::string::size_type separator = name.find_last_of("\\/:");
  const std::string directory = separator == std::string::npos ? "" : name.substr(0, separator + 1);
  const std::string base = separator == std::string::npos ? name : name.substr(separator + 1);
  std::random_device entropy;
  HANDLE file = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, "%lu-%08x", GetCurrentProcessId(), entropy());
    output->temporary_name = directory + "." + base + "." + suffix;
    // Others may read it, as corvane itself does to refuse it as an input, and the console
    // handler may remove it.
    file = CreateFileW(wide(output->temporary_name).c_str(), GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (file == INVALID_HANDLE_VALUE) return PLATFORM_FAILED;
  output->handle = reinterpret_cast<std::intptr_t>(file);
  output->is_temporary = true;
  if (!take_identity(file, &output->identity)) {
    discard_output(output);
    return PLATFORM_FAILED;
  }
  const std::wstring temporary = wide(output->temporary_name);
  if (temporary.size() < sizeof cleanup_name / sizeof cleanup_name[0]) {
    temporary.copy(cleanup_name, temporary.size());
    cleanup_name[temporary.size()] = L'\0';
    InterlockedExchange(&cleanup_armed, 1);
    SetConsoleCtrlHandler(remove_temporary_on_console_event, TRUE);
  }
  return PLATFORM_OK;
}

int write_output_at(const OutputFile& output, const std::uint8_t* const bytes,
                    const std::size_t length, const std::int64_t offset) {
  // A positioned write on a handle opened for plain I/O also moves the file pointer: it is put
  // back at the end, where the next append goes.
  OVERLAPPED position{};
  position.Offset = static_cast<DWORD>(offset);
  position.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD put = 0;
  const LARGE_INTEGER none{};
  return WriteFile(handle_of(output.handle), bytes, clamped(length), &put, &position) != 0 &&
                 put == length &&
                 SetFilePointerEx(handle_of(output.handle), none, nullptr, FILE_END) != 0
             ? PLATFORM_OK
             : PLATFORM_FAILED;
}

int cut_output(const OutputFile& output, const std::int64_t length) {
  LARGE_INTEGER position;
  position.QuadPart = length;
  return SetFilePointerEx(handle_of(output.handle), position, nullptr, FILE_BEGIN) != 0 &&
                 SetEndOfFile(handle_of(output.handle)) != 0
             ? PLATFORM_OK
             : PLATFORM_FAILED;
}

int commit_output(OutputFile* const output) {
  if (!output->is_temporary) {
    return CloseHandle(handle_of(output->handle)) != 0 ? PLATFORM_OK : PLATFORM_FAILED;
  }
  // On the disk before it has the name: a power cut never leaves the name on a file whose
  // bytes are not there yet.
  const bool written = FlushFileBuffers(handle_of(output->handle)) != 0;
  const bool closed = CloseHandle(handle_of(output->handle)) != 0;
  const std::wstring temporary = wide(output->temporary_name);
  const bool moved = written && closed &&
                     MoveFileExW(temporary.c_str(), wide(output->target_name).c_str(),
                                 MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  if (!moved) DeleteFileW(temporary.c_str());
  InterlockedExchange(&cleanup_armed, 0);
  return moved ? PLATFORM_OK : PLATFORM_FAILED;
}

void discard_output(OutputFile* const output) {
  CloseHandle(handle_of(output->handle));
  if (!output->is_temporary) return;
  DeleteFileW(wide(output->temporary_name).c_str());
  InterlockedExchange(&cleanup_armed, 0);
}
