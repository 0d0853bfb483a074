// The packer's statuses: one series for the whole run. STATUS_OK and STATUS_PACKAGE_FAILED are
// what a run ends in; the others say why one input was left out, and the run goes on without
// it. The numbers are those corvane has always used, -1 (its usage) aside.
#pragma once

constexpr int STATUS_OK = 0;
constexpr int STATUS_CANNOT_OPEN = -2;       // input missing, unreadable or not a regular file
constexpr int STATUS_FIRMWARE_TOO_BIG = -3;  // firmware image over FIRMWARE_SIZE_LIMIT
constexpr int STATUS_NO_MEMORY = -4;         // no buffer for the node
constexpr int STATUS_PACKAGE_FAILED = -5;    // the package cannot be created or written: run ends
constexpr int STATUS_NAME_TOO_LONG = -6;     // base name does not fit the name field
constexpr int STATUS_FILE_TOO_LARGE = -7;    // size does not fit a size line's %i
constexpr int STATUS_SHORT_READ = -8;        // the input did not yield the bytes measured
constexpr int STATUS_OUTPUT_FILE = -9;       // the input is the package image itself
constexpr int STATUS_CANNOT_STAT = -10;      // an argument whose status cannot be read
constexpr int STATUS_CANNOT_LIST = -11;      // a directory argument that cannot be listed
constexpr int STATUS_NAME_NOT_A_FILE = -12;  // base name empty, "." or "..": no file's name
constexpr int STATUS_NAME_NOT_IN_CODE_PAGE = -13;  // base name has no exact bytes in the code page
