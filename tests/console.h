// How the tools' texts reach a pipe on each platform, for tests that compare exact bytes.
#pragma once

#include <string>

// Returns text as a tool's standard output or standard error carries it. On Windows both are
// text streams, as on every console there, so each "\n" goes out as "\r\n"; POSIX has no text
// mode and the bytes go out as written.
std::string console(const std::string& text);
