#include "pipeline/library_run.h"

#include "messages/messages.h"

namespace tolvex {

namespace {

// The flags of a run as typed, for the command that converts a refused book.
std::string flags_of(const RunOptions& options) {
  std::string flags;
  if (options.selection == (DO_OPTIONAL | DO_GRAPHICS | DO_SOUND)) {
    flags = "-a ";
  } else {
    if (options.selection & DO_OPTIONAL) flags += "-o ";
    if (options.selection & DO_GRAPHICS) flags += "-g ";
    if (options.selection & DO_SOUND) flags += "-s ";
  }
  if (options.NO_HASH) flags += "-n ";
  if (options.DO_RAW) flags += "-r ";
  return flags;
}

// A failure message as a summary shows it: without its line breaks. A writer
// that could not create its file prints nothing after its "Writing" line.
std::string failure_text(std::string_view message) {
  const std::size_t first = message.find_first_not_of(" \r\n");
  const std::size_t last = message.find_last_not_of(" \r\n");
  std::string text(first == std::string_view::npos ? std::string_view() : message.substr(first, last - first + 1));
  if (text.starts_with("Writing ")) text += " failed";
  return text;
}

}  // namespace

OutcomeRecorder::OutcomeRecorder(LibraryRun* library, const RunOptions& options)
    : library_(library), options_(options) {
  if (library_) set_message_tap([this](std::string_view text) { last_message_ = text; });
}

OutcomeRecorder::~OutcomeRecorder() {
  if (library_) set_message_tap(nullptr);
}

void OutcomeRecorder::begin(const std::string& dir_name) {
  outcome_ = SubbookOutcome{};
  outcome_.dir_name = dir_name;
  begun_ = true;
}

bool OutcomeRecorder::refuses(const std::string& dir_name, const std::string& out_name) {
  if (!library_) return false;
  const auto maker = library_->makers.find(out_name);
  if (maker == library_->makers.end() || maker->second == library_->book) return false;
  const char* book = library_->book.c_str();
  msg_printf("Refusing %s of %s: Dic/%s was made by %s in this run\n", dir_name.c_str(), book, out_name.c_str(),
             maker->second.c_str());
  outcome_.failure = "refused: Dic/" + out_name + " was made by " + maker->second;
  msg_printf("  To convert it under another name: tolvex %s%s %s <newdir>\n", flags_of(options_).c_str(), book,
             dir_name.c_str());
  return true;
}

void OutcomeRecorder::made(const std::string& out_name, const std::string& package_dir) {
  if (!library_) return;
  library_->makers.emplace(out_name, library_->book);
  outcome_.package = package_dir;
}

void OutcomeRecorder::check(int result) {
  if (result < 0) failed();
}

void OutcomeRecorder::end(bool converted) {
  if (!library_ || !begun_) return;
  if (!converted && !outcome_.skipped) failed();
  library_->outcomes.push_back(outcome_);
  begun_ = false;
}

void OutcomeRecorder::failed() {
  if (library_ && outcome_.failure.empty()) outcome_.failure = failure_text(last_message_);
}

}  // namespace tolvex
