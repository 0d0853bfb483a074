// Windows: no call makes a file relative to a directory handle, so the directory is held open
// without delete sharing (it can be neither renamed nor deleted meanwhile) and every file is
// named from the final path that handle has, links resolved. Names are made wide from the code
// page of the file APIs, so the name in the directory is exactly the node's text.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <cinttypes>
#include <cstdio>
#include <system_error>

#include "extract_files.h"

namespace {

constexpr int TEMPORARY_NAME_TRIES = 100;

HANDLE handle_of(const std::intptr_t handle) {
  return reinterpret_cast<HANDLE>(handle);
}

// Marks the file to be deleted when its last handle closes, or no longer: a temporary file so
// marked cannot outlive the process, however it ends.
bool set_delete_on_close(const HANDLE file, const bool delete_it) {
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = delete_it ? TRUE : FALSE;
  return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) !=
         0;
}

std::wstring temporary_name(ExtractDirectory* const directory) {
  LARGE_INTEGER ticks{};
  QueryPerformanceCounter(&ticks);
  const std::uint64_t value = (static_cast<std::uint64_t>(GetCurrentProcessId()) << 32 ^
                               static_cast<std::uint64_t>(ticks.QuadPart)) +
                              directory->next_temporary++;
  wchar_t name[48];
  std::swprintf(name, 48, L".corvane-inspect-%016llx.tmp", static_cast<unsigned long long>(value));
  return name;
}

// name in the code page of the file APIs, or empty when a byte of it is not text there.
std::wstring exact_wide_name(const std::string& name) {
  const UINT code_page = AreFileApisANSI() ? CP_ACP : CP_OEMCP;
  const int size = static_cast<int>(name.size());
  const int length =
      MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, name.data(), size, nullptr, 0);
  if (length <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, name.data(), size, &wide[0], length);
  return wide;
}

// True when stem, the text before a name's first dot, names a device. Spaces before the dot do
// not count: Windows takes "nul .txt" for NUL too.
bool is_device_stem(std::wstring stem) {
  while (!stem.empty() && stem.back() == L' ') stem.pop_back();
  for (wchar_t& c : stem) {
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
  }
  for (const wchar_t* device : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"}) {
    if (stem == device) return true;
  }
  if (stem.size() != 4 || (stem.compare(0, 3, L"COM") != 0 && stem.compare(0, 3, L"LPT") != 0)) {
    return false;
  }
  // The digits, and the superscripts 1, 2 and 3, which Windows also takes for port numbers.
  const wchar_t number = stem[3];
  return (number >= L'0' && number <= L'9') || number == L'\u00b9' || number == L'\u00b2' ||
         number == L'\u00b3';
}

}  // namespace

int open_extract_directory(const std::string& path, ExtractDirectory* const directory) {
  const std::filesystem::path native = native_path(path);
  if (native.empty()) return PLATFORM_FAILED;
  std::error_code error;
  std::filesystem::create_directories(native, error);
  // No FILE_SHARE_DELETE: while this handle is open, nobody can rename or delete the directory.
  const HANDLE handle = CreateFileW(native.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return PLATFORM_FAILED;
  BY_HANDLE_FILE_INFORMATION information;
  wchar_t final_path[32768];
  const DWORD length = GetFinalPathNameByHandleW(handle, final_path, 32768, FILE_NAME_NORMALIZED);
  if (GetFileInformationByHandle(handle, &information) == 0 ||
      (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 || length == 0 ||
      length >= 32768) {
    CloseHandle(handle);
    return PLATFORM_FAILED;
  }
  *directory = {reinterpret_cast<std::intptr_t>(handle), std::wstring(final_path, length), 0};
  return PLATFORM_OK;
}

void close_extract_directory(const ExtractDirectory& directory) {
  CloseHandle(handle_of(directory.handle));
}

int create_extract_file(ExtractDirectory* const directory, ExtractFile* const file) {
  for (int i = 0; i < TEMPORARY_NAME_TRIES; ++i) {
    const std::wstring name = temporary_name(directory);
    // CREATE_NEW never opens a name already there; FILE_FLAG_OPEN_REPARSE_POINT takes a link
    // there for a name, not for what it leads to. Delete sharing lets it be renamed while open.
    const HANDLE handle = CreateFileW(
        (directory->path / name).c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_DELETE, nullptr,
        CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS) continue;
    if (handle == INVALID_HANDLE_VALUE) return PLATFORM_FAILED;
    FileIdentity identity;
    if (!set_delete_on_close(handle, true) ||
        identify_file(reinterpret_cast<std::intptr_t>(handle), &identity) != PLATFORM_OK) {
      CloseHandle(handle);
      DeleteFileW((directory->path / name).c_str());
      return PLATFORM_FAILED;
    }
    // The name is plain ASCII.
    *file = {reinterpret_cast<std::intptr_t>(handle), identity,
             std::string(name.begin(), name.end()), 0};
    return PLATFORM_OK;
  }
  return PLATFORM_FAILED;
}

int commit_extract_file(const ExtractDirectory& directory, ExtractFile* const file,
                        const std::string& name) {
  const HANDLE handle = handle_of(file->handle);
  const std::filesystem::path temporary = directory.path / native_path(file->temporary_name);
  const std::filesystem::path final_name = native_path(name);
  // The file stays open, and so marked for deletion until the last moment, through the rename:
  // an end of the process before it leaves nothing behind.
  const bool completed = !final_name.empty() && set_delete_on_close(handle, false) &&
                         MoveFileExW(temporary.c_str(), (directory.path / final_name).c_str(),
                                     MOVEFILE_REPLACE_EXISTING) != 0;
  if (!completed) set_delete_on_close(handle, true);
  CloseHandle(handle);
  if (!completed) DeleteFileW(temporary.c_str());
  return completed ? PLATFORM_OK : PLATFORM_FAILED;
}

void discard_extract_file(const ExtractDirectory& directory, ExtractFile* const file) {
  CloseHandle(handle_of(file->handle));
  DeleteFileW((directory.path / native_path(file->temporary_name)).c_str());
}

int query_entry_identity(const ExtractDirectory& directory, const std::string& name,
                         FileIdentity* const identity) {
  const std::filesystem::path wide = native_path(name);
  if (wide.empty()) return PLATFORM_FAILED;
  const HANDLE handle =
      CreateFileW((directory.path / wide).c_str(), FILE_READ_ATTRIBUTES,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return PLATFORM_FAILED;
  const bool known =
      identify_file(reinterpret_cast<std::intptr_t>(handle), identity) == PLATFORM_OK;
  CloseHandle(handle);
  return known ? PLATFORM_OK : PLATFORM_FAILED;
}

bool can_hold_file_name(const std::string& name) {
  const std::wstring wide = exact_wide_name(name);
  if (wide.empty() || wide.back() == L'.' || wide.back() == L' ') return false;
  for (const wchar_t c : wide) {
    if (c < 0x20 || std::wstring(L"<>\"|?*/\\:").find(c) != std::wstring::npos) return false;
  }
  return !is_device_stem(wide.substr(0, wide.find(L'.')));
}
