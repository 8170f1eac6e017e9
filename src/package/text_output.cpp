#include "package/text_output.h"

#include "messages/messages.h"
#include "platform/platform.h"

namespace tolvex {

TextLines& TextLines::line(std::string_view text) {
  bytes_.append(text);
  bytes_.append("\r\n");
  return *this;
}

TextLines& TextLines::line(std::string_view a, std::string_view b) {
  bytes_.append(a);
  return line(b);
}

TextLines& TextLines::line(std::string_view a, std::string_view b, std::string_view c) {
  bytes_.append(a);
  bytes_.append(b);
  return line(c);
}

int write_text_file(const std::string& path, const TextLines& lines) {
  int fd = platform::open_write(path);
  if (fd < 0) return -1;
  const std::string& bytes = lines.bytes();
  long written = platform::write_fd(fd, bytes.data(), bytes.size());
  if (written < 0 || static_cast<std::size_t>(written) != bytes.size()) {
    msg_printf("write() failed. (%s)\n", path.c_str());
    platform::close_fd(fd);
    return -1;
  }
  if (platform::close_fd(fd) != 0) {
    msg_printf("close() failed. (%s)\n", path.c_str());
    return -1;
  }
  return 0;
}

}  // namespace tolvex
