#include "console.h"

std::string console(const std::string& text) {
#ifdef _WIN32
  std::string translated;
  for (const char c : text) translated += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return translated;
#else
  return text;
#endif
}
