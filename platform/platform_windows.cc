// Windows, the tool's home platform: names are UTF-16 from the command line to the file calls,
// so the file opened is always the file named; only what is printed and stored in a node is
// narrowed to the ANSI code page. The C runtime's own status query is used as it is, with its
// refusals. The separator is "\" alone ("/" is a character of the name as far as the base name
// goes), and a walk takes the entries in the order the listing yields them.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>
// After windows.h, whose definitions it needs.
#include <shellapi.h>
#include <sys/stat.h>

#include "platform.h"
#include "windows_handles.h"

namespace {

// The code page of the file APIs, the ANSI one unless a program asked for the OEM one: the
// names' bytes mean what the narrow calls would make of them.
UINT file_code_page() {
  return AreFileApisANSI() ? CP_ACP : CP_OEMCP;
}

}  // namespace

std::vector<NativeString> command_line_arguments(const int, char** const) {
  // The narrow arguments went through the code page's best fit already: the wide command line
  // is what the user typed.
  int count = 0;
  wchar_t** const arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<NativeString> inputs;
  if (arguments == nullptr) return inputs;
  for (int i = 1; i < count; ++i) inputs.emplace_back(arguments[i]);
  LocalFree(arguments);
  return inputs;
}

std::string narrow_name(const NativeString& name, bool* const exact) {
  std::string bytes;
  const int size = static_cast<int>(name.size());
  const int length =
      WideCharToMultiByte(file_code_page(), 0, name.data(), size, nullptr, 0, nullptr, nullptr);
  if (length > 0) {
    bytes.resize(static_cast<std::size_t>(length));
    WideCharToMultiByte(file_code_page(), 0, name.data(), size, &bytes[0], length, nullptr,
                        nullptr);
  }
  // A character the code page lacks became a default or best-fit one: the bytes name another
  // file, or none.
  if (exact != nullptr) *exact = native_name(bytes) == name;
  return bytes;
}

NativeString native_name(const std::string& bytes) {
  NativeString name;
  const int size = static_cast<int>(bytes.size());
  const int length = MultiByteToWideChar(file_code_page(), 0, bytes.data(), size, nullptr, 0);
  if (length > 0) {
    name.resize(static_cast<std::size_t>(length));
    MultiByteToWideChar(file_code_page(), 0, bytes.data(), size, &name[0], length);
  }
  return name;
}

int query_path_status(const NativeString& path, bool* is_directory) {
  // Refuses "*" and "?", a bare drive such as X: and a trailing "\" or "/" other than a root.
  struct _stat64 status;
  if (_wstat64(path.c_str(), &status) != 0) return PLATFORM_FAILED;
  *is_directory = (status.st_mode & _S_IFMT) == _S_IFDIR;
  return PLATFORM_OK;
}

int identify_file(const std::intptr_t handle, FileIdentity* const identity) {
  return take_identity(handle_of(handle), identity) ? PLATFORM_OK : PLATFORM_FAILED;
}

int open_input(const NativeString& path, InputFile* const input) {
  // Opening a directory fails; a device (NUL, CON) opens but is no file to pack.
  const HANDLE file = CreateFileW(
      path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return PLATFORM_FAILED;
  LARGE_INTEGER size;
  FileIdentity identity;
  if (GetFileType(file) != FILE_TYPE_DISK || GetFileSizeEx(file, &size) == 0 ||
      !take_identity(file, &identity)) {
    CloseHandle(file);
    return PLATFORM_FAILED;
  }
  *input = {reinterpret_cast<std::intptr_t>(file), size.QuadPart, identity};
  return PLATFORM_OK;
}

std::int64_t read_input(const InputFile& input, std::uint8_t* const bytes,
                        const std::size_t length) {
  std::size_t done = 0;
  while (done < length) {
    const DWORD asked = clamped(length - done);
    DWORD got = 0;
    if (ReadFile(handle_of(input.handle), bytes + done, asked, &got, nullptr) == 0) return -1;
    done += got;
    if (got < asked) break;
  }
  return static_cast<std::int64_t>(done);
}

void close_input(const InputFile& input) {
  CloseHandle(handle_of(input.handle));
}

int write_to_file(const std::intptr_t handle, const std::uint8_t* const bytes,
                  const std::size_t length) {
  std::size_t done = 0;
  while (done < length) {
    DWORD put = 0;
    if (WriteFile(handle_of(handle), bytes + done, clamped(length - done), &put, nullptr) == 0 ||
        put == 0) {
      return PLATFORM_FAILED;
    }
    done += put;
  }
  return PLATFORM_OK;
}

NativeString base_name(const NativeString& path) {
  const NativeString::size_type separator = path.rfind(L'\\');
  return separator == NativeString::npos ? path : path.substr(separator + 1);
}

NativeString join_path(const NativeString& directory, const NativeString& name) {
  return directory + L"\\" + name;
}

int list_directory(const NativeString& directory, std::vector<NativeString>* names) {
  const NativeString pattern = directory + L"\\*.*";
  WIN32_FIND_DATAW entry;
  const HANDLE listing = FindFirstFileW(pattern.c_str(), &entry);
  if (listing == INVALID_HANDLE_VALUE) return PLATFORM_FAILED;
  names->clear();
  do {
    names->emplace_back(entry.cFileName);
  } while (FindNextFileW(listing, &entry) != 0);
  FindClose(listing);
  return PLATFORM_OK;
}

int open_directory(const NativeString& path, OpenDirectory* const directory,
                   std::vector<NativeString>* const names) {
  if (list_directory(path, names) != PLATFORM_OK) return PLATFORM_FAILED;
  *directory = {-1, path};
  return PLATFORM_OK;
}

int open_entry_input(const OpenDirectory& directory, const NativeString& name,
                     InputFile* const input) {
  return open_input(join_path(directory.path, name), input);
}

void close_directory(const OpenDirectory&) {}

std::filesystem::path native_path(const std::string& path) {
  // A name that does not convert becomes the empty path, which no file call accepts.
  return native_name(path);
}

std::string folded_name(const std::string& name) {
  std::wstring wide = native_name(name);
  if (wide.empty()) return name;  // such a name cannot be written at all
  CharUpperBuffW(&wide[0], static_cast<DWORD>(wide.size()));
  return std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * sizeof(wchar_t));
}
