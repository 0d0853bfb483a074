// Windows, the tool's home platform: the C runtime's own status query and listing are used as
// they are, with their refusals; files are read and written through Win32 handles. The
// separator is "\" alone ("/" is a character of the name as far as the base name goes), and a
// walk takes the entries in the order the listing yields them.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include "platform.h"

namespace {

HANDLE handle_of(const std::intptr_t handle) {
  return reinterpret_cast<HANDLE>(handle);
}

// The file's volume and index there, which no other name of another file shares.
bool take_identity(const HANDLE file, FileIdentity* const identity) {
  BY_HANDLE_FILE_INFORMATION information;
  if (GetFileInformationByHandle(file, &information) == 0) return false;
  *identity = {
      information.dwVolumeSerialNumber,
      static_cast<std::uint64_t>(information.nFileIndexHigh) << 32 | information.nFileIndexLow};
  return true;
}

// ReadFile and WriteFile take at most 4 GiB - 1 at a time.
DWORD clamped(const std::size_t length) {
  return length > 0x40000000u ? 0x40000000u : static_cast<DWORD>(length);
}

}  // namespace

int query_path_status(const std::string& path, bool* is_directory) {
  // Refuses "*" and "?", a bare drive such as X: and a trailing "\" or "/" other than a root.
  struct _stat64 status;
  if (_stat64(path.c_str(), &status) != 0) return PLATFORM_FAILED;
  *is_directory = (status.st_mode & _S_IFMT) == _S_IFDIR;
  return PLATFORM_OK;
}

bool is_same_file(const FileIdentity& one, const FileIdentity& other) {
  return one.volume == other.volume && one.index == other.index;
}

int identify_file(const std::intptr_t handle, FileIdentity* const identity) {
  return take_identity(handle_of(handle), identity) ? PLATFORM_OK : PLATFORM_FAILED;
}

int open_input(const std::string& path, InputFile* const input) {
  // Opening a directory fails; a device (NUL, CON) opens but is no file to pack.
  const HANDLE file = CreateFileA(
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

int create_output(const std::string& name, OutputFile* const output) {
  // Others may read the package while it is written, as corvane itself does to refuse it as an
  // input.
  const HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return PLATFORM_FAILED;
  FileIdentity identity{};
  const bool is_regular = GetFileType(file) == FILE_TYPE_DISK;
  if (is_regular && !take_identity(file, &identity)) {
    CloseHandle(file);
    return PLATFORM_FAILED;
  }
  *output = {reinterpret_cast<std::intptr_t>(file), is_regular, identity};
  return PLATFORM_OK;
}

int write_output(const OutputFile& output, const std::uint8_t* const bytes,
                 const std::size_t length) {
  std::size_t done = 0;
  while (done < length) {
    DWORD put = 0;
    if (WriteFile(handle_of(output.handle), bytes + done, clamped(length - done), &put, nullptr) ==
            0 ||
        put == 0) {
      return PLATFORM_FAILED;
    }
    done += put;
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

int close_output(const OutputFile& output) {
  return CloseHandle(handle_of(output.handle)) != 0 ? PLATFORM_OK : PLATFORM_FAILED;
}

int remove_file(const std::string& name) {
  return DeleteFileA(name.c_str()) != 0 ? PLATFORM_OK : PLATFORM_FAILED;
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
  if (listing == -1) return PLATFORM_FAILED;
  names->clear();
  do {
    names->emplace_back(entry.name);
  } while (_findnext64(listing, &entry) == 0);
  _findclose(listing);
  return PLATFORM_OK;
}

int open_directory(const std::string& path, OpenDirectory* const directory,
                   std::vector<std::string>* const names) {
  if (list_directory(path, names) != PLATFORM_OK) return PLATFORM_FAILED;
  *directory = {-1, path};
  return PLATFORM_OK;
}

int open_entry_input(const OpenDirectory& directory, const std::string& name,
                     InputFile* const input) {
  return open_input(join_path(directory.path, name), input);
}

void close_directory(const OpenDirectory&) {}

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
