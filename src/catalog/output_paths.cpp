#include "catalog/output_paths.h"

namespace tolvex {

std::string package_dir(std::string_view out_name) {
  std::string path(DIC_ROOT);
  path.push_back('/');
  path.append(out_name);
  return path;
}

std::string package_file(std::string_view out_name, std::string_view file_name) {
  std::string path = package_dir(out_name);
  path.push_back('/');
  path.append(file_name);
  return path;
}

bool is_safe_path_component(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (char c : name) {
    if (c == '/' || c == '\\' || c == ':' || c == '\0') return false;
  }
  return true;
}

}  // namespace tolvex
