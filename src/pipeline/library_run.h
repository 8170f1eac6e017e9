// What the pipeline keeps for a library run (many books into one Dic/): the
// outcome of each subbook, and which book made each package, so that a later
// book cannot overwrite it.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "components/run_options.h"

namespace tolvex {

// How one subbook of a library run ended.
struct SubbookOutcome {
  std::string dir_name;
  std::string package;   // Dic/<DIR>; empty when none was made
  std::string failure;   // the first failure; empty: ok
  bool skipped = false;  // a stream book, which is not converted
};

struct LibraryRun {
  std::string book;                           // catalog path of the book being converted
  std::map<std::string, std::string> makers;  // package name -> catalog path of the book that made it
  std::vector<SubbookOutcome> outcomes;       // of the book being converted
};

// The pipeline's side of a library run, for one book; without a LibraryRun
// every call does nothing, so a single-book run is what it always was. While
// it lives it watches the messages: a subbook's first failure is the last
// message printed before one of its steps gave up.
class OutcomeRecorder {
 public:
  OutcomeRecorder(LibraryRun* library, const RunOptions& options);
  ~OutcomeRecorder();
  OutcomeRecorder(const OutcomeRecorder&) = delete;
  OutcomeRecorder& operator=(const OutcomeRecorder&) = delete;

  // A selected subbook's start; end() keeps an outcome only after it.
  void begin(const std::string& dir_name);
  void skipped() { outcome_.skipped = true; }
  // True (with the message) when another book of the run made `out_name`.
  bool refuses(const std::string& dir_name, const std::string& out_name);
  void made(const std::string& out_name, const std::string& package_dir);
  // A writer's result: below 0 is a failure.
  void check(int result);
  // The subbook's end; `converted`: it reached the end of its steps.
  void end(bool converted);

 private:
  void failed();

  LibraryRun* library_;
  const RunOptions& options_;
  SubbookOutcome outcome_;
  bool begun_ = false;
  std::string last_message_;
};

}  // namespace tolvex
