#include <cstdio>
#include <new>

#include "inspector.h"

int main(int argc, char** argv) {
  // The one exception the tool's code can meet is running out of memory inside the standard
  // library or the JSON library; it ends the run as a failure, never as a crash.
  try {
    return run_inspector(argc, argv);
  } catch (const std::bad_alloc&) {
    std::fputs("corvane-inspect: out of memory\n", stderr);
    return INSPECT_FAILED;
  }
}
