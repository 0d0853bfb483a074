// The texts a run prints on the console, exactly as corvane prints them, line ends included.
// Most lines end in "\r\n"; a few texts end in none and the next text goes on the same line.
#pragma once

#include <string>

#include "plan.h"

// Everything printed for step before anything of it is packed: for a directory, the diving line
// or the listing's failure; for an input, its "File" line when it was met in a walk, then its
// refusal, or its processing line and what it is packed as.
std::string step_text(const PlanStep& step);

// The text that says why step is refused, as step_text has it; empty when it is not refused.
std::string refusal_text(const PlanStep& step);

// printf into a string.
std::string formatted(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
