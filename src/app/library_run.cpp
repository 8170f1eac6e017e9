#include "app/library_run.h"

#include <map>
#include <string>
#include <vector>

#include "catalog/catalog.h"
#include "messages/messages.h"
#include "pipeline/pipeline.h"
#include "platform/directory_walk.h"
#include "platform/platform.h"

namespace tolvex {

namespace {

struct BookResult {
  std::string catalog;
  std::string failure;  // the book could not be converted at all
  std::vector<SubbookOutcome> subbooks;
};

bool is_catalog_name(const std::string& name) {
  return platform::matches_disc_name(name, "CATALOG") || platform::matches_disc_name(name, "CATALOGS");
}

// Every catalog below the folders, each file once however many paths lead to
// it. `complete` turns false for a folder that cannot be read or holds no book.
std::vector<std::string> find_books(const std::vector<std::string>& folders, bool& complete) {
  std::vector<std::string> books;
  std::map<std::string, std::string> seen;  // the file's identity -> the path it was first found by
  for (const std::string& folder : folders) {
    const auto found = platform::find_files(folder, is_catalog_name);
    if (!found || found->empty()) {
      msg_printf(found ? "No books in \"%s\"\n" : "Can't open \"%s\"\n", folder.c_str());
      complete = false;
      continue;
    }
    for (const platform::FoundFile& file : *found) {
      const auto [first, fresh] = seen.emplace(file.identity, file.path);
      if (fresh) {
        books.push_back(file.path);
      } else {
        msg_printf("Skipping \"%s\": the same file as \"%s\"\n", file.path.c_str(), first->second.c_str());
      }
    }
  }
  return books;
}

BookResult convert_book(const std::string& path, const RunOptions& options, LibraryRun& library) {
  BookResult result{path, {}, {}};
  std::unique_ptr<CatalogImage> catalog = load_catalog(path);
  if (!catalog) {
    msg_printf("Can't open \"%s\"\n", path.c_str());
    result.failure = "Can't open";
    return result;
  }
  const std::string fault = catalog_fault(*catalog);
  if (!fault.empty()) {
    msg_printf("Not a catalog: \"%s\" (%s)\n", path.c_str(), fault.c_str());
    result.failure = "not a catalog (" + fault + ")";
    return result;
  }
  library.book = path;
  library.outcomes.clear();
  convert_subbooks(*catalog, std::nullopt, std::nullopt, options, &library);
  result.subbooks = library.outcomes;
  return result;
}

// One line per subbook (or per book that was not converted), then the totals.
// Returns whether everything was written without a failure.
bool print_summary(const std::vector<BookResult>& books) {
  int ok = 0, failed = 0, skipped = 0, unread = 0;
  msg_printf("Summary:\n");
  for (const BookResult& book : books) {
    if (!book.failure.empty()) {
      msg_printf("  %s  -  -  %s\n", book.catalog.c_str(), book.failure.c_str());
      ++unread;
    }
    for (const SubbookOutcome& s : book.subbooks) {
      const char* result = s.skipped ? "skipped (stream book)" : s.failure.empty() ? "ok" : s.failure.c_str();
      msg_printf("  %s  %s  %s  %s\n", book.catalog.c_str(), s.dir_name.c_str(),
                 s.package.empty() ? "-" : s.package.c_str(), result);
      (s.skipped ? skipped : s.failure.empty() ? ok : failed) += 1;
    }
  }
  msg_printf("Total %d books (%d not read): %d subbooks ok, %d failed, %d skipped\n", static_cast<int>(books.size()),
             unread, ok, failed, skipped);
  return failed == 0 && unread == 0;
}

}  // namespace

int run_library(const CommandLine& cl) {
  log_start();
  print_options(cl.options);
  const std::time_t start = platform::now_seconds();

  bool complete = true;
  const std::vector<std::string> paths = find_books(cl.positional, complete);
  std::vector<BookResult> books;
  LibraryRun library;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    msg_printf("Book %d of %d: %s\n", static_cast<int>(i + 1), static_cast<int>(paths.size()), paths[i].c_str());
    books.push_back(convert_book(paths[i], cl.options, library));
  }
  complete = print_summary(books) && complete;

  msg_printf("Done.\n");
  print_elapsed(static_cast<long long>(platform::now_seconds()), static_cast<long long>(start));
  log_stop();
  return complete ? 0 : LIBRARY_INCOMPLETE;
}

}  // namespace tolvex
