#include <cstdlib>
#include <ctime>

#include "driver.h"
#include "output.h"

namespace {
std::uint32_t current_time_seconds() {
  return static_cast<std::uint32_t>(std::time(nullptr));
}
}  // namespace

int main(int argc, char** argv) {
  prepare_process();
  return run(command_line_arguments(argc, argv), current_time_seconds,
             std::getenv("SOURCE_DATE_EPOCH"));
}
