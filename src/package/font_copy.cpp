#include "package/font_copy.h"

#include <cstdint>

#include "bookfile/book_file.h"
#include "catalog/bytes.h"
#include "messages/messages.h"
#include "package/text_output.h"
#include "platform/output_file.h"
#include "platform/platform.h"

namespace tolvex {

int copy_font_file(const PackageDescription& package, const std::string& source_path, const std::string& font_name) {
  if (!is_safe_path_component(font_name)) {
    msg_printf("Can't copy font file \"%s\": not a plain file name\n", font_name.c_str());
    return -1;
  }
  // Through the book file reader, so a font kept as name.ebz is copied as
  // the font itself.
  int opened = 0;
  BookFilePtr source = open_book_file(source_path, 0, &opened);
  if (opened == platform::OPEN_NOT_REGULAR) {
    msg_printf("Can't copy font file \"%s\": not a regular file\n", font_name.c_str());
    return -1;
  }
  msg_printf("  Writing %s\n", font_name.c_str());
  if (!source) return -1;
  // Exactly the size the file had when opened: a file that grows is not
  // followed, and one that delivers less is a failed read.
  std::int64_t remaining = book_file_size(*source);
  const std::string destination = package.file(font_name);
  if (remaining < 0) {
    msg_printf("read() failed. (%s)\n", source_path.c_str());
    return -1;
  }
  platform::OutputFile target;
  if (!target.create(destination)) {
    msg_printf("Can't create \"%s\"\n", destination.c_str());
    return -1;
  }

  std::uint8_t buffer[FONT_COPY_BUFFER_SIZE];
  while (remaining > 0) {
    const std::size_t want = remaining < FONT_COPY_BUFFER_SIZE ? static_cast<std::size_t>(remaining) : sizeof buffer;
    long n = read_book_bytes(source.get(), buffer, want);
    if (n <= 0) {
      // A shortened copy is not a copy.
      msg_printf("read() failed. (%s)\n", source_path.c_str());
      return -1;
    }
    long written = target.write(buffer, static_cast<std::size_t>(n));
    if (written != n) {
      msg_printf("write() failed. (%s)\n", destination.c_str());
      return -1;
    }
    remaining -= n;
  }
  return commit_output(target);
}

}  // namespace tolvex
