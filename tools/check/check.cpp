#include "check.h"

#include <cstdio>

#include "book_check.h"
#include "components/data_file_reader.h"

namespace tolvex {

FileVerdict check_data_file(const std::string& path) {
  FileVerdict verdict;
  DataFile file;
  std::string error;
  if (!read_data_file(path, file, error)) {
    verdict.line = path + ": FAULT: " + error;
    return verdict;
  }
  char text[160];
  std::snprintf(text, sizeof text, ": code 0x%02X, %u chunks, %zu pages (%lu..%lu): OK", file.code,
                static_cast<unsigned>(file.chunk_count), file.page_count(), static_cast<unsigned long>(file.first_page),
                static_cast<unsigned long>(file.last_page));
  verdict.ok = true;
  verdict.line = path + text;
  return verdict;
}

const char* const CHECK_USAGE =
    "Usage: tolvex-check FILE...\n"
    "       tolvex-check --book CATALOG [--subbook DIR] PACKAGE_DIR\n"
    "\n"
    "The first form reads VORQDATA data files back and prints one summary line\n"
    "per file.\n"
    "\n"
    "The second form verifies a whole package directory (Dic/<NAME>) against the\n"
    "book it was made from: CATALOG is the book's CATALOG or CATALOGS file, DIR\n"
    "the subbook's directory in the book (default: the subbook named like the\n"
    "package, or the book's only subbook). Every record of <NAME>.IDX is checked\n"
    "against the book's index page, every data file's pages against the source\n"
    "pages (graphic and sound pages from their own files in the merged page\n"
    "numbering, references in the body text moved by its shifts), the font\n"
    "copies against the GAIJI files, and DICPROF.INI, EXINFO.INI and\n"
    "../<NAME>.REG for presence. One line per file; the first difference is\n"
    "named by page and byte.\n"
    "\n"
    "Exit status: 0 all sound, 1 any fault, 2 bad command line.\n";

int run_check(const std::vector<std::string>& args, std::string& out, std::string& err) {
  if (args.empty()) {
    err += CHECK_USAGE;
    return 2;
  }
  if (args[0] == "--help" || args[0] == "-h") {
    out += CHECK_USAGE;
    return 0;
  }
  if (args[0] == "--book") {
    BookCheckRequest request;
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
      if ((args[i] == "--book" || args[i] == "--subbook") && i + 1 < args.size()) {
        (args[i] == "--book" ? request.catalog : request.subbook) = args[i + 1];
        ++i;
      } else if (!args[i].empty() && args[i][0] == '-') {
        rest.clear();
        break;
      } else {
        rest.push_back(args[i]);
      }
    }
    if (rest.size() != 1 || request.catalog.empty()) {
      err += CHECK_USAGE;
      return 2;
    }
    request.package_dir = rest[0];
    std::vector<std::string> lines;
    const int status = check_package_against_book(request, lines);
    for (const std::string& line : lines) out += line + "\n";
    return status;
  }
  int status = 0;
  for (const std::string& path : args) {
    const FileVerdict verdict = check_data_file(path);
    out += verdict.line;
    out += '\n';
    if (!verdict.ok) status = 1;
  }
  return status;
}

}  // namespace tolvex
