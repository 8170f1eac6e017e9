#include "package/font_copy.h"

#include "app/messages.h"
#include "bookfile/book_file.h"
#include "platform/platform.h"
#include "source/output_paths.h"

namespace tolvex {

int copy_font_file(const std::string& source_path, const std::string& out_name, const std::string& font_name) {
  if (!is_safe_path_component(font_name)) {
    msg_printf("Can't copy font file \"%s\": not a plain file name\n", font_name.c_str());
    return -1;
  }
  msg_printf("  Writing %s\n", font_name.c_str());
  const std::string destination = package_file(out_name, font_name);

  // Through the book file reader, so a font kept as name.ebz is copied as
  // the font itself.
  BookFilePtr source = open_book_file(source_path, 0);
  if (!source) return -1;
  int target = platform::open_write(destination);
  if (target < 0) return -1;

  int result = 0;
  std::uint8_t buffer[FONT_COPY_BUFFER_SIZE];
  for (;;) {
    long n = read_book_bytes(source.get(), buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      // A shortened copy is not a copy.
      msg_printf("read() failed. (%s)\n", source_path.c_str());
      result = -1;
      break;
    }
    long written = platform::write_fd(target, buffer, static_cast<std::size_t>(n));
    if (written != n) {
      msg_printf("write() failed. (%s)\n", destination.c_str());
      result = -1;
      break;
    }
  }
  if (platform::close_fd(target) != 0 && result == 0) {
    msg_printf("close() failed. (%s)\n", destination.c_str());
    result = -1;
  }
  return result;
}

}  // namespace tolvex
