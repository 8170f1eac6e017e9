// tolvex-realbook-ebcheck: reads books through the EB library.
//
//   tolvex-realbook-ebcheck compare ORIGINAL VARIANT
//       Both books must open, and every text page of VARIANT must equal the
//       page of ORIGINAL once the graphic and sound references are moved by
//       the distance their components moved (from the two index pages); the
//       index page itself must list the same components, apart from the
//       start pages of the graphic and sound components and added font
//       components.  Every graphic and sound reference must lead to the same
//       bytes in both books, and the 16-dot fonts must hold the same glyphs.
//   tolvex-realbook-ebcheck pages BOOK OUTFILE
//       Writes the text pages before the graphic and sound pages, as the EB
//       library returns them, one after the other to OUTFILE.
//   tolvex-realbook-ebcheck package BOOK PACKAGE_DIR
//       For every data file named in PACKAGE_DIR/<NAME>.IDX: its record's
//       page range must be the one worked out here from BOOK's index page
//       (separate graphic and sound files placed behind the text's pages,
//       graphics first), and its pages (VORQDATA decoded, or raw) must equal
//       the pages the EB library reads from BOOK: text pages through
//       eb_seek_text + eb_read_rawtext, pages of a separate graphic or sound
//       file through the library's own reader of that file.  In the body text
//       (code 0x00) of a book with separate files, the page numbers of graphic
//       and sound references must have moved by exactly the distance their
//       component moved; every other byte must be equal.
//
// Exit status 0 on success, 1 on a mismatch or an EB library error.
#include "realbook.h"

#include "components/data_file_reader.h"

#include <eb/binary.h>
#include <eb/eb.h>
#include <eb/error.h>
#include <eb/font.h>
#include <eb/text.h>
#include <eb/zio.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

using realbook::Bytes;

namespace {

void must(EB_Error_Code e, const std::string& what) {
  if (e != EB_SUCCESS) throw std::runtime_error(what + ": " + eb_error_message(e));
}

class Book {
 public:
  explicit Book(const std::string& path) : path_(path) {
    eb_initialize_book(&book_);
    must(eb_bind(&book_, path.c_str()), "eb_bind " + path);
    EB_Subbook_Code list[EB_MAX_SUBBOOKS];
    int n = 0;
    must(eb_subbook_list(&book_, list, &n), "eb_subbook_list " + path);
    if (n < 1) throw std::runtime_error(path + ": no subbook");
    must(eb_set_subbook(&book_, list[0]), "eb_set_subbook " + path);
  }
  ~Book() { eb_finalize_book(&book_); }
  bool eb_layout() {
    EB_Disc_Code code;
    return eb_disc_type(&book_, &code) == EB_SUCCESS && code == EB_DISC_EB;
  }
  Book(const Book&) = delete;
  Book& operator=(const Book&) = delete;

  Bytes page(int p) {
    EB_Position pos{p, 0};
    must(eb_seek_text(&book_, &pos), path_ + ": eb_seek_text page " + std::to_string(p));
    Bytes out(realbook::kPage);
    size_t got = 0;
    while (got < out.size()) {
      ssize_t len = 0;
      must(eb_read_rawtext(&book_, out.size() - got, reinterpret_cast<char*>(out.data() + got), &len),
           path_ + ": eb_read_rawtext page " + std::to_string(p));
      if (len <= 0) throw std::runtime_error(path_ + ": short page " + std::to_string(p));
      got += static_cast<size_t>(len);
    }
    return out;
  }

  Bytes binary() {
    Bytes out;
    char buf[4096];
    for (;;) {
      ssize_t len = 0;
      must(eb_read_binary(&book_, sizeof buf, buf, &len), path_ + ": eb_read_binary");
      if (len <= 0) break;
      out.insert(out.end(), buf, buf + len);
      if (out.size() > (1u << 24)) throw std::runtime_error(path_ + ": binary data does not end");
    }
    return out;
  }

  Bytes graphic(int page, int offset) {
    EB_Position pos{page, offset};
    must(eb_set_binary_color_graphic(&book_, &pos), path_ + ": eb_set_binary_color_graphic");
    return binary();
  }

  Bytes sound(int p0, int o0, int p1, int o1) {
    EB_Position a{p0, o0}, b{p1, o1};
    must(eb_set_binary_wave(&book_, &a, &b), path_ + ": eb_set_binary_wave");
    return binary();
  }

  // Whether the graphic (sound) data has a file of its own, apart from the text.
  bool separate_graphic() const { return std::strcmp(sub()->graphic_file_name, sub()->text_file_name) != 0; }
  bool separate_sound() const { return std::strcmp(sub()->sound_file_name, sub()->text_file_name) != 0; }

  // Page p of the separate graphic or sound file, through the library's reader.
  Bytes file_page(bool graphic, int p) {
    Zio* z = graphic ? &sub()->graphic_zio : &sub()->sound_zio;
    const std::string what = path_ + (graphic ? ": graphic file" : ": sound file") + " page " + std::to_string(p);
    if (zio_lseek(z, static_cast<off_t>(p - 1) * static_cast<off_t>(realbook::kPage), SEEK_SET) < 0)
      throw std::runtime_error(what + ": zio_lseek failed");
    Bytes out(realbook::kPage);
    size_t got = 0;
    while (got < out.size()) {
      const ssize_t len = zio_read(z, reinterpret_cast<char*>(out.data() + got), out.size() - got);
      if (len <= 0) throw std::runtime_error(what + ": zio_read failed");
      got += static_cast<size_t>(len);
    }
    return out;
  }

  // Glyphs of the 16-dot fonts, narrow then wide; empty if there are none.
  Bytes glyphs() {
    Bytes out;
    if (eb_set_font(&book_, EB_FONT_16) != EB_SUCCESS) return out;
    char bits[EB_SIZE_WIDE_FONT_16];
    int start = 0, end = 0;
    if (eb_have_narrow_font(&book_) && eb_narrow_font_start(&book_, &start) == EB_SUCCESS &&
        eb_narrow_font_end(&book_, &end) == EB_SUCCESS) {
      for (int c = start; c <= end && (c & 0xFF) <= 0x7E; ++c) {
        if ((c & 0xFF) < 0x21) continue;
        must(eb_narrow_font_character_bitmap(&book_, c, bits), path_ + ": narrow glyph");
        out.insert(out.end(), bits, bits + EB_SIZE_NARROW_FONT_16);
      }
    }
    if (eb_have_wide_font(&book_) && eb_wide_font_start(&book_, &start) == EB_SUCCESS &&
        eb_wide_font_end(&book_, &end) == EB_SUCCESS) {
      for (int c = start; c <= end && (c & 0xFF) <= 0x7E; ++c) {
        if ((c & 0xFF) < 0x21) continue;
        must(eb_wide_font_character_bitmap(&book_, c, bits), path_ + ": wide glyph");
        out.insert(out.end(), bits, bits + EB_SIZE_WIDE_FONT_16);
      }
    }
    return out;
  }

 private:
  EB_Subbook* sub() const {
    if (book_.subbook_current == nullptr) throw std::runtime_error(path_ + ": no current subbook");
    return book_.subbook_current;
  }
  std::string path_;
  EB_Book book_;
};

struct Layout {
  std::vector<realbook::IndexEntry> entries;
  uint32_t graphic_start = 0, sound_start = 0, text_pages = 0;
};

// The index page is page 1 in every book made here.
Layout layout(Book& b) {
  Layout l;
  Bytes index = b.page(1);
  l.entries = realbook::read_index(index.data());
  for (const auto& e : l.entries) {
    if (e.code == 0xD2) l.graphic_start = e.start;
    if (e.code == 0xD8) l.sound_start = e.start;
  }
  return l;
}

// Text pages of the original: everything before its graphic and sound pages.
uint32_t text_pages(const Layout& l) {
  uint32_t end = 0;
  for (const auto& e : l.entries)
    if (e.code != 0xD2 && e.code != 0xD8 && e.code != 0xF1 && e.code != 0xF2)
      end = std::max(end, e.start + e.count - 1);
  return end;
}

int fail(const std::string& why) {
  std::fprintf(stderr, "MISMATCH: %s\n", why.c_str());
  return 1;
}

int compare(const std::string& orig_path, const std::string& var_path) {
  Book orig(orig_path), var(var_path);
  const Layout lo = layout(orig), lv = layout(var);

  // Index page: same components in the same order, fonts may be added.
  size_t j = 0;
  for (const auto& e : lo.entries) {
    while (j < lv.entries.size() && (lv.entries[j].code == 0xF1 || lv.entries[j].code == 0xF2) &&
           e.code != lv.entries[j].code)
      ++j;
    if (j == lv.entries.size()) return fail("index page lacks component " + std::to_string(e.code));
    const auto& v = lv.entries[j++];
    if (v.code != e.code || v.count != e.count) return fail("index entry differs for code " + std::to_string(e.code));
    if (v.start != e.start && e.code != 0xD2 && e.code != 0xD8)
      return fail("start page differs for code " + std::to_string(e.code));
  }
  const int32_t gshift = static_cast<int32_t>(lv.graphic_start) - static_cast<int32_t>(lo.graphic_start);
  const int32_t sshift = static_cast<int32_t>(lv.sound_start) - static_cast<int32_t>(lo.sound_start);

  const uint32_t n = text_pages(lo);
  if (n < 2) return fail("original has no text pages");
  Bytes text;
  for (uint32_t p = 1; p <= n; ++p) {
    Bytes page = orig.page(static_cast<int>(p));
    text.insert(text.end(), page.begin(), page.end());
  }
  Bytes moved = text;
  moved.resize(moved.size() + realbook::kPage, 0);
  // References live in the body text (code 0x00) alone.
  size_t body_begin = 0, body_end = 0;
  for (const auto& e : lo.entries)
    if (e.code == 0x00) {
      body_begin = (e.start - 1) * realbook::kPage;
      body_end = std::min<size_t>(text.size(), (e.start - 1 + e.count) * realbook::kPage);
    }
  if (body_end <= body_begin) return fail("original has no body text");
  const auto counts = realbook::relocate_references(moved.data() + body_begin, body_end - body_begin, gshift, sshift);
  for (uint32_t p = 2; p <= n; ++p) {
    Bytes got = var.page(static_cast<int>(p));
    if (!std::equal(got.begin(), got.end(), moved.begin() + static_cast<long>((p - 1) * realbook::kPage)))
      return fail("text page " + std::to_string(p) + " differs");
  }

  // Every reference of the original leads to the same data in the variant.
  int graphics = 0, sounds = 0, skipped = 0;
  for (size_t p = body_begin; p < body_end; p += 2) {
    const uint8_t* o = &text[p];
    const uint8_t* v = &moved[p];
    if (o[0] == 0x1F && o[1] == 0x4D) {
      auto page = [](const uint8_t* x) { return static_cast<int>(realbook::get_bcd4(x + 14)); };
      auto off = [](const uint8_t* x) {
        return static_cast<int>(x[18] >> 4) * 1000 + (x[18] & 15) * 100 + (x[19] >> 4) * 10 + (x[19] & 15);
      };
      Bytes a = orig.graphic(page(o), off(o));
      Bytes b = var.graphic(page(v), off(v));
      if (a.empty() || a != b) return fail("graphic at text offset " + std::to_string(p) + " differs");
      ++graphics;
      p += 18;
    } else if (o[0] == 0x1F && o[1] == 0x4A && var.eb_layout()) {
      // The EB library plays sound of EPWING books only; the pages are
      // compared above.
      ++skipped;
      p += 16;
    } else if (o[0] == 0x1F && o[1] == 0x4A) {
      auto bcd2 = [](const uint8_t* x) {
        return (x[0] >> 4) * 1000 + (x[0] & 15) * 100 + (x[1] >> 4) * 10 + (x[1] & 15);
      };
      auto get = [&](Book& b, const uint8_t* x) {
        return b.sound(static_cast<int>(realbook::get_bcd4(x + 6)), bcd2(x + 10),
                       static_cast<int>(realbook::get_bcd4(x + 12)), bcd2(x + 16));
      };
      Bytes a = get(orig, o);
      Bytes b = get(var, v);
      if (a.empty() || a != b) return fail("sound at text offset " + std::to_string(p) + " differs");
      ++sounds;
      p += 16;
    }
  }
  if (graphics != counts.graphic || sounds + skipped != counts.sound) return fail("reference count");

  Bytes go = orig.glyphs(), gv = var.glyphs();
  if (go != gv) return fail("16-dot font glyphs differ");

  std::printf(
      "%s: %u text pages equal, %d graphic and %d sound references followed (%d sound not "
      "offered by the EB library), %zu glyph bytes equal\n",
      var_path.c_str(), n, graphics, sounds, skipped, gv.size());
  return 0;
}

int pages(const std::string& path, const std::string& out_path) {
  Book b(path);
  const uint32_t n = text_pages(layout(b));
  std::ofstream out(out_path, std::ios::binary | std::ios::trunc);
  for (uint32_t p = 1; p <= n; ++p) {
    Bytes page = b.page(static_cast<int>(p));
    out.write(reinterpret_cast<const char*>(page.data()), static_cast<std::streamsize>(page.size()));
  }
  return out ? 0 : 1;
}

Bytes read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Body text of the package against the EB library's text: equal but for the
// page numbers of references, which must have moved by exactly the shift.
std::string compare_relocated(const Bytes& got, const Bytes& eb, int32_t gshift, int32_t sshift, int& graphics,
                              int& sounds) {
  std::vector<bool> moved(eb.size(), false);
  auto field = [&](size_t at, int32_t shift, const char* what) -> std::string {
    if (at + 4 > eb.size()) return "";  // runs past the component: the converter leaves it alone
    const int64_t before = realbook::get_bcd4(&eb[at]);
    const int64_t after = realbook::get_bcd4(&got[at]);
    for (size_t i = at; i < at + 4; ++i) moved[i] = true;
    if (after - before != shift)
      return std::string(what) + " reference page at text byte " + std::to_string(at) + " moved from " +
          std::to_string(before) + " to " + std::to_string(after) + ", not by " + std::to_string(shift);
    return "";
  };
  for (size_t p = 0; p + 1 < eb.size();) {
    std::string why;
    if (eb[p] == 0x1F && eb[p + 1] == 0x4D) {
      why = field(p + 14, gshift, "graphic");
      ++graphics;
      p += 20;
    } else if (eb[p] == 0x1F && eb[p + 1] == 0x4A) {
      why = field(p + 6, sshift, "sound start");
      if (why.empty()) why = field(p + 12, sshift, "sound end");
      ++sounds;
      p += 18;
    } else {
      p += 2;
    }
    if (!why.empty()) return why;
  }
  for (size_t i = 0; i < eb.size(); ++i)
    if (!moved[i] && got[i] != eb[i])
      return "page " + std::to_string(i / realbook::kPage) + " of the component, byte " +
          std::to_string(i % realbook::kPage) + " differs outside any reference";
  return "";
}

int package(const std::string& book_path, const std::string& dir) {
  Book b(book_path);
  const Layout l = layout(b);
  // An EB-layout book keeps everything in START, whatever names the library
  // gives its graphic and sound readers.
  const bool eb_book = b.eb_layout();
  const bool sep_g = !eb_book && b.separate_graphic() && l.graphic_start != 0;
  const bool sep_s = !eb_book && b.separate_sound() && l.sound_start != 0;

  // The merged numbering: behind the highest page of the text file's other
  // components come the graphic pages, then the sound pages.
  uint32_t end = 0;
  struct Own {
    uint32_t start = 0, count = 0;
  } g, snd;
  for (const auto& e : l.entries) {
    if (e.code == 0xD2 && sep_g) g = {e.start, e.count};
    else if (e.code == 0xD8 && sep_s) snd = {e.start, e.count};
    else end = std::max(end, e.start + e.count);
  }
  const uint32_t g_new = end, s_new = end + (sep_g ? g.count : 0);
  const int32_t gshift = sep_g ? static_cast<int32_t>(g_new - g.start) : 0;
  const int32_t sshift = sep_s ? static_cast<int32_t>(s_new - snd.start) : 0;

  const std::string name = std::filesystem::path(dir).filename().string();
  const Bytes idx = read_file(dir + "/" + name + ".IDX");
  if (idx.size() < 128) return fail(name + ".IDX: too short");
  const unsigned n = idx[77];
  if (idx.size() < 128 + 48 * n) return fail(name + ".IDX: records cut short");
  int files = 0;
  for (unsigned k = 0; k < n; ++k) {
    const uint8_t* r = &idx[128 + 48 * k];
    const std::string file(reinterpret_cast<const char*>(r + 17), std::min<size_t>(r[16], 31));
    const uint8_t code = r[3];
    const uint32_t first = realbook::get_be(r + 4, 4), last = realbook::get_be(r + 8, 4);
    if ((code == 0xF1 || code == 0xF2) && first == 0 && last == 0) continue;  // a font copy
    const realbook::IndexEntry* entry = nullptr;
    for (const auto& e : l.entries) {
      const uint32_t start = e.code == 0xD2 && sep_g ? g_new : e.code == 0xD8 && sep_s ? s_new : e.start;
      if (e.code == code && start == first) entry = &e;
    }
    if (!entry)
      return fail(file + ": no entry of code " + std::to_string(code) + " starts at page " + std::to_string(first));
    if (last != first + entry->count - 1)
      return fail(file + ": last page " + std::to_string(last) + ", expected " +
                  std::to_string(first + entry->count - 1));

    const Bytes raw = read_file(dir + "/" + file);
    Bytes got;
    if (raw.size() >= 8 && std::memcmp(raw.data(), "VORQDATA", 8) == 0) {
      tolvex::DataFile df;
      std::string error;
      if (!tolvex::parse_data_file(raw, df, error)) return fail(file + ": " + error);
      if (df.code != code || df.first_page != first || df.last_page != last)
        return fail(file + ": header differs from its record");
      got = std::move(df.pages);
    } else {
      got = raw;
    }
    if (got.size() != entry->count * realbook::kPage)
      return fail(file + ": " + std::to_string(got.size() / realbook::kPage) + " pages, the component has " +
                  std::to_string(entry->count));

    const bool from_g = entry->code == 0xD2 && sep_g, from_s = entry->code == 0xD8 && sep_s;
    Bytes eb;
    for (uint32_t p = entry->start; p < entry->start + entry->count; ++p) {
      Bytes page = from_g || from_s ? b.file_page(from_g, static_cast<int>(p)) : b.page(static_cast<int>(p));
      eb.insert(eb.end(), page.begin(), page.end());
    }
    const char* source = from_g ? "graphic file" : from_s ? "sound file" : "text";
    std::string extra;
    if (code == 0x00 && (sep_g || sep_s)) {
      int graphics = 0, sounds = 0;
      const std::string why = compare_relocated(got, eb, gshift, sshift, graphics, sounds);
      if (!why.empty()) return fail(file + ": " + why);
      if (graphics + sounds == 0) return fail(file + ": no reference to check the relocation with");
      extra = ", " + std::to_string(graphics) + " graphic references moved by exactly " + std::to_string(gshift) +
          " and " + std::to_string(sounds) + " sound references by exactly " + std::to_string(sshift);
    } else if (got != eb) {
      const size_t at = static_cast<size_t>(std::mismatch(got.begin(), got.end(), eb.begin()).first - got.begin());
      return fail(file + ": page " + std::to_string(first + at / realbook::kPage) + ", byte " +
                  std::to_string(at % realbook::kPage) + " differs from the EB library's " + source + " page " +
                  std::to_string(entry->start + at / realbook::kPage));
    }
    std::printf("%s: pages %u..%u equal the EB library's %s pages %u..%u%s\n", file.c_str(), first, last, source,
                entry->start, entry->start + entry->count - 1, extra.c_str());
    ++files;
  }
  if (files == 0) return fail(name + ".IDX lists no data file");
  std::printf("%s: %d data files equal the EB library's pages of %s\n", dir.c_str(), files, book_path.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (eb_initialize_library() != EB_SUCCESS) return 1;
  int rc = 2;
  try {
    if (argc == 4 && std::strcmp(argv[1], "compare") == 0) {
      rc = compare(argv[2], argv[3]);
    } else if (argc == 4 && std::strcmp(argv[1], "pages") == 0) {
      rc = pages(argv[2], argv[3]);
    } else if (argc == 4 && std::strcmp(argv[1], "package") == 0) {
      rc = package(argv[2], argv[3]);
    } else {
      std::fprintf(stderr, "usage: %s compare ORIGINAL VARIANT | pages BOOK OUTFILE | package BOOK PACKAGE_DIR\n",
                   argv[0]);
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "ERROR: %s\n", e.what());
    rc = 1;
  }
  eb_finalize_library();
  return rc;
}
