// Helpers of the hostile-input tests: the e2e runner, the small generated
// book and file helpers.
#pragma once

#include <filesystem>
#include <string>

#include "e2e_support.h"
#include "recipes.h"

namespace tolvex::hostile {

namespace fs = std::filesystem;
using namespace e2e;
using namespace testing_support;

inline bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace tolvex::hostile
