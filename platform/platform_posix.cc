// POSIX: the separator is "/", but a path typed for the home platform may still use "\", so the
// base name is cut at whichever comes last. Listings are sorted so that the same directory
// always gives the same package.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "platform.h"

int query_path_status(const std::string& path, bool* is_directory) {
  struct stat status;
  if (stat(path.c_str(), &status) != 0) return -1;
  *is_directory = S_ISDIR(status.st_mode);
  return 0;
}

std::FILE* open_regular_file(const std::string& path) {
  // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer for ever.
  const int descriptor = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (descriptor < 0) return nullptr;
  struct stat status;
  if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
    close(descriptor);
    return nullptr;
  }
  std::FILE* const stream = fdopen(descriptor, "rb");
  if (stream == nullptr) close(descriptor);
  return stream;
}

bool names_same_file(const std::string& path, std::FILE* stream) {
  struct stat named;
  struct stat open;
  if (stat(path.c_str(), &named) != 0 || fstat(fileno(stream), &open) != 0) return false;
  return named.st_dev == open.st_dev && named.st_ino == open.st_ino;
}

std::int64_t seek_to_end(std::FILE* stream) {
  if (fseeko(stream, 0, SEEK_END) != 0) return -1;
  return stream_position(stream);
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
