#include "app/command_line.h"

#include <string_view>

#include "messages/messages.h"

namespace tolvex {

namespace {
constexpr const char* kProgramName = "tolvex";
constexpr const char* kProgramVersion = "0.2";
constexpr const char* kProgramDate = "2004/11/20";
}  // namespace

std::optional<CommandLine> parse_command_line(int argc, const char* const* argv) {
  CommandLine cl;
  int i = 1;
  for (; i < argc && argv[i][0] == '-'; ++i) {
    // The two long options; any other "--..." is refused as before.
    const std::string_view arg = argv[i];
    if (arg == "--list" || arg == "--books") {
      if (cl.mode != RunMode::CONVERT) return std::nullopt;
      cl.mode = arg == "--list" ? RunMode::LIST : RunMode::BOOKS;
      continue;
    }
    // Only the second character is looked at: -og acts as -o.
    switch (argv[i][1]) {
      case 'o':
      case 'O': cl.options.selection |= DO_OPTIONAL; break;
      case 'g':
      case 'G': cl.options.selection |= DO_GRAPHICS; break;
      case 's':
      case 'S': cl.options.selection |= DO_SOUND; break;
      case 'a':
      case 'A': cl.options.selection |= DO_OPTIONAL | DO_GRAPHICS | DO_SOUND; break;
      case 'n':
      case 'N': cl.options.NO_HASH = true; break;
      case 'r':
      case 'R': cl.options.DO_RAW = true; break;
      default: return std::nullopt;  // -x, a lone -, -- and anything else
    }
  }
  int remaining = argc - i;
  if (remaining <= 0 || (remaining > 3 && cl.mode != RunMode::BOOKS)) return std::nullopt;
  for (; i < argc; ++i) cl.positional.emplace_back(argv[i]);
  return cl;
}

void print_usage() {
  console_printf("%s Ver.%s %s\n", kProgramName, kProgramVersion, kProgramDate);
  console_printf("Usage: tolvex [-o] [-g] [-s] [-a] [-x] catalog [subdir [newdir]]\n");
  console_printf("Options:\n");
  console_printf("    -o: generate optional components\n");
  console_printf("    -g: generate graphics component\n");
  console_printf("    -s: generate sound component\n");
  console_printf("    -a: same as \"-o -g -s\"\n");
  console_printf("Parameters:\n");
  console_printf("    catalog: pathname of CATALOG/CATALOGS file\n");
  console_printf("    subdir: subdirectory name to be processed\n");
  console_printf("    newdir: assign new name to subdir\n");
}

void print_options(const RunOptions& options) {
  msg_printf("Options:");
  if (options.selection & DO_OPTIONAL) msg_printf(" DO_OPTIONAL");
  if (options.selection & DO_GRAPHICS) msg_printf(" DO_GRAPHICS");
  if (options.selection & DO_SOUND) msg_printf(" DO_SOUND");
  if (options.NO_HASH) msg_printf(" NO_HASH");
  if (options.DO_RAW) msg_printf(" DO_RAW");
  msg_printf("\n");
}

void print_elapsed(long long end, long long start) {
  long long d = end - start;
  msg_printf("Time elapsed: %d:%02d\n", static_cast<int>(d / 60), static_cast<int>(d % 60));
}

}  // namespace tolvex
