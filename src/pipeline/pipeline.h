// The subbook pipeline: walks the catalog's subbook records in order and turns
// every selected subbook into a package under Dic/.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "catalog/catalog.h"
#include "components/run_options.h"
#include "pipeline/library_run.h"

namespace tolvex {

// Converts every selected subbook; per-subbook failures are reported and
// passed over. Always returns 0. With `library`, each subbook's outcome is
// kept there and a package name that another book of the run made is refused.
int convert_subbooks(const CatalogImage& catalog, const std::optional<std::string>& subdir,
                     const std::optional<std::string>& newdir, const RunOptions& options,
                     LibraryRun* library = nullptr);

// 32-bit package identifier from the first 8 characters of the name.
std::uint32_t make_dic_id(const std::string& name);

}  // namespace tolvex
