#include "package/index_file.h"

#include <array>
#include <cstring>
#include <vector>

#include "catalog/bytes.h"
#include "components/plan.h"
#include "messages/messages.h"
#include "package/icons.h"
#include "package/text_output.h"
#include "platform/output_file.h"

namespace tolvex {
namespace {

using InfoRecord = std::array<std::uint8_t, INFO_RECORD_SIZE>;

// Name length at 16 and the name from 17; a name longer than the field is
// cut to its 31 bytes rather than spilling into the next record.
void put_name(InfoRecord& record, const std::string& name) {
  std::size_t length = name.size() < INFO_NAME_MAX ? name.size() : INFO_NAME_MAX;
  record[INFO_RECORD_NAME_LENGTH_AT] = static_cast<std::uint8_t>(length);
  std::memcpy(record.data() + INFO_RECORD_NAME_AT, name.data(), length);
}

InfoRecord font_record(std::uint8_t code, const std::string& name) {
  InfoRecord record{};
  record[INFO_RECORD_CODE_AT] = code;
  put_name(record, name);
  return record;
}

// One record per planned data file, in page order.
InfoRecord data_file_record(const PlannedFile& file) {
  InfoRecord record{};
  record[INFO_RECORD_CODE_AT] = file.code;
  put_be(record.data() + INFO_RECORD_FIRST_PAGE_AT, 4, file.first_page);
  put_be(record.data() + INFO_RECORD_LAST_PAGE_AT, 4, file.last_page());
  record[INFO_RECORD_ATTRIBUTE_AT] = file.attribute;
  std::memcpy(record.data() + INFO_RECORD_PARAMETERS_AT, file.parameters.data(), file.parameters.size());
  put_name(record, file.name);
  return record;
}

bool write_all(platform::OutputFile& out, const void* data, std::size_t size) {
  long written = out.write(data, size);
  return written >= 0 && static_cast<std::size_t>(written) == size;
}

// The file's temporary is removed when `out` goes.
int fail(const char* message) {
  msg_printf("%s\n", message);
  return -1;
}

}  // namespace

int write_index_file(const PackageDescription& package, const SubbookPlan& plan) {
  const std::string& title = package.title;
  const std::string& full_font = package.full_font;
  const std::string& half_font = package.half_font;
  const std::string file_name = package.out_name + ".IDX";
  const std::string path = package.file(file_name);
  platform::OutputFile out;
  if (!out.create(path)) {
    msg_printf("Can't create \"%s\"\n", path.c_str());
    return -1;
  }
  msg_printf("  Writing %s\n", file_name.c_str());

  const std::uint32_t n = static_cast<std::uint32_t>(plan.files.size()) + (full_font.empty() ? 0 : 1) +
      (half_font.empty() ? 0 : 1);

  std::uint8_t header[INFO_HEADER_SIZE] = {};
  std::memcpy(header, INFO_MAGIC.data(), INFO_MAGIC.size());
  const std::size_t title_length = title.size() < INFO_TITLE_MAX ? title.size() : INFO_TITLE_MAX;
  header[INFO_TITLE_LENGTH_AT] = static_cast<std::uint8_t>(title_length);
  std::memcpy(header + INFO_TITLE_AT, title.data(), title_length);
  header[INFO_COUNT_AT] = static_cast<std::uint8_t>(n);
  header[INFO_CATALOG_HEAD_AT] = package.catalog_head[0];
  header[INFO_CATALOG_HEAD_AT + 1] = package.catalog_head[1];
  const std::uint32_t large_offset = INFO_HEADER_SIZE + INFO_RECORD_SIZE * n;
  put_be(header + INFO_LARGE_ICON_OFFSET_AT, 4, large_offset);
  put_be(header + INFO_LARGE_ICON_SIZE_AT, 4, LARGE_ICON_SIZE);
  put_be(header + INFO_SMALL_ICON_OFFSET_AT, 4, large_offset + LARGE_ICON_SIZE);
  put_be(header + INFO_SMALL_ICON_SIZE_AT, 4, SMALL_ICON_SIZE);
  put_be(header + INFO_DIC_ID_AT, 4, package.dic_id);
  if (!write_all(out, header, sizeof header)) return fail("write() failed. (12)");

  for (const PlannedFile& file : plan.files) {
    const InfoRecord record = data_file_record(file);
    if (!write_all(out, record.data(), record.size())) return fail("write() failed. (13)");
  }
  if (!full_font.empty()) {
    const InfoRecord record = font_record(FULL_FONT_CODE, full_font);
    if (!write_all(out, record.data(), record.size())) return fail("write() failed. (14)");
  }
  if (!half_font.empty()) {
    const InfoRecord record = font_record(HALF_FONT_CODE, half_font);
    if (!write_all(out, record.data(), record.size())) return fail("write() failed. (15)");
  }

  std::uint8_t small_icon[SMALL_ICON_SIZE];
  std::uint8_t large_icon[LARGE_ICON_SIZE];
  select_icons(package.out_name, small_icon, large_icon);
  if (!write_all(out, large_icon, sizeof large_icon)) return fail("write() failed. (16)");
  if (!write_all(out, small_icon, sizeof small_icon)) return fail("write() failed. (17)");

  return commit_output(out);
}

}  // namespace tolvex
