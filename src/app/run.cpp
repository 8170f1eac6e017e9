#include "app/run.h"

#include <cstring>
#include <new>
#include <optional>
#include <string>

#include "app/command_line.h"
#include "app/library_run.h"
#include "catalog/bytes.h"
#include "catalog/catalog.h"
#include "messages/messages.h"
#include "pipeline/book_listing.h"
#include "pipeline/pipeline.h"
#include "platform/output_file.h"
#include "platform/platform.h"

namespace tolvex {

namespace {

// tolvex --list: the conversion's parameters and refusals, on the console
// alone; no file is written, not even the log.
int run_listing(const CommandLine& cl) {
  const std::string& catalog_path = cl.positional[0];
  std::unique_ptr<CatalogImage> catalog = read_catalog(catalog_path);
  if (!catalog) {
    console_printf("Can't open \"%s\"\n", catalog_path.c_str());
    return 1;
  }
  std::optional<std::string> subdir;
  std::optional<std::string> newdir;
  if (cl.positional.size() >= 2) upper_ascii(*(subdir = cl.positional[1]));
  if (cl.positional.size() >= 3) {
    if (cl.positional[2].size() > 8) {
      console_printf("New directory name too long (max 8 characters)\n");
      return 1;
    }
    upper_ascii(*(newdir = cl.positional[2]));
  }
  const int subbooks = catalog_subbook_count(*catalog);
  console_printf("Book: %s, %s layout, %d subbook%s\n", catalog_path.c_str(),
                 catalog_is_epwing(*catalog) ? "EPWING" : "EB", subbooks, subbooks == 1 ? "" : "s");
  list_subbooks(*catalog, subdir, newdir, cl.options);
  return 0;
}

int run_sequence(int argc, const char* const* argv) {
  std::optional<CommandLine> cl = parse_command_line(argc, argv);
  if (!cl) {
    print_usage();
    return 1;
  }
  platform::install_stop_handlers();
  if (cl->mode == RunMode::BOOKS) return run_library(*cl);
  if (cl->mode == RunMode::LIST) return run_listing(*cl);
  log_start();
  print_options(cl->options);
  std::time_t start = platform::now_seconds();

  const std::string& catalog_path = cl->positional[0];
  std::unique_ptr<CatalogImage> catalog = load_catalog(catalog_path);
  if (!catalog) {
    msg_printf("Can't open \"%s\"\n", catalog_path.c_str());
    log_stop();
    return 1;
  }

  std::optional<std::string> subdir;
  std::optional<std::string> newdir;
  if (cl->positional.size() >= 2) {
    subdir = cl->positional[1];
    upper_ascii(*subdir);
  }
  if (cl->positional.size() >= 3) {
    if (cl->positional[2].size() > 8) {
      msg_printf("New directory name too long (max 8 characters)\n");
      log_stop();
      return 1;
    }
    newdir = cl->positional[2];
    upper_ascii(*newdir);
  }

  convert_subbooks(*catalog, subdir, newdir, cl->options);
  free_catalog(catalog);

  msg_printf("Done.\n");
  print_elapsed(static_cast<long long>(platform::now_seconds()), static_cast<long long>(start));
  log_stop();
  return 0;
}

// The last word when the run cannot go on at all; the message itself may
// find no memory, and then the status alone tells.
int fail_run(const char* message) {
  try {
    msg_printf("%s", message);
    log_stop();
  } catch (...) {
    platform::console_write(message, std::strlen(message));
  }
  return 1;
}

}  // namespace

int run_tolvex(int argc, const char* const* argv) {
  // Short of memory outside a subbook (which ends alone), the run ends with
  // a message and status 1 instead of an abort.
  try {
    return run_sequence(argc, argv);
  } catch (const std::bad_alloc&) {
    return fail_run("Out of memory\n");
  } catch (...) {
    return fail_run("Unexpected failure\n");
  }
}

}  // namespace tolvex
