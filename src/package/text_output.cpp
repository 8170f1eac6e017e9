#include "package/text_output.h"

#include "messages/messages.h"

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
  platform::OutputFile out;
  if (!out.create(path)) {
    msg_printf("Can't create \"%s\"\n", path.c_str());
    return -1;
  }
  const std::string& bytes = lines.bytes();
  long written = out.write(bytes.data(), bytes.size());
  if (written < 0 || static_cast<std::size_t>(written) != bytes.size()) {
    msg_printf("write() failed. (%s)\n", path.c_str());
    return -1;
  }
  return commit_output(out);
}

int commit_output(platform::OutputFile& out) {
  if (const char* failed = out.commit()) {
    msg_printf("%s failed. (%s)\n", failed, out.path().c_str());
    return -1;
  }
  return 0;
}

}  // namespace tolvex
