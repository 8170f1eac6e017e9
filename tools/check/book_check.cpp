#include "book_check.h"

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>
#include <optional>
#include <set>

#include "bookfile/book_file.h"
#include "bookfile/relocate.h"
#include "catalog/bytes.h"
#include "catalog/catalog.h"
#include "catalog/subbook_source.h"
#include "components/component_table.h"
#include "components/data_file_reader.h"
#include "components/plan.h"
#include "package/icons.h"
#include "package/index_file.h"
#include "pipeline/pipeline.h"
#include "platform/platform.h"

namespace tolvex {
namespace {

using Bytes = std::vector<std::uint8_t>;

#if defined(__MINGW32__)
// MinGW's "printf" checks Microsoft's rules; the C99 ones (%zu) are gnu_printf.
std::string format(const char* f, ...) __attribute__((format(gnu_printf, 1, 2)));
#elif defined(__GNUC__)
std::string format(const char* f, ...) __attribute__((format(printf, 1, 2)));
#endif
std::string format(const char* f, ...) {
  char text[512];
  va_list args;
  va_start(args, f);
  std::vsnprintf(text, sizeof text, f, args);
  va_end(args);
  return text;
}

// Through the platform layer, which finds the disc name forms and opens
// paths in any script on Windows.
std::optional<Bytes> read_whole(const std::string& path) {
  const int fd = platform::open_read(platform::resolve_path_case(path));
  if (fd < 0) return std::nullopt;
  Bytes bytes;
  std::uint8_t buffer[4096];
  long n = 0;
  while ((n = platform::read_fd(fd, buffer, sizeof buffer)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
  platform::close_fd(fd);
  if (n < 0) return std::nullopt;
  return bytes;
}

// A book file as the converter reads it: a font kept as name.ebz gives the
// font's own bytes.
std::optional<Bytes> read_book_file(const std::string& path) {
  BookFilePtr file = open_book_file(path, 0);
  if (!file) return std::nullopt;
  Bytes bytes;
  std::uint8_t buffer[4096];
  long n = 0;
  while ((n = read_book_bytes(file.get(), buffer, sizeof buffer)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
  if (n < 0) return std::nullopt;
  return bytes;
}

// The subbook the package was made from: the one named like the package (or
// --subbook), or the catalog's only subbook.
std::optional<SubbookSource> find_subbook(const CatalogImage& catalog, const std::string& wanted,
                                          const std::string& package, std::string& why) {
  const std::string name = wanted.empty() ? package : wanted;
  const int n = catalog_readable_entries(catalog);
  std::vector<std::pair<int, SubbookSource>> all;
  for (int i = 0; i < n; ++i)
    if (const std::optional<SubbookEntry> entry = catalog_entry(catalog, i)) all.emplace_back(i, name_subbook(*entry));
  auto found = std::find_if(all.begin(), all.end(), [&](const auto& s) { return s.second.dir_name == name; });
  if (found == all.end() && wanted.empty() && all.size() == 1) found = all.begin();
  if (found == all.end()) {
    why = wanted.empty() ? "no subbook named " + name + " in the catalog; name it with --subbook"
                         : "no subbook named " + name + " in the catalog";
    return std::nullopt;
  }
  if (!find_source_files(catalog, found->first, found->second)) {
    why = "no file record for " + found->second.dir_name + " in the catalog";
    return std::nullopt;
  }
  return found->second;
}

// One record of the index file.
struct Record {
  std::uint8_t code = 0;
  std::uint32_t first = 0, last = 0;
  std::uint8_t attribute = 0;
  std::array<std::uint8_t, 3> parameters{};
  std::string name;
};

// A record as the book says it must be, with where its pages come from.
struct Expected {
  Record record;
  bool font = false;
  int row = -1;
  BookFile* source = nullptr;
  std::uint32_t own_first = 0, count = 0;  // in the source file's own numbering
  bool relocate = false;
};

Record parse_record(const std::uint8_t* r) {
  Record rec;
  rec.code = r[INFO_RECORD_CODE_AT];
  rec.first = get_be(r + INFO_RECORD_FIRST_PAGE_AT, 4);
  rec.last = get_be(r + INFO_RECORD_LAST_PAGE_AT, 4);
  rec.attribute = r[INFO_RECORD_ATTRIBUTE_AT];
  std::memcpy(rec.parameters.data(), r + INFO_RECORD_PARAMETERS_AT, rec.parameters.size());
  const std::size_t length = std::min<std::size_t>(r[INFO_RECORD_NAME_LENGTH_AT], INFO_NAME_MAX);
  rec.name.assign(reinterpret_cast<const char*>(r + INFO_RECORD_NAME_AT), length);
  return rec;
}

std::string describe(const Record& r) {
  return format("code 0x%02X, pages %u..%u, attribute 0x%02X, parameters %02X %02X %02X, name \"%s\"", r.code,
                static_cast<unsigned>(r.first), static_cast<unsigned>(r.last), r.attribute, r.parameters[0],
                r.parameters[1], r.parameters[2], r.name.c_str());
}

bool same(const Record& a, const Record& b) {
  return a.code == b.code && a.first == b.first && a.last == b.last && a.attribute == b.attribute &&
      a.parameters == b.parameters && a.name == b.name;
}

// The file's size for its record count: header, records and the two icons.
std::size_t idx_size(unsigned records) {
  return INFO_HEADER_SIZE + INFO_RECORD_SIZE * records + LARGE_ICON_SIZE + SMALL_ICON_SIZE;
}

// The reserved bytes and name padding of every record.
std::string check_idx_records(const Bytes& idx, unsigned n) {
  for (unsigned k = 0; k < n; ++k) {
    const std::uint8_t* r = idx.data() + INFO_HEADER_SIZE + INFO_RECORD_SIZE * k;
    if (r[0] || r[1] || r[2]) return format("record %u: reserved bytes 0..2 not zero", k + 1);
    const unsigned length = r[INFO_RECORD_NAME_LENGTH_AT];
    if (length > INFO_NAME_MAX) return format("record %u: name length %u above %d", k + 1, length, INFO_NAME_MAX);
    for (std::size_t i = INFO_RECORD_NAME_AT + length; i < INFO_RECORD_SIZE; ++i)
      if (r[i] != 0) return format("record %u: name padding byte %zu is 0x%02X", k + 1, i, r[i]);
  }
  return "";
}

// The header fields of the index file that do not depend on the records.
std::string check_idx_header(const Bytes& idx, const SubbookSource& src, const std::string& package) {
  if (idx.size() < INFO_HEADER_SIZE) return format("%zu bytes, shorter than the 128-byte header", idx.size());
  const unsigned n = idx[INFO_COUNT_AT];
  if (idx.size() != idx_size(n))
    return format("%zu bytes, but %u records make 760 + 48 x %u = %zu", idx.size(), n, n, idx_size(n));
  if (std::memcmp(idx.data(), INFO_MAGIC.data(), INFO_MAGIC.size()) != 0)
    return "bad magic or fixed bytes (bytes 0..11)";
  const std::string title = src.title.substr(0, std::min<std::size_t>(src.title.size(), INFO_TITLE_MAX));
  if (idx[INFO_TITLE_LENGTH_AT] != title.size() ||
      std::memcmp(idx.data() + INFO_TITLE_AT, title.data(), title.size()) != 0)
    return "title (bytes 12..76) differs from the catalog's title";
  for (std::size_t i = INFO_TITLE_AT + title.size(); i < INFO_COUNT_AT; ++i)
    if (idx[i] != 0) return format("title padding byte %zu is 0x%02X", i, idx[i]);
  const std::uint8_t* head = idx.data() + INFO_CATALOG_HEAD_AT;
  if (head[0] != src.entry.book_type() || head[1] != src.entry.entry_version())
    return format("catalog bytes 78..79 are %02X %02X, the catalog has %02X %02X", head[0], head[1],
                  src.entry.book_type(), src.entry.entry_version());
  const std::uint32_t large = INFO_HEADER_SIZE + INFO_RECORD_SIZE * n;
  const std::uint32_t want[4] = {large, LARGE_ICON_SIZE, large + LARGE_ICON_SIZE, SMALL_ICON_SIZE};
  for (int i = 0; i < 4; ++i) {
    const int at = INFO_LARGE_ICON_OFFSET_AT + 4 * i;
    if (get_be(idx.data() + at, 4) != want[i])
      return format("icon field at byte %d is %u, expected %u", at, static_cast<unsigned>(get_be(idx.data() + at, 4)),
                    static_cast<unsigned>(want[i]));
  }
  const std::uint32_t dic_id = get_be(idx.data() + INFO_DIC_ID_AT, 4);
  if (dic_id != make_dic_id(package))
    return format("DicId 0x%08X, expected 0x%08X for %s", static_cast<unsigned>(dic_id),
                  static_cast<unsigned>(make_dic_id(package)), package.c_str());
  for (std::size_t i = INFO_RESERVED_AT; i < INFO_HEADER_SIZE; ++i)
    if (idx[i] != 0) return format("reserved header byte %zu is 0x%02X", i, idx[i]);
  return check_idx_records(idx, n);
}

// The selection bits a package shows by its records: a record of an optional,
// graphics or sound kind means the run asked for that class.
int selection_of(const std::vector<Record>& records) {
  int bits = 0;
  for (const Record& r : records)
    for (const ComponentKind& k : COMPONENT_KINDS)
      if (k.code == r.code) {
        if (k.component_class == CLASS_OPTIONAL) bits |= DO_OPTIONAL;
        if (k.component_class == CLASS_GRAPHICS) bits |= DO_GRAPHICS;
        if (k.component_class == CLASS_SOUND) bits |= DO_SOUND;
      }
  return bits;
}

class Checker {
 public:
  Checker(const BookCheckRequest& request, std::vector<std::string>& lines) : request_(request), lines_(lines) {}

  int run() {
    std::string dir = request_.package_dir;
    while (dir.size() > 1 && (dir.back() == '/' || dir.back() == '\\')) dir.pop_back();
    dir_ = dir;
    const std::size_t cut = dir.find_last_of("/\\");
    package_ = cut == std::string::npos ? dir : dir.substr(cut + 1);
    if (!platform::is_directory(dir)) return stop(dir + ": FAULT: not a directory");

    if (open_source() != 0) return 1;

    const std::string idx_name = package_ + ".IDX";
    const std::string idx_path = dir_ + "/" + idx_name;
    const std::optional<Bytes> idx = read_whole(idx_path);
    std::vector<Record> records;
    std::string idx_fault;
    if (!idx) {
      idx_fault = "cannot read";
    } else {
      idx_fault = check_idx_header(*idx, src_, package_);
      if (idx->size() >= INFO_HEADER_SIZE)
        for (unsigned k = 0; k < (*idx)[INFO_COUNT_AT] && INFO_HEADER_SIZE + INFO_RECORD_SIZE * (k + 1) <= idx->size();
             ++k)
          records.push_back(parse_record(idx->data() + INFO_HEADER_SIZE + INFO_RECORD_SIZE * k));
    }
    const std::vector<Expected> expected = plan(selection_of(records));
    if (idx_fault.empty()) idx_fault = compare_records(records, expected);
    if (idx_fault.empty()) {
      pass(format("%s: %zu records, %zu bytes: OK", idx_path.c_str(), records.size(), idx->size()));
    } else {
      fault(idx_path + ": FAULT: " + idx_fault);
    }
    known_.insert(idx_name);

    for (const Expected& e : expected) {
      known_.insert(e.record.name);
      if (e.font) {
        check_font(e);
      } else {
        check_data(e);
      }
    }
    for (const char* name : {"DICPROF.INI", "EXINFO.INI"}) {
      known_.insert(name);
      check_present(dir_ + "/" + name);
    }
    check_present(dir_ + ".REG");
    std::vector<std::string> extra;
    for (const std::string& name : platform::list_directory(dir_))
      if (!known_.count(name)) extra.push_back(name);
    std::sort(extra.begin(), extra.end());
    for (const std::string& name : extra) fault(dir_ + "/" + name + ": FAULT: not part of the package");

    if (faults_ == 0) {
      lines_.push_back(format("%s matches %s: %d files OK", dir_.c_str(), src_.dir_name.c_str(), passed_));
      return 0;
    }
    lines_.push_back(
        format("%s does NOT match %s: %d faulty, %d OK", dir_.c_str(), src_.dir_name.c_str(), faults_, passed_));
    return 1;
  }

 private:
  // The catalog, the subbook the package was made from, its index page and
  // its source files; 1 after the line that says which failed.
  int open_source() {
    const std::string catalog_path = platform::resolve_path_case(request_.catalog);
    const std::optional<Bytes> catalog_bytes = read_whole(catalog_path);
    if (!catalog_bytes) return stop(request_.catalog + ": FAULT: cannot read the catalog");
    catalog_.book_dir = book_dir_of(catalog_path);
    catalog_.bytes = *catalog_bytes;
    std::string upper_package = package_;
    upper_ascii(upper_package);
    std::string wanted = request_.subbook;
    upper_ascii(wanted);
    std::string why;
    const std::optional<SubbookSource> found = find_subbook(catalog_, wanted, upper_package, why);
    if (!found) return stop(request_.catalog + ": FAULT: " + why);
    src_ = *found;

    text_ = open_book_file(src_.text_path, src_.text_kind);
    if (!text_) return stop(src_.text_path + ": FAULT: cannot open the source text file");
    if (reader_.read_block(index_page_.data(), text_.get(), src_.index_page) == nullptr)
      return stop(src_.text_path + format(": FAULT: cannot read the index page %u", src_.index_page));
    if (!src_.graphic_path.empty() && !(graphic_ = open_book_file(src_.graphic_path, 0)))
      return stop(src_.graphic_path + ": FAULT: cannot open the source graphic file");
    if (!src_.sound_path.empty() && !(sound_ = open_book_file(src_.sound_path, src_.sound_kind)))
      return stop(src_.sound_path + ": FAULT: cannot open the source sound file");
    return 0;
  }

  int stop(const std::string& line) {
    lines_.push_back(line);
    return 1;
  }
  void pass(const std::string& line) {
    lines_.push_back(line);
    ++passed_;
  }
  void fault(const std::string& line) {
    lines_.push_back(line);
    ++faults_;
  }

  // The records the converter writes for this selection, in index-page order,
  // with the merged page numbering of separate graphic and sound files.
  std::vector<Expected> plan(int selection) {
    const SubbookPlan planned =
        plan_subbook(index_page_.data(), {text_.get(), graphic_.get(), sound_.get()}, selection, reader_);
    graphic_shift_ = planned.graphic_shift;
    sound_shift_ = planned.sound_shift;
    std::vector<Expected> out;
    for (const PlannedFile& f : planned.files) {
      Expected e;
      e.row = f.row;
      e.record.code = f.code;
      e.record.attribute = f.attribute;
      e.record.parameters = f.parameters;
      e.record.name = f.name;
      e.record.first = f.first_page;
      e.record.last = f.last_page();
      e.source = f.source;
      e.own_first = f.range.first;
      e.count = f.range.count;
      e.relocate = f.relocate;
      out.push_back(e);
    }
    for (const auto& [code, name] :
         {std::pair{FULL_FONT_CODE, src_.full_font}, std::pair{HALF_FONT_CODE, src_.half_font}}) {
      if (name.empty()) continue;
      Expected e;
      e.font = true;
      e.record.code = code;
      e.record.name = name;
      out.push_back(e);
    }
    return out;
  }

  static std::string compare_records(const std::vector<Record>& got, const std::vector<Expected>& want) {
    for (std::size_t k = 0; k < std::max(got.size(), want.size()); ++k) {
      if (k >= got.size())
        return format("record %zu missing: the book gives %s", k + 1, describe(want[k].record).c_str());
      if (k >= want.size()) return format("record %zu (%s) is not in the book", k + 1, describe(got[k]).c_str());
      if (!same(got[k], want[k].record))
        return format("record %zu is %s; the book gives %s", k + 1, describe(got[k]).c_str(),
                      describe(want[k].record).c_str());
    }
    return "";
  }

  void check_data(const Expected& e) {
    const std::string path = dir_ + "/" + e.record.name;
    const ComponentKind& kind = COMPONENT_KINDS[static_cast<std::size_t>(e.row)];
    // The source pages, with a page of room for a reference that starts near the end.
    Bytes want((static_cast<std::size_t>(e.count) + 1) * PAGE_SIZE, 0);
    for (std::uint32_t p = 0; p < e.count; ++p) {
      if (reader_.read_block(want.data() + std::size_t{p} * PAGE_SIZE, e.source, e.own_first + p) == nullptr)
        return fault(path +
                     format(": FAULT: source %s page %u cannot be read", e.source->name.c_str(),
                            static_cast<unsigned>(e.own_first + p)));
    }
    RelocationCounts moved;
    if (e.relocate)
      moved = relocate_references(want.data(), std::size_t{e.count} * PAGE_SIZE, graphic_shift_, sound_shift_);
    want.resize(std::size_t{e.count} * PAGE_SIZE);

    const std::optional<Bytes> file = read_whole(path);
    if (!file) return fault(path + ": FAULT: missing");
    std::string how;
    Bytes decoded;
    const Bytes* got = &*file;
    if (file->size() >= DATA_MAGIC.size() && std::memcmp(file->data(), DATA_MAGIC.data(), DATA_MAGIC.size()) == 0) {
      if (!kind.compressed) return fault(path + ": FAULT: a VORQDATA file where a raw file belongs");
      DataFile df;
      std::string error;
      if (!parse_data_file(*file, df, error)) return fault(path + ": FAULT: " + error);
      if (df.code != e.record.code || df.first_page != e.record.first || df.last_page != e.record.last ||
          df.attribute != e.record.attribute || df.parameters != e.record.parameters)
        return fault(path +
                     format(": FAULT: header says code 0x%02X, pages %u..%u, attribute 0x%02X, parameters "
                            "%02X %02X %02X; the book gives %s",
                            df.code, static_cast<unsigned>(df.first_page), static_cast<unsigned>(df.last_page),
                            df.attribute, df.parameters[0], df.parameters[1], df.parameters[2],
                            describe(e.record).c_str()));
      how = format("VORQDATA, %u chunks", static_cast<unsigned>(df.chunk_count));
      decoded = std::move(df.pages);
      got = &decoded;
    } else {
      how = "raw";
      if (file->size() != want.size())
        return fault(path +
                     format(": FAULT: raw file of %zu bytes, the %u source pages make %zu", file->size(),
                            static_cast<unsigned>(e.count), want.size()));
    }
    const auto diff = std::mismatch(want.begin(), want.end(), got->begin(), got->end());
    if (diff.first != want.end() || diff.second != got->end()) {
      const std::size_t at = static_cast<std::size_t>(diff.first - want.begin());
      if (diff.first == want.end() || diff.second == got->end())
        return fault(
            path +
            format(": FAULT: %zu pages, the source has %u", got->size() / PAGE_SIZE, static_cast<unsigned>(e.count)));
      const unsigned page = static_cast<unsigned>(at / PAGE_SIZE);
      return fault(path +
                   format(": FAULT: page %u (%s page %u), byte %zu: 0x%02X, the source gives 0x%02X",
                          static_cast<unsigned>(e.record.first + page), e.source->name.c_str(),
                          static_cast<unsigned>(e.own_first + page), at % PAGE_SIZE, *diff.second, *diff.first));
    }
    std::string line = path +
        format(": code 0x%02X, %s, %u pages (%u..%u) = %s pages %u..%u", e.record.code, how.c_str(),
               static_cast<unsigned>(e.count), static_cast<unsigned>(e.record.first),
               static_cast<unsigned>(e.record.last), e.source->name.c_str(), static_cast<unsigned>(e.own_first),
               static_cast<unsigned>(e.own_first + e.count - 1));
    if (e.relocate)
      line += format(", %d graphic references moved by %+d and %d sound references by %+d", moved.graphic,
                     static_cast<int>(graphic_shift_), moved.sound, static_cast<int>(sound_shift_));
    pass(line + ": OK");
  }

  void check_font(const Expected& e) {
    const std::string path = dir_ + "/" + e.record.name;
    const std::string& source_path = e.record.code == FULL_FONT_CODE ? src_.full_font_path : src_.half_font_path;
    const std::optional<Bytes> want = read_book_file(source_path);
    if (!want) return fault(path + ": FAULT: source " + source_path + " cannot be read");
    const std::optional<Bytes> got = read_whole(path);
    if (!got) return fault(path + ": FAULT: missing");
    const auto diff = std::mismatch(want->begin(), want->end(), got->begin(), got->end());
    if (diff.first != want->end() && diff.second != got->end())
      return fault(path +
                   format(": FAULT: byte %zu: 0x%02X, the source gives 0x%02X",
                          static_cast<std::size_t>(diff.first - want->begin()), *diff.second, *diff.first));
    if (got->size() != want->size())
      return fault(path + format(": FAULT: %zu bytes, the source has %zu", got->size(), want->size()));
    pass(path + format(": %zu bytes = %s: OK", got->size(), base_name_of(source_path).c_str()));
  }

  void check_present(const std::string& path) {
    const std::int64_t size = platform::regular_file_size(path);
    if (size < 0) return fault(path + ": FAULT: missing");
    if (size == 0) return fault(path + ": FAULT: empty");
    pass(path + format(": present, %lld bytes", static_cast<long long>(size)));
  }

  const BookCheckRequest& request_;
  std::vector<std::string>& lines_;
  std::string dir_, package_;
  CatalogImage catalog_;
  SubbookSource src_;
  PageReader reader_;  // the reading position of the subbook's files
  BookFilePtr text_, graphic_, sound_;
  std::array<std::uint8_t, PAGE_SIZE> index_page_{};
  std::int32_t graphic_shift_ = 0, sound_shift_ = 0;
  std::set<std::string> known_;
  int passed_ = 0, faults_ = 0;
};

}  // namespace

int check_package_against_book(const BookCheckRequest& request, std::vector<std::string>& lines) {
  return Checker(request, lines).run();
}

}  // namespace tolvex
