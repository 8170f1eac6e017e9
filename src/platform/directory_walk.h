// Finding files in a folder tree: the library run looks for every catalog
// below the folders it is given.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tolvex::platform {

struct FoundFile {
  std::string path;      // the root as given, then the names below it (UTF-8)
  std::string identity;  // the file's canonical path: two paths to one file share it
};

// Every regular file at any depth below `root` whose name `wanted` accepts,
// in path order (component by component). No link leads out of the root:
// linked folders are not entered, and a linked file counts only when it
// lies inside the root. Folders that cannot be read are passed over.
// Nullopt when `root` is not a folder that can be read.
std::optional<std::vector<FoundFile>> find_files(const std::string& root,
                                                 const std::function<bool(const std::string& name)>& wanted);

}  // namespace tolvex::platform
