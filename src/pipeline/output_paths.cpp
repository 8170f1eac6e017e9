#include "pipeline/output_paths.h"

namespace tolvex {

std::string package_dir(std::string_view out_name) {
  std::string path(DIC_ROOT);
  path.push_back('/');
  path.append(out_name);
  return path;
}

std::string registry_script(std::string_view out_name) { return package_dir(out_name) + ".REG"; }

}  // namespace tolvex
