// corvane-inspect's statuses: one series for the whole tool, from a single step up to the
// process exit status. A step returns INSPECT_OK or INSPECT_FAILED; the run's status is the worst
// of what it met.
#pragma once

constexpr int INSPECT_OK = 0;        // no problem, no difference, and all that was asked was done
constexpr int INSPECT_PROBLEMS = 1;  // the image has a problem, or differs from the inputs given,
                                     // or a node could not be extracted; each named on stderr
constexpr int INSPECT_FAILED = 2;    // usage, an unreadable image or input, a file not written
