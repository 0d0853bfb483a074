// POSIX: every file is made relative to the directory's descriptor, so the path the directory
// was opened by plays no further part.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <system_error>

#include "extract_files.h"

namespace {

// The signals whose default ends the process, held back while a temporary file exists.
constexpr int TERMINATION_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
constexpr int SIGNAL_COUNT = 4;
static_assert(sizeof TERMINATION_SIGNALS / sizeof TERMINATION_SIGNALS[0] == SIGNAL_COUNT, "");

// Tries this many names before giving up: only names planted in advance can be there, and a
// random part makes each one a guess.
constexpr int TEMPORARY_NAME_TRIES = 100;

int descriptor_of(const std::intptr_t handle) {
  return static_cast<int>(handle);
}

// Holds back the termination signals that are not held back already; returns those, as bits in
// the order of TERMINATION_SIGNALS, for release_signals.
int hold_signals() {
  sigset_t wanted;
  sigset_t before;
  sigemptyset(&wanted);
  for (const int signal : TERMINATION_SIGNALS) sigaddset(&wanted, signal);
  if (sigprocmask(SIG_BLOCK, &wanted, &before) != 0) return 0;
  int held = 0;
  for (int i = 0; i < SIGNAL_COUNT; ++i) {
    if (sigismember(&before, TERMINATION_SIGNALS[i]) == 0) held |= 1 << i;
  }
  return held;
}

// Lets the held signals through again; one that came meanwhile takes effect now.
void release_signals(const int held) {
  sigset_t released;
  sigemptyset(&released);
  for (int i = 0; i < SIGNAL_COUNT; ++i) {
    if ((held & 1 << i) != 0) sigaddset(&released, TERMINATION_SIGNALS[i]);
  }
  sigprocmask(SIG_UNBLOCK, &released, nullptr);
}

std::string temporary_name(ExtractDirectory* const directory) {
  std::uint64_t value = 0;
  if (getentropy(&value, sizeof value) != 0) {
    value = static_cast<std::uint64_t>(getpid()) << 32;
  }
  value += directory->next_temporary++;
  char name[48];
  std::snprintf(name, sizeof name, ".corvane-inspect-%016" PRIx64 ".tmp", value);
  return name;
}

}  // namespace

int open_extract_directory(const std::string& path, ExtractDirectory* const directory) {
  if (path.empty()) return PLATFORM_FAILED;
  std::error_code error;
  std::filesystem::create_directories(path, error);
  const int descriptor = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (descriptor < 0) return PLATFORM_FAILED;
  *directory = {descriptor, path, 0};
  return PLATFORM_OK;
}

void close_extract_directory(const ExtractDirectory& directory) {
  close(descriptor_of(directory.handle));
}

int create_extract_file(ExtractDirectory* const directory, ExtractFile* const file) {
  const int held = hold_signals();
  for (int i = 0; i < TEMPORARY_NAME_TRIES; ++i) {
    const std::string name = temporary_name(directory);
    // O_EXCL: a name already there, a link included, is never opened; O_NOFOLLOW says so twice.
    // Mode 0666 as for any new file: the umask takes off what the user wants taken off.
    const int descriptor = openat(descriptor_of(directory->handle), name.c_str(),
                                  O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (descriptor < 0 && errno == EEXIST) continue;
    if (descriptor < 0) break;
    FileIdentity identity;
    if (identify_file(descriptor, &identity) != PLATFORM_OK) {
      close(descriptor);
      unlinkat(descriptor_of(directory->handle), name.c_str(), 0);
      break;
    }
    *file = {descriptor, identity, name, held};
    return PLATFORM_OK;
  }
  release_signals(held);
  return PLATFORM_FAILED;
}

int commit_extract_file(const ExtractDirectory& directory, ExtractFile* const file,
                        const std::string& name) {
  const int at = descriptor_of(directory.handle);
  // A close that fails may have lost written bytes: the file is not whole.
  const bool completed = close(descriptor_of(file->handle)) == 0 &&
                         renameat(at, file->temporary_name.c_str(), at, name.c_str()) == 0;
  if (!completed) unlinkat(at, file->temporary_name.c_str(), 0);
  release_signals(file->held_signals);
  return completed ? PLATFORM_OK : PLATFORM_FAILED;
}

void discard_extract_file(const ExtractDirectory& directory, ExtractFile* const file) {
  close(descriptor_of(file->handle));
  unlinkat(descriptor_of(directory.handle), file->temporary_name.c_str(), 0);
  release_signals(file->held_signals);
}

int query_entry_identity(const ExtractDirectory& directory, const std::string& name,
                         FileIdentity* const identity) {
  struct stat status;
  if (fstatat(descriptor_of(directory.handle), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
    return PLATFORM_FAILED;
  }
  *identity = {static_cast<std::uint64_t>(status.st_dev),
               static_cast<std::uint64_t>(status.st_ino)};
  return PLATFORM_OK;
}

bool can_hold_file_name(const std::string&) {
  return true;
}
