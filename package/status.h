// Status results, one series for the whole tool. Only STATUS_OK, STATUS_USAGE and
// STATUS_PACKAGE_FAILED ever become the process exit status.
#pragma once

constexpr int STATUS_OK = 0;
constexpr int STATUS_USAGE = -1;             // usage printed; also: a directory cannot be listed
constexpr int STATUS_CANNOT_OPEN = -2;       // input missing, unreadable or not a regular file
constexpr int STATUS_FIRMWARE_TOO_BIG = -3;  // firmware image over FIRMWARE_SIZE_LIMIT
constexpr int STATUS_NO_MEMORY = -4;         // no buffer for the payload
constexpr int STATUS_PACKAGE_FAILED = -5;    // package image cannot be created or written
constexpr int STATUS_NAME_TOO_LONG = -6;     // base name does not fit the name field
constexpr int STATUS_FILE_TOO_LARGE = -7;    // size does not fit the 32-bit size fields
constexpr int STATUS_SHORT_READ = -8;        // fewer bytes read than measured
constexpr int STATUS_OUTPUT_FILE = -9;       // the input is the package image itself
