#include "options.h"

int parse_options(const int argument_count, const char* const* const arguments,
                  InspectOptions* const options, std::string* const error) {
  *options = InspectOptions{};
  bool has_image = false;
  for (int i = 1; i < argument_count; ++i) {
    const std::string argument = arguments[i];
    if (argument == "--help") return OPTIONS_HELP;
    if (argument == "--version") return OPTIONS_VERSION;
    if (argument == "--against") {
      if (!has_image) {
        *error = "--against comes after IMAGE";
      } else if (i + 1 == argument_count) {
        *error = "--against needs at least one FILE_OR_DIR";
      } else {
        // corvane takes every argument as an input, dashes included, and so does the check.
        options->against = true;
        options->inputs.assign(arguments + i + 1, arguments + argument_count);
        return OPTIONS_INSPECT;
      }
    } else if (has_image) {
      *error = "unexpected argument " + argument + " after IMAGE";
    } else if (argument == "--json") {
      options->json = true;
      continue;
    } else if (argument == "--extract") {
      if (options->extract) {
        *error = "--extract given twice";
      } else if (i + 1 == argument_count) {
        *error = "--extract needs a directory";
      } else {
        options->extract = true;
        options->directory = arguments[++i];
        continue;
      }
    } else if (argument.size() > 1 && argument[0] == '-') {
      *error = "unknown option " + argument;
    } else {
      options->image = argument;
      has_image = true;
      continue;
    }
    return OPTIONS_INVALID;
  }
  if (!has_image) {
    *error = "no IMAGE given";
    return OPTIONS_INVALID;
  }
  return OPTIONS_INSPECT;
}
