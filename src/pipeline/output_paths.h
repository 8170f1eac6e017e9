// Where a package goes: its directory "Dic/<DIR>" relative to the current
// directory, and its registry script "Dic/<DIR>.REG" beside it.
#pragma once

#include <string>
#include <string_view>

namespace tolvex {

inline constexpr const char* DIC_ROOT = "Dic";

std::string package_dir(std::string_view out_name);      // Dic/<DIR>
std::string registry_script(std::string_view out_name);  // Dic/<DIR>.REG

}  // namespace tolvex
