#include <ctime>

#include "driver.h"

namespace {
std::uint32_t current_time_seconds() {
  return static_cast<std::uint32_t>(std::time(nullptr));
}
}  // namespace

int main(int argc, char** argv) {
  return run(argc, argv, current_time_seconds);
}
