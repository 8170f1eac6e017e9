// One description of the package being written for a subbook: its names, its
// title, its font files, its identifier, the run's selection and switches, and
// where its files go. The pipeline builds it once per subbook and hands it to
// every writer (data files, index file, profiles, registry script, fonts).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "components/component_table.h"
#include "components/run_options.h"

namespace tolvex {

struct PackageDescription {
  std::string out_name;   // <DIR>: the package's name, at most 8 characters
  std::string dir;        // its directory, Dic/<DIR>, relative to the current directory
  std::string reg_path;   // its registry script, Dic/<DIR>.REG
  std::string title;      // Shift_JIS
  std::string full_font;  // font file names in GAIJI; empty: none
  std::string half_font;
  std::uint32_t dic_id = 0;
  // The first two bytes of the subbook's catalog record, copied into the index file.
  std::array<std::uint8_t, 2> catalog_head{};
  RunOptions options;  // selection bits, NO_HASH, DO_RAW, threads

  // Dic/<DIR>/<name>
  std::string file(std::string_view name) const {
    std::string path = dir;
    path.push_back('/');
    path.append(name);
    return path;
  }
};

}  // namespace tolvex
