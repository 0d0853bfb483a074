// What the Windows files of platform/ share: handles kept as the platform's handles, identities
// taken from an open file, and the size of one read or write.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "platform.h"

inline HANDLE handle_of(const std::intptr_t handle) {
  return reinterpret_cast<HANDLE>(handle);
}

// The file's volume and index there, which no other name of another file shares.
inline bool take_identity(const HANDLE file, FileIdentity* const identity) {
  BY_HANDLE_FILE_INFORMATION information;
  if (GetFileInformationByHandle(file, &information) == 0) return false;
  *identity = {
      information.dwVolumeSerialNumber,
      static_cast<std::uint64_t>(information.nFileIndexHigh) << 32 | information.nFileIndexLow};
  return true;
}

// ReadFile and WriteFile take at most 4 GiB - 1 at a time.
inline DWORD clamped(const std::size_t length) {
  return length > 0x40000000u ? 0x40000000u : static_cast<DWORD>(length);
}
