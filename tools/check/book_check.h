// Whole-package verification against the source book.
//
// Given the book's catalog and a package directory Dic/<NAME>, works out what
// the converter must have written from the book itself (index page, merged
// page numbering of separate graphic and sound files, relocated references)
// and compares every file of the package with it:
//
//   <NAME>.IDX     header fields, file length 760 + 48 N, every record
//                  (code, first and last page, attribute, parameters, name)
//                  against the subbook's index page and font names
//   data files     header (VORQDATA) or size (raw) against their record, and
//                  every decoded page against the source pages read with
//                  read_block: the text file, or the separate graphic (0xD2)
//                  or sound (0xD8) file; the body text (0x00) with its
//                  graphic and sound references moved by the merged
//                  numbering's shifts
//   font copies    byte for byte against the GAIJI files
//   DICPROF.INI, EXINFO.INI, ../<NAME>.REG   present and not empty
//   anything else in the package directory is reported as not belonging.
//
// The selection the package was made with (-o, -g, -s) is read from the
// records present; every entry of the book that this selection covers must
// have its record, in index-page order.
#pragma once

#include <string>
#include <vector>

namespace tolvex {

struct BookCheckRequest {
  std::string catalog;      // path of CATALOG or CATALOGS (any case, ";1" suffix allowed)
  std::string subbook;      // source subbook directory; empty: the one named like the package
  std::string package_dir;  // Dic/<NAME>
};

// One line per file checked (":" OK or FAULT with the first difference),
// then one summary line. Returns 0 when everything matches, 1 otherwise.
int check_package_against_book(const BookCheckRequest& request, std::vector<std::string>& lines);

}  // namespace tolvex
