// Helpers of the hostile-input tests: small generated books, byte surgery on
// their files, where pages of a source file are stored, and fingerprints of
// whole directory trees.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "e2e_support.h"
#include "testbook.h"

namespace tolvex::hostile {

namespace fs = std::filesystem;
using e2e::run_tolvex_in;
using e2e::RunResult;
using e2e::ScratchDir;

// A small EPWING book: one subbook SAMPLE whose text file has the given kind,
// with separate graphic and sound files when `separate` is set.
testbook::BookRecipe small_book(int text_kind, bool separate);

void write_file(const fs::path& path, const std::vector<std::uint8_t>& bytes);

// Size, contents hash, permissions and modification time of every entry
// below dir (directories too; the target of a link), by relative path.
std::map<std::string, std::string> fingerprint(const fs::path& dir);

// File offset where page p (from 1) of a source file is stored: (p - 1) *
// 2048 for a plain file, the page index's location for a compressed one
// (0 when the page index does not reach the page).
std::uint64_t page_location(const fs::path& file, int kind, std::uint32_t page);

// Every package file a conversion of the subbook writes with `selection`,
// relative to the working directory (Dic/<DIR>/..., Dic/<DIR>.REG).
std::vector<std::string> package_paths(const testbook::GeneratedSubbook& subbook, int selection);

bool contains(const std::string& text, const std::string& part);

}  // namespace tolvex::hostile
