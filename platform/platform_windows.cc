// Windows, the tool's home platform: the C runtime's own status query, file streams and listing
// are used as they are, with their refusals. The separator is "\" alone ("/" is a character of
// the name as far as the base name goes), and a walk takes the entries in the order the listing
// yields them. Standard output stays a text stream, so every "\n" reaches it as "\r\n".
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cstdio>

#include "platform.h"

int query_path_status(const std::string& path, bool* is_directory) {
  // Refuses "*" and "?", a bare drive such as X: and a trailing "\" or "/" other than a root.
  struct _stat64 status;
  if (_stat64(path.c_str(), &status) != 0) return -1;
  *is_directory = (status.st_mode & _S_IFMT) == _S_IFDIR;
  return 0;
}

namespace {

// True when both handles are open on one file: the same volume and the same index there, however
// the file was named.
bool same_file(const HANDLE first, const HANDLE second) {
  BY_HANDLE_FILE_INFORMATION one;
  BY_HANDLE_FILE_INFORMATION other;
  return first != INVALID_HANDLE_VALUE && second != INVALID_HANDLE_VALUE &&
         GetFileInformationByHandle(first, &one) != 0 &&
         GetFileInformationByHandle(second, &other) != 0 &&
         one.dwVolumeSerialNumber == other.dwVolumeSerialNumber &&
         one.nFileIndexHigh == other.nFileIndexHigh && one.nFileIndexLow == other.nFileIndexLow;
}

HANDLE handle_of(std::FILE* const stream) {
  return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
}

std::FILE* stream_of(const InputFile& input) {
  return reinterpret_cast<std::FILE*>(input.handle);
}

}  // namespace

int open_input(const std::string& path, std::FILE* const package, InputFile* const input) {
  // Opening a directory fails; a device (NUL, CON) opens but is no file to pack.
  std::FILE* const stream = std::fopen(path.c_str(), "rb");
  if (stream == nullptr) return INPUT_CANNOT_OPEN;
  struct _stat64 status;
  int result = INPUT_CANNOT_OPEN;
  if (_fstat64(_fileno(stream), &status) == 0 && (status.st_mode & _S_IFMT) == _S_IFREG) {
    result = package != nullptr && same_file(handle_of(stream), handle_of(package))
                 ? INPUT_IS_PACKAGE
                 : 0;
  }
  if (result != 0) {
    std::fclose(stream);
    return result;
  }
  input->handle = reinterpret_cast<std::intptr_t>(stream);
  input->size = status.st_size;
  return 0;
}

std::size_t read_input(const InputFile& input, std::uint8_t* const bytes,
                       const std::size_t length) {
  return std::fread(bytes, 1, length, stream_of(input));
}

void close_input(const InputFile& input) {
  std::fclose(stream_of(input));
}

std::int64_t stream_position(std::FILE* stream) {
  return _ftelli64(stream);
}

std::string base_name(const std::string& path) {
  const std::string::size_type separator = path.rfind('\\');
  return separator == std::string::npos ? path : path.substr(separator + 1);
}

std::string join_path(const std::string& directory, const std::string& name) {
  return directory + "\\" + name;
}

int list_directory(const std::string& directory, std::vector<std::string>* names) {
  const std::string pattern = directory + "\\*.*";
  struct __finddata64_t entry;
  const std::intptr_t listing = _findfirst64(pattern.c_str(), &entry);
  if (listing == -1) return -1;
  names->clear();
  do {
    names->emplace_back(entry.name);
  } while (_findnext64(listing, &entry) == 0);
  _findclose(listing);
  return 0;
}

std::filesystem::path native_path(const std::string& path) {
  // A name that does not convert becomes the empty path, which no file call accepts.
  const UINT code_page = AreFileApisANSI() ? CP_ACP : CP_OEMCP;
  const int size = static_cast<int>(path.size());
  const int length = MultiByteToWideChar(code_page, 0, path.data(), size, nullptr, 0);
  if (length <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(code_page, 0, path.data(), size, &wide[0], length);
  return wide;
}

std::string folded_name(const std::string& name) {
  std::wstring wide = native_path(name).wstring();
  if (wide.empty()) return name;  // such a name cannot be written at all
  CharUpperBuffW(&wide[0], static_cast<DWORD>(wide.size()));
  return std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * sizeof(wchar_t));
}
