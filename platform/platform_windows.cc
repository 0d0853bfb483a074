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

std::FILE* open_regular_file(const std::string& path) {
  // Opening a directory fails; a device (NUL, CON) opens but is no file to pack.
  std::FILE* const stream = std::fopen(path.c_str(), "rb");
  if (stream == nullptr) return nullptr;
  struct _stat64 status;
  if (_fstat64(_fileno(stream), &status) != 0 || (status.st_mode & _S_IFMT) != _S_IFREG) {
    std::fclose(stream);
    return nullptr;
  }
  return stream;
}

namespace {

// Fills identity with what tells a file from every other: its volume and its index there.
bool file_identity(const HANDLE file, BY_HANDLE_FILE_INFORMATION* const identity) {
  return file != INVALID_HANDLE_VALUE && GetFileInformationByHandle(file, identity) != 0;
}

}  // namespace

bool names_same_file(const std::string& path, std::FILE* stream) {
  // Only its attributes are read and every sharing is allowed: the file is looked at, never
  // disturbed. FILE_FLAG_BACKUP_SEMANTICS lets a directory be opened too (it is another file).
  const HANDLE named = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  BY_HANDLE_FILE_INFORMATION named_identity;
  BY_HANDLE_FILE_INFORMATION open_identity;
  const bool known =
      file_identity(named, &named_identity) &&
      file_identity(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream))), &open_identity);
  if (named != INVALID_HANDLE_VALUE) CloseHandle(named);
  return known && named_identity.dwVolumeSerialNumber == open_identity.dwVolumeSerialNumber &&
         named_identity.nFileIndexHigh == open_identity.nFileIndexHigh &&
         named_identity.nFileIndexLow == open_identity.nFileIndexLow;
}

std::int64_t seek_to_end(std::FILE* stream) {
  if (_fseeki64(stream, 0, SEEK_END) != 0) return -1;
  return stream_position(stream);
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
