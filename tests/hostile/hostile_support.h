// Helpers of the hostile-input tests: the e2e runner, the small generated
// book, file helpers, and the package files a conversion writes.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "e2e_support.h"
#include "recipes.h"

namespace tolvex::hostile {

namespace fs = std::filesystem;
using namespace e2e;
using namespace testing_support;

// Every package file a conversion of the subbook writes with `selection`,
// relative to the working directory (Dic/<DIR>/..., Dic/<DIR>.REG).
inline std::vector<std::string> package_paths(const testbook::GeneratedSubbook& subbook, int selection) {
  const std::string dir = "Dic/" + subbook.dir_name + "/";
  std::vector<std::string> paths;
  for (const std::string& name : e2e::package_names(subbook, selection)) {
    if (!name.empty()) paths.push_back(dir + name);
  }
  for (const std::string& name : {subbook.full_font, subbook.half_font, subbook.dir_name + ".IDX",
                                  std::string("DICPROF.INI"), std::string("EXINFO.INI")}) {
    if (!name.empty()) paths.push_back(dir + name);
  }
  paths.push_back("Dic/" + subbook.dir_name + ".REG");
  return paths;
}

inline bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace tolvex::hostile
