// The package's binary index file Dic/<DIR>/<DIR>.IDX (info_file_layout.h):
// the header, one record per planned data file in page order, one per font
// file (full-width, then half-width), then the large and the small icon.
#pragma once

#include <cstdint>
#include <string>

#include "components/package_description.h"
#include "components/plan.h"
#include "package/info_file_layout.h"

namespace tolvex {

// One record per planned data file, with its pages in the merged numbering.
// Returns 0, or -1 after printing "Can't create \"%s\"\n" or
// "write() failed. (12)" ... "(17)".
int write_index_file(const PackageDescription& package, const SubbookPlan& plan);

}  // namespace tolvex
