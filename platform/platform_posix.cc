// POSIX: the separator is "/", but a path typed for the home platform may still use "\", so the
// base name is cut at whichever comes last. Listings are sorted so that the same directory
// always gives the same package.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "platform.h"

int query_path_status(const std::string& path, bool* is_directory) {
  struct stat status;
  if (stat(path.c_str(), &status) != 0) return -1;
  *is_directory = S_ISDIR(status.st_mode);
  return 0;
}

int open_input(const std::string& path, std::FILE* const package, InputFile* const input) {
  // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer for ever.
  const int descriptor = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (descriptor < 0) return INPUT_CANNOT_OPEN;
  struct stat status;
  struct stat output;
  int result = INPUT_CANNOT_OPEN;
  if (fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode)) {
    const bool is_package = package != nullptr && fstat(fileno(package), &output) == 0 &&
                            status.st_dev == output.st_dev && status.st_ino == output.st_ino;
    result = is_package ? INPUT_IS_PACKAGE : 0;
  }
  if (result != 0) {
    close(descriptor);
    return result;
  }
  input->handle = descriptor;
  input->size = status.st_size;
  return 0;
}

std::size_t read_input(const InputFile& input, std::uint8_t* const bytes,
                       const std::size_t length) {
  std::size_t done = 0;
  while (done < length) {
    const ssize_t got = read(static_cast<int>(input.handle), bytes + done, length - done);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<std::size_t>(got);
  }
  return done;
}

void close_input(const InputFile& input) {
  close(static_cast<int>(input.handle));
}

std::int64_t stream_position(std::FILE* stream) {
  return ftello(stream);
}

std::string base_name(const std::string& path) {
  const std::string::size_type separator = path.find_last_of("/\\");
  return separator == std::string::npos ? path : path.substr(separator + 1);
}

std::string join_path(const std::string& directory, const std::string& name) {
  return directory + "/" + name;
}

int list_directory(const std::string& directory, std::vector<std::string>* names) {
  DIR* const listing = opendir(directory.c_str());
  if (listing == nullptr) return -1;
  names->clear();
  while (const dirent* const entry = readdir(listing)) names->emplace_back(entry->d_name);
  closedir(listing);
  // std::string compares as unsigned bytes, so this is the byte order of the names.
  std::sort(names->begin(), names->end());
  return 0;
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
