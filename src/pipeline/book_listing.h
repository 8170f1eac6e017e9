// A look at a book before it is converted (tolvex --list): per subbook what
// a conversion with the same parameters would read and write. Console only:
// nothing is written, not even the log.
#pragma once

#include <optional>
#include <string>

#include "catalog/catalog.h"
#include "components/run_options.h"

namespace tolvex {

// Lists every subbook that `subdir` selects (all without it). A subbook that
// cannot be read gets the message its conversion would print, and the
// listing goes on.
void list_subbooks(const CatalogImage& catalog, const std::optional<std::string>& subdir,
                   const std::optional<std::string>& newdir, const RunOptions& options);

}  // namespace tolvex
