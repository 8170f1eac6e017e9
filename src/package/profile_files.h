// The installation profile Dic/<DIR>/DICPROF.INI and the source information
// file Dic/<DIR>/EXINFO.INI: Shift_JIS text, CR LF line ends.
//
// DICPROF.INI has a [GENERAL] section (title, DicId in decimal, <DIR>, the
// counts of required files and optional components), a [REQUIRED] section
// listing DICPROF.INI, EXINFO.INI, <DIR>.IDX, the selected required data
// files in component table order and the font files, then up to three
// [OPTIONAL<n>] sections, numbered without gaps, for the selected optional
// search indexes (multi-search files as MULTI1.DIC, MULTI2.DIC, ...), the
// colour graphics and the sound.
#pragma once

#include <cstdint>
#include <string>

#include "components/package_description.h"
#include "components/plan.h"

namespace tolvex {

// Each prints its progress line, then returns 0, or -1 when the file cannot
// be created (no further message) or cannot be written completely (message).
// DICPROF.INI lists the plan's files.
int write_dicprof_ini(const PackageDescription& package, const SubbookPlan& plan);
int write_exinfo_ini(const PackageDescription& package);

}  // namespace tolvex
