// Where package files go: "Dic/<DIR>/<file>" relative to the current
// directory, and "Dic/<DIR>.REG" beside the package directory.
#pragma once

#include <string>
#include <string_view>

namespace tolvex {

inline constexpr const char* DIC_ROOT = "Dic";

std::string package_dir(std::string_view out_name);                               // Dic/<DIR>
std::string package_file(std::string_view out_name, std::string_view file_name);  // Dic/<DIR>/<file>

// A name taken from the book that is safe as one path component: not empty,
// not "." or "..", and free of '/', '\' and ':' (and NUL), so that nothing
// can be written outside Dic/.
bool is_safe_path_component(std::string_view name);

}  // namespace tolvex
