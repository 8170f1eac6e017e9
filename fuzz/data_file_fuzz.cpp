// The VORQDATA reader on any bytes: it never reads out of bounds, and what it
// accepts is consistent with its own header.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "components/data_file_reader.h"
#include "fuzz_support.h"

using namespace tolvex;

TOLVEX_FUZZ_TARGET("datafile") {
  DataFile file;
  std::string error;
  if (!parse_data_file(input, file, error)) {
    if (error.empty()) fuzz::fail("failure without a message");
    return;
  }
  if (!error.empty()) fuzz::fail("success with a message");
  if (file.chunks.size() != file.chunk_count) fuzz::fail("chunk records differ from chunk_count");
  if (file.pages.size() % PAGE_SIZE != 0) fuzz::fail("pages not whole");
  const std::uint64_t pages = file.page_count();
  if (file.chunk_count == 0) {
    if (pages != 0) fuzz::fail("pages without chunks");
  } else {
    if (static_cast<std::uint64_t>(file.last_page) + 1 - file.first_page != pages) fuzz::fail("page range differs");
    if (pages > 16ull * file.chunk_count || pages <= 16ull * (file.chunk_count - 1u)) fuzz::fail("chunk sizes");
  }
}
