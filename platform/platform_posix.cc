// POSIX: the separator is "/", but a path typed for the home platform may still use "\", so the
// base name is cut at whichever comes last. Listings are sorted as Windows lists ASCII names, so
// that the same directory always gives the same package, here and there.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform.h"
#include "posix_handles.h"

namespace {

constexpr std::size_t READ_LIMIT = std::size_t{1} << 30;

}  // namespace

std::vector<NativeString> command_line_arguments(const int argument_count, char** const arguments) {
  return std::vector<NativeString>(arguments + (argument_count > 0 ? 1 : 0),
                                   arguments + argument_count);
}

std::string narrow_name(const NativeString& name, bool* const exact) {
  if (exact != nullptr) *exact = true;
  return name;
}

NativeString native_name(const std::string& bytes) {
  return bytes;
}

int query_path_status(const std::string& path, bool* is_directory) {
  struct stat status;
  if (stat(path.c_str(), &status) != 0) return PLATFORM_FAILED;
  *is_directory = S_ISDIR(status.st_mode);
  return PLATFORM_OK;
}

int identify_file(const std::intptr_t handle, FileIdentity* const identity) {
  struct stat status;
  if (fstat(descriptor_of(handle), &status) != 0) return PLATFORM_FAILED;
  *identity = identity_of(status);
  return PLATFORM_OK;
}

namespace {

// Opens name, relative to the directory open as at (AT_FDCWD for the current one), as an input.
int open_input_at(const int at, const char* const name, InputFile* const input) {
  // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer for ever.
  const int descriptor = openat(at, name, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (descriptor < 0) return PLATFORM_FAILED;
  struct stat status;
  if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
    close(descriptor);
    return PLATFORM_FAILED;
  }
  *input = {descriptor, status.st_size, identity_of(status)};
  return PLATFORM_OK;
}

unsigned char folded_letter(const char c) {
  return static_cast<unsigned char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
}

// The order Windows lists ASCII names in on NTFS, so that one set of files gives one package on
// every platform: letters compared as capitals (so "_" comes after them), then names that
// differ only in case by their bytes.
bool walks_before(const std::string& one, const std::string& other) {
  const std::size_t common = std::min(one.size(), other.size());
  for (std::size_t i = 0; i < common; ++i) {
    const unsigned char a = folded_letter(one[i]);
    const unsigned char b = folded_letter(other[i]);
    if (a != b) return a < b;
  }
  if (one.size() != other.size()) return one.size() < other.size();
  return one < other;  // std::string compares as unsigned bytes
}

// Reads the names of the directory open as descriptor, which the listing takes over.
int read_names(const int descriptor, std::vector<std::string>* const names) {
  DIR* const listing = fdopendir(descriptor);
  if (listing == nullptr) {
    close(descriptor);
    return PLATFORM_FAILED;
  }
  names->clear();
  while (const dirent* const entry = readdir(listing)) names->emplace_back(entry->d_name);
  closedir(listing);
  std::sort(names->begin(), names->end(), walks_before);
  return PLATFORM_OK;
}

int open_directory_descriptor(const std::string& path) {
  return open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

}  // namespace

int open_input(const std::string& path, InputFile* const input) {
  return open_input_at(AT_FDCWD, path.c_str(), input);
}

std::int64_t read_input(const InputFile& input, std::uint8_t* const bytes,
                        const std::size_t length) {
  std::size_t done = 0;
  while (done < length) {
    // Linux moves at most 2 GiB - 4 KiB in one call: a larger request would come back short
    // before the end.
    const std::size_t asked = std::min(length - done, READ_LIMIT);
    const ssize_t got = read(descriptor_of(input.handle), bytes + done, asked);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return -1;
    done += static_cast<std::size_t>(got);
    if (static_cast<std::size_t>(got) < asked) break;
  }
  return static_cast<std::int64_t>(done);
}

void close_input(const InputFile& input) {
  close(descriptor_of(input.handle));
}

int write_to_file(const std::intptr_t handle, const std::uint8_t* const bytes,
                  const std::size_t length) {
  std::size_t done = 0;
  while (done < length) {
    const ssize_t put = write(descriptor_of(handle), bytes + done, length - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return PLATFORM_FAILED;
    done += static_cast<std::size_t>(put);
  }
  return PLATFORM_OK;
}

std::string base_name(const std::string& path) {
  const std::string::size_type separator = path.find_last_of("/\\");
  return separator == std::string::npos ? path : path.substr(separator + 1);
}

std::string join_path(const std::string& directory, const std::string& name) {
  return directory + "/" + name;
}

int list_directory(const std::string& directory, std::vector<std::string>* names) {
  const int descriptor = open_directory_descriptor(directory);
  return descriptor < 0 ? PLATFORM_FAILED : read_names(descriptor, names);
}

int open_directory(const std::string& path, OpenDirectory* const directory,
                   std::vector<std::string>* const names) {
  const int descriptor = open_directory_descriptor(path);
  if (descriptor < 0) return PLATFORM_FAILED;
  // The listing closes the descriptor it reads; the entries are opened through a second one.
  const int kept = fcntl(descriptor, F_DUPFD_CLOEXEC, 0);
  if (kept < 0) {
    close(descriptor);
    return PLATFORM_FAILED;
  }
  if (read_names(descriptor, names) != PLATFORM_OK) {
    close(kept);
    return PLATFORM_FAILED;
  }
  *directory = {kept, path};
  return PLATFORM_OK;
}

int open_entry_input(const OpenDirectory& directory, const std::string& name,
                     InputFile* const input) {
  return open_input_at(descriptor_of(directory.handle), name.c_str(), input);
}

void close_directory(const OpenDirectory& directory) {
  close(descriptor_of(directory.handle));
}

std::filesystem::path native_path(const std::string& path) {
  return path;
}

std::string folded_name(const std::string& name) {
  std::string folded = name;
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}
