// Turns one input that the plan accepted into one node of the package.
#pragma once

#include "pack_run.h"
#include "plan.h"

// Packs the input of step as one node appended to the run's package, reporting on the run's
// console, and closes the input. Returns STATUS_OK; STATUS_NO_MEMORY or STATUS_SHORT_READ with
// nothing added to the package; or STATUS_PACKAGE_FAILED when the package itself failed.
int pack_file(PackRun* run, PlanStep* step);
