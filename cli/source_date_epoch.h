// SOURCE_DATE_EPOCH, the build tools' shared way to fix the time a build says it was made: here
// it fixes the session keys' seed, so the same inputs give the same package, run after run.
#pragma once

#include <cstdint>

// Reads value, which must be whole seconds since 1970: decimal digits only, at most
// 9223372036854775807. Returns true and sets seed to its low 32 bits, as the clock's seconds
// would be; returns false for any other text.
bool parse_source_date_epoch(const char* value, std::uint32_t* seed);
