// Lays out a subbook's index page for tests: entry_count, then 16-byte
// entries (code, start_page, page_count, attribute, parameters) from byte 16.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "catalog/bytes.h"

namespace tolvex::testing_support {

struct TestIndexEntry {
  std::uint8_t code;
  std::uint32_t start_page;
  std::uint32_t page_count;
  std::uint8_t attribute = 0;
  std::array<std::uint8_t, 3> parameters{};
};

inline std::vector<std::uint8_t> make_index_page(const std::vector<TestIndexEntry>& entries) {
  std::vector<std::uint8_t> page(2048, 0);
  put_be(page.data(), 2, static_cast<std::uint32_t>(entries.size()));
  for (std::size_t i = 0; i < entries.size(); ++i) {
    std::uint8_t* e = page.data() + 16 + 16 * i;
    e[0] = entries[i].code;
    put_be(e + 2, 4, entries[i].start_page);
    put_be(e + 6, 4, entries[i].page_count);
    e[10] = entries[i].attribute;
    for (int k = 0; k < 3; ++k) e[11 + k] = entries[i].parameters[static_cast<std::size_t>(k)];
  }
  return page;
}

}  // namespace tolvex::testing_support
