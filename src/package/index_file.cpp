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
  record[16] = static_cast<std::uint8_t>(length);
  std::memcpy(record.data() + 17, name.data(), length);
}

InfoRecord font_record(std::uint8_t code, const std::string& name) {
  InfoRecord record{};
  record[3] = code;
  put_name(record, name);
  return record;
}

// One record per index entry whose code matches a selected kind, in page
// order; multi-search entries are numbered from 1 as the data writer did.
std::vector<InfoRecord> data_file_records(const std::uint8_t* index_page, BookFile* text_file, int selection) {
  std::vector<InfoRecord> records;
  int multi_number = 0;
  const int count = index_entry_count(index_page);
  for (int i = 0; i < count; ++i) {
    // The page is only read here; the view's setter is never used.
    const IndexEntryView view = index_entry(const_cast<std::uint8_t*>(index_page), i);
    const std::uint8_t* entry = view.bytes;
    const std::uint8_t code = view.code();
    const int row = match_component(code, selection);
    if (row < 0) continue;
    // Multi-search entries take the range their page lists (count 0 when unreadable).
    const PageRange range = entry_page_range(view, text_file);
    const std::uint32_t first_page = range.first;
    const std::uint32_t page_count = range.count;
    if (code == MULTI_SEARCH_CODE) ++multi_number;
    InfoRecord record{};
    record[3] = code;
    put_be(record.data() + 4, 4, first_page);
    put_be(record.data() + 8, 4, first_page + page_count - 1);
    record[12] = entry[10];
    std::memcpy(record.data() + 13, entry + 11, 3);
    put_name(record, component_file_name(COMPONENT_KINDS[row], multi_number));
    records.push_back(record);
  }
  return records;
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

int write_index_file(const PackageDescription& package, const std::uint8_t* index_page, BookFile* text_file) {
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

  // The records are built before the header so that the count in the header
  // and the icon offsets always describe the records that follow. With the
  // counts of the same planning pass this is their sum plus the font files;
  // the counts themselves are therefore not needed here.
  const std::vector<InfoRecord> records = data_file_records(index_page, text_file, package.options.selection);
  const std::uint32_t n = static_cast<std::uint32_t>(records.size()) + (full_font.empty() ? 0 : 1) +
      (half_font.empty() ? 0 : 1);

  std::uint8_t header[INFO_HEADER_SIZE] = {};
  std::memcpy(header, "VORQINFO", 8);
  const std::uint8_t fixed[4] = {0x00, 0x02, 0x00, 0x02};
  std::memcpy(header + 8, fixed, 4);
  const std::size_t title_length = title.size() < INFO_TITLE_MAX ? title.size() : INFO_TITLE_MAX;
  header[12] = static_cast<std::uint8_t>(title_length);
  std::memcpy(header + 13, title.data(), title_length);
  header[77] = static_cast<std::uint8_t>(n);
  header[78] = package.catalog_head[0];
  header[79] = package.catalog_head[1];
  const std::uint32_t large_offset = INFO_HEADER_SIZE + INFO_RECORD_SIZE * n;
  put_be(header + 80, 4, large_offset);
  put_be(header + 84, 4, LARGE_ICON_SIZE);
  put_be(header + 88, 4, large_offset + LARGE_ICON_SIZE);
  put_be(header + 92, 4, SMALL_ICON_SIZE);
  put_be(header + 96, 4, package.dic_id);
  if (!write_all(out, header, sizeof header)) return fail("write() failed. (12)");

  for (const InfoRecord& record : records) {
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
