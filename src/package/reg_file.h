// The registry script Dic/<DIR>.REG, beside the package directory: a
// REGEDIT4 file that registers the package under its DicId with its title
// and the path of its index file. CR LF line ends.
#pragma once

#include "components/package_description.h"

namespace tolvex {

// Prints "  Writing <DIR>.REG"; returns 0, or -1 when the file cannot be
// created (no further message) or cannot be written completely (message).
// Lone '"' and '\' of the title are escaped inside its quoted values.
int write_reg_file(const PackageDescription& package);

}  // namespace tolvex
