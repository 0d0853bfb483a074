// What the POSIX files of platform/ share: descriptors kept as the platform's handles, and
// identities taken from a file's status.
#pragma once

#include <sys/stat.h>

#include <cstdint>

#include "platform.h"

inline int descriptor_of(const std::intptr_t handle) {
  return static_cast<int>(handle);
}

inline FileIdentity identity_of(const struct stat& status) {
  return {static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
}
