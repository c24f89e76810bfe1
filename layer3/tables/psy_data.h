// The psychoacoustic table text, one table row per line, parsed by CPsyTables for the sampling
// frequency in use. Written by tools/gen_psy_tables.cpp; the construction is described there.
#pragma once

namespace layer3::tables {

inline constexpr int kPsyDataLines = 837;

extern const char* const kPsyData[kPsyDataLines];

}  // namespace layer3::tables
