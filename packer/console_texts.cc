#include "console_texts.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>

#include "node_descriptor.h"
#include "status.h"

std::string formatted(const char* const format, ...) {
  std::va_list arguments;
  va_start(arguments, format);
  std::va_list again;
  va_copy(again, arguments);
  const int length = std::vsnprintf(nullptr, 0, format, arguments);
  va_end(arguments);
  std::string text(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
  if (length > 0) std::vsnprintf(&text[0], text.size() + 1, format, again);
  va_end(again);
  return text;
}

std::string refusal_text(const PlanStep& step) {
  const char* const path = step.path.c_str();
  switch (step.verdict) {
    case STATUS_CANNOT_STAT:
      return formatted("Can NOT stat %s.", path);
    case STATUS_CANNOT_LIST:
      return "Can NOT open directory.\r\n";
    case STATUS_CANNOT_OPEN:
      return formatted("Can NOT open %s !\r\n", path);
    case STATUS_OUTPUT_FILE:
      return formatted("Can NOT pack %s: it is the output file !\r\n", path);
    case STATUS_FILE_TOO_LARGE:
      return formatted("Can NOT pack %s: larger than 2147483647 bytes !\r\n", path);
    case STATUS_FIRMWARE_TOO_BIG: {
      const std::int64_t limit = FIRMWARE_SIZE_LIMIT;
      return formatted("Firmware is too big for bootloader (%" PRId64 "B - %" PRId64 "B = %" PRId64
                       "B) !\r\n",
                       step.size, limit, step.size - limit);
    }
    case STATUS_NAME_TOO_LONG:
      return formatted("Can NOT pack %s: name longer than 15 characters !\r\n", path);
    case STATUS_NAME_NOT_IN_CODE_PAGE:
      return formatted("Can NOT pack %s: its name does not fit the code page !\r\n", path);
    case STATUS_NAME_NOT_A_FILE:
      return formatted("Can NOT pack %s: its name is empty, \".\" or \"..\" !\r\n", path);
    default:
      return "";
  }
}

std::string step_text(const PlanStep& step) {
  if (step.kind == STEP_DIRECTORY) {
    return step.verdict == STATUS_OK
               ? formatted("%s is a directory, diving ...\n", step.path.c_str())
               : refusal_text(step);
  }
  std::string text;
  if (!step.entry_name.empty()) text = formatted("File %s ...\r\n", step.entry_name.c_str());
  // A file that could not be opened, or that is the package, has not been measured.
  if (step.size < 0) return text + refusal_text(step);
  text += formatted("Processing %s (%" PRId64 "B) ...\r\n", step.path.c_str(), step.size);
  if (step.verdict != STATUS_OK) return text + refusal_text(step);
  if (step.is_firmware) {
    const std::int64_t limit = FIRMWARE_SIZE_LIMIT;
    return text + formatted("Firmware size: %" PRId64 "B (Remains: %" PRId64 "B)\r\n", step.size,
                            limit - step.size);
  }
  return text + formatted("Packing as %s ...\r\n", step.node_name.c_str());
}
