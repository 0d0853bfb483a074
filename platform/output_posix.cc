// POSIX: the temporary file is created and renamed relative to an open handle on the target's
// directory, so that no name another process swaps meanwhile can redirect them.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

#include "output.h"
#include "posix_handles.h"

namespace {

constexpr int SIGNALS_THAT_END_A_RUN[] = {SIGINT, SIGTERM, SIGHUP};

// What the signal handler removes. A handler finds nothing but process-wide state, so this is
// the one place that keeps any: set with the signals blocked, read only by the handler.
volatile sig_atomic_t cleanup_armed = 0;
int cleanup_directory = -1;
char cleanup_name[128];

void remove_temporary_and_end(const int signal_number) {
  if (cleanup_armed != 0) unlinkat(cleanup_directory, cleanup_name, 0);
  struct sigaction default_action {};
  default_action.sa_handler = SIG_DFL;
  sigaction(signal_number, &default_action, nullptr);
  // Delivered once the handler returns, when the signal is no longer blocked: the process ends
  // as the signal would have ended it, and the shell sees that.
  raise(signal_number);
}

void install_cleanup_handlers() {
  for (const int signal_number : SIGNALS_THAT_END_A_RUN) {
    struct sigaction current {};
    sigaction(signal_number, nullptr, &current);
    // A signal ignored by whoever started corvane (nohup, a background job) stays ignored.
    if (current.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = remove_temporary_and_end;
    sigemptyset(&action.sa_mask);
    sigaction(signal_number, &action, nullptr);
  }
}

// Blocks the signals that end a run while the cleanup is being changed, so the handler never
// sees it half set.
sigset_t block_ending_signals() {
  sigset_t blocked;
  sigemptyset(&blocked);
  for (const int signal_number : SIGNALS_THAT_END_A_RUN) sigaddset(&blocked, signal_number);
  sigset_t previous;
  sigprocmask(SIG_BLOCK, &blocked, &previous);
  return previous;
}

void disarm_cleanup() {
  const sigset_t previous = block_ending_signals();
  cleanup_armed = 0;
  sigprocmask(SIG_SETMASK, &previous, nullptr);
}

// The file that name leads to through any links: the path of the last link's target, or name.
// Returns false on a loop of links.
bool follow_links(const std::string& name, std::string* const target) {
  *target = name;
  for (int links = 0; links < 40; ++links) {
    char buffer[4096];
    const ssize_t length = readlink(target->c_str(), buffer, sizeof buffer);
    if (length < 0) return true;
    const std::string link(buffer, static_cast<std::size_t>(length));
    const std::string::size_type slash = target->rfind('/');
    // A relative link is relative to the directory the link is in.
    *target =
        link[0] == '/' || slash == std::string::npos ? link : target->substr(0, slash + 1) + link;
  }
  return false;
}

// Creates the temporary file, exclusively and never through a link, and arms the cleanup before
// a signal can find it made but unknown.
int create_temporary(const int directory, const std::string& base, OutputFile* const output) {
  std::random_device entropy;
  const sigset_t previous = block_ending_signals();
  int descriptor = -1;
  for (int attempt = 0; attempt < 100 && descriptor < 0; ++attempt) {
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, "%ld-%08x", static_cast<long>(getpid()), entropy());
    output->temporary_name = "." + base + "." + suffix;
    descriptor = openat(directory, output->temporary_name.c_str(),
                        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (descriptor < 0 && errno != EEXIST) break;
  }
  if (descriptor >= 0 && output->temporary_name.size() < sizeof cleanup_name) {
    std::memcpy(cleanup_name, output->temporary_name.c_str(), output->temporary_name.size() + 1);
    cleanup_directory = directory;
    cleanup_armed = 1;
  }
  sigprocmask(SIG_SETMASK, &previous, nullptr);
  if (descriptor < 0) return PLATFORM_FAILED;
  install_cleanup_handlers();
  output->handle = descriptor;
  return PLATFORM_OK;
}

}  // namespace

void prepare_process() {
  // open gives the lowest free descriptor, so going up from 0 fills exactly the closed ones.
  for (int descriptor = 0; descriptor <= 2; ++descriptor) {
    if (fcntl(descriptor, F_GETFD) != -1 || errno != EBADF) continue;
    const int opened = open("/dev/null", O_RDWR);
    if (opened >= 0 && opened != descriptor) close(opened);
  }
  signal(SIGPIPE, SIG_IGN);
  signal(SIGXFSZ, SIG_IGN);
}

int create_output(const std::string& name, OutputFile* const output) {
  *output = OutputFile{};
  output->handle = -1;
  output->directory = -1;
  std::string target;
  if (!follow_links(name, &target)) return PLATFORM_FAILED;
  const std::string::size_type slash = target.rfind('/');
  const std::string directory_name = slash == std::string::npos ? "." : target.substr(0, slash + 1);
  output->target_name = slash == std::string::npos ? target : target.substr(slash + 1);
  const int directory = open(directory_name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (directory < 0) return PLATFORM_FAILED;
  output->directory = directory;

  struct stat existing;
  mode_t mode = 0;
  if (fstatat(directory, output->target_name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
    // A directory cannot be replaced; a link that appeared since it was followed is not trusted;
    // a file that may not be written is not replaced either.
    const bool is_device =
        !S_ISREG(existing.st_mode) && !S_ISDIR(existing.st_mode) && !S_ISLNK(existing.st_mode);
    const bool may_write = faccessat(directory, output->target_name.c_str(), W_OK, AT_EACCESS) == 0;
    if (is_device && may_write) {
      const int descriptor =
          openat(directory, output->target_name.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
      struct stat status;
      if (descriptor >= 0 && fstat(descriptor, &status) == 0) {
        close(directory);
        *output = {descriptor, false, identity_of(status), false, {}, -1, "", ""};
        return PLATFORM_OK;
      }
      if (descriptor >= 0) close(descriptor);
    }
    if (!S_ISREG(existing.st_mode) || !may_write) {
      close(directory);
      return PLATFORM_FAILED;
    }
    output->has_earlier = true;
    output->earlier = identity_of(existing);
    mode = existing.st_mode & 07777;
  } else if (errno != ENOENT) {
    close(directory);
    return PLATFORM_FAILED;
  }

  struct stat status;
  const std::string::size_type name_slash = name.rfind('/');
  const std::string base = name_slash == std::string::npos ? name : name.substr(name_slash + 1);
  if (create_temporary(directory, base, output) != PLATFORM_OK) {
    close(directory);
    return PLATFORM_FAILED;
  }
  output->is_temporary = true;
  // The new package keeps the earlier one's permissions, as truncating it in place would have.
  if (output->has_earlier) fchmod(descriptor_of(output->handle), mode);
  if (fstat(descriptor_of(output->handle), &status) != 0) {
    discard_output(output);
    return PLATFORM_FAILED;
  }
  output->identity = identity_of(status);
  return PLATFORM_OK;
}

int write_output_at(const OutputFile& output, const std::uint8_t* const bytes,
                    const std::size_t length, const std::int64_t offset) {
  std::size_t done = 0;
  while (done < length) {
    const ssize_t put = pwrite(descriptor_of(output.handle), bytes + done, length - done,
                               static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return PLATFORM_FAILED;
    done += static_cast<std::size_t>(put);
  }
  return PLATFORM_OK;
}

int cut_output(const OutputFile& output, const std::int64_t length) {
  const int descriptor = descriptor_of(output.handle);
  return ftruncate(descriptor, static_cast<off_t>(length)) == 0 &&
                 lseek(descriptor, static_cast<off_t>(length), SEEK_SET) == length
             ? PLATFORM_OK
             : PLATFORM_FAILED;
}

int commit_output(OutputFile* const output) {
  if (!output->is_temporary) {
    return close(descriptor_of(output->handle)) == 0 ? PLATFORM_OK : PLATFORM_FAILED;
  }
  const int directory = descriptor_of(output->directory);
  // On the disk before it has the name: a power cut never leaves the name on a file whose
  // bytes are not there yet.
  const bool written = fsync(descriptor_of(output->handle)) == 0;
  const bool closed = close(descriptor_of(output->handle)) == 0;
  if (!written || !closed ||
      renameat(directory, output->temporary_name.c_str(), directory, output->target_name.c_str()) !=
          0) {
    unlinkat(directory, output->temporary_name.c_str(), 0);
    disarm_cleanup();
    close(directory);
    return PLATFORM_FAILED;
  }
  disarm_cleanup();
  // The new name on the disk too; where a file system cannot say so, the rename still stands.
  fsync(directory);
  close(directory);
  return PLATFORM_OK;
}

void discard_output(OutputFile* const output) {
  close(descriptor_of(output->handle));
  if (!output->is_temporary) return;
  unlinkat(descriptor_of(output->directory), output->temporary_name.c_str(), 0);
  disarm_cleanup();
  close(descriptor_of(output->directory));
}
