// tolvex-realbook-surgery: derives other shapes of a FreePWING-built EPWING
// book by byte surgery on its files.
//
//   tolvex-realbook-surgery BOOKDIR OUTDIR
//
// BOOKDIR holds CATALOGS and <DIR>/DATA/HONMON, <DIR>/GAIJI/... as FreePWING
// links them: an EPWING V1 catalog (header version word 1, no second table)
// whose single subbook keeps text, colour graphics and sound in one plain
// HONMON.  Made under OUTDIR:
//
//   v2/     entry_version 2 with a second-table record; graphics and sound
//           moved out of HONMON into DATA/HONMONG and DATA/HONMONS, the index
//           page and the references in the body text pointing into them
//   v2-z1/  as v2/, text in DATA/HONMON2 and sound compressed with kind 1
//           (compression code 0x11)
//   v2-z2/  as v2/, text and sound compressed with kind 2 (code 0x12)
//   eb/     EB layout: CATALOG with a 40-byte record, <DIR>/START holding
//           HONMON with the two 16-dot fonts appended as pages of their own
//
// Every step is spelled out at the function that does it.  The EPWING
// compression is written by the encoder in huffman.cpp.
#include "realbook.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using realbook::Bytes;

namespace {

Bytes read_file(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + p.string());
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const fs::path& p, const Bytes& b) {
  fs::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
  if (!out) throw std::runtime_error("cannot write " + p.string());
}

// Fixed-width name field of the catalog: blanks and NULs at the end are padding.
std::string trimmed(const Bytes& b, size_t off, size_t len) {
  std::string s(b.begin() + static_cast<long>(off), b.begin() + static_cast<long>(off + len));
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
  return s;
}

// NUL-padded name field.
void put_name(Bytes& b, size_t off, size_t len, const std::string& name) {
  for (size_t i = 0; i < len; ++i) b[off + i] = i < name.size() ? static_cast<uint8_t>(name[i]) : 0;
}

struct Source {
  Bytes catalog;        // CATALOGS, whole
  std::string dir;      // subbook directory as the catalog names it
  unsigned index_page;  // page of the index page in HONMON
  Bytes honmon;
  std::string half_font, full_font;  // file names in GAIJI, may be empty
  Bytes half_bits, full_bits;
  fs::path book;
};

// Finds a file whatever the case of its name (the EB library does the same).
fs::path find_ci(const fs::path& dir, const std::string& name) {
  for (const auto& e : fs::directory_iterator(dir)) {
    std::string n = e.path().filename().string();
    if (n.size() != name.size()) continue;
    bool same = true;
    for (size_t i = 0; i < n.size() && same; ++i)
      same = std::toupper(static_cast<unsigned char>(n[i])) == std::toupper(static_cast<unsigned char>(name[i]));
    if (same) return e.path();
  }
  throw std::runtime_error("no " + name + " in " + dir.string());
}

Source load(const fs::path& book) {
  Source s;
  s.book = book;
  s.catalog = read_file(find_ci(book, "CATALOGS"));
  if (s.catalog.size() < 16 + 164) throw std::runtime_error("catalog too short");
  if (realbook::get_be(s.catalog.data(), 2) != 1) throw std::runtime_error("expected one subbook in the catalog");
  if (s.catalog[3] == 0) throw std::runtime_error("catalog is not in the EPWING layout");
  const size_t e = 16;
  s.dir = trimmed(s.catalog, e + 82, 8);
  s.index_page = realbook::get_be(s.catalog.data() + e + 94, 2);
  s.full_font = s.catalog[e + 100] ? trimmed(s.catalog, e + 100, 8) : "";
  s.half_font = s.catalog[e + 132] ? trimmed(s.catalog, e + 132, 8) : "";
  fs::path sub = find_ci(book, s.dir);
  s.honmon = read_file(find_ci(find_ci(sub, "DATA"), "HONMON"));
  if (s.honmon.size() % realbook::kPage != 0) throw std::runtime_error("HONMON is not whole pages");
  if (!s.full_font.empty()) s.full_bits = read_file(find_ci(find_ci(sub, "GAIJI"), s.full_font));
  if (!s.half_font.empty()) s.half_bits = read_file(find_ci(find_ci(sub, "GAIJI"), s.half_font));
  return s;
}

void copy_fonts(const Source& s, const fs::path& sub) {
  if (!s.full_font.empty()) write_file(sub / "GAIJI" / s.full_font, s.full_bits);
  if (!s.half_font.empty()) write_file(sub / "GAIJI" / s.half_font, s.half_bits);
}

// Step common to the three V2 variants.
//  1. Read the index page (page `index_page` of HONMON) and find the colour
//     graphic entry (code 0xD2) and the sound entry (0xD8): FreePWING puts
//     their pages last in HONMON, graphics first.
//  2. Cut HONMON after the text's last page; pages [graphic start, graphic
//     end] become HONMONG, pages [sound start, sound end] become HONMONS, each
//     starting at its page 1.
//  3. In the index page, set the start page of 0xD2 and 0xD8 to 1: they now
//     count in their own files.  Page counts stay.
//  4. Relocate every reference in the body text (the code 0x00 component
//     only; the indexes' bytes are left alone): the page number of a colour
//     graphic escape (1F 4D, BCD bytes 14-17) drops by graphic start - 1, the
//     start and end page numbers of a sound escape (1F 4A, bytes 6-9 and
//     12-15) by sound start - 1.  Offsets within the page do not change.
struct Split {
  Bytes text, graphic, sound;
  realbook::Relocation counts;
};

Split split_honmon(const Source& s) {
  Split out;
  Bytes honmon = s.honmon;
  const size_t pages = honmon.size() / realbook::kPage;
  realbook::IndexEntry* g = nullptr;
  realbook::IndexEntry* snd = nullptr;
  uint8_t* index = honmon.data() + (s.index_page - 1) * realbook::kPage;
  std::vector<realbook::IndexEntry> entries = realbook::read_index(index);
  for (auto& en : entries) {
    if (en.code == 0xD2) g = &en;
    if (en.code == 0xD8) snd = &en;
  }
  if (!g || !snd) throw std::runtime_error("HONMON lists no graphic or no sound component");
  if (g->start + g->count != snd->start || snd->start + snd->count - 1 != pages)
    throw std::runtime_error("graphics and sound are not the last pages of HONMON");
  const uint32_t text_pages = g->start - 1;
  for (const auto& en : entries)
    if (en.code != 0xD2 && en.code != 0xD8 && en.start + en.count - 1 > text_pages)
      throw std::runtime_error("a text component lies behind the graphics");

  const int32_t gshift = -static_cast<int32_t>(g->start - 1);
  const int32_t sshift = -static_cast<int32_t>(snd->start - 1);
  auto page_at = [&](uint32_t p) { return honmon.begin() + static_cast<long>((p - 1) * realbook::kPage); };
  out.graphic.assign(page_at(g->start), page_at(g->start + g->count));
  out.sound.assign(page_at(snd->start), page_at(snd->start + snd->count));

  // Index page entries at offset 16 + 16 i: start page in bytes 2-5.
  for (size_t i = 0; i < entries.size(); ++i) {
    uint8_t* raw = index + 16 + 16 * i;
    if (raw[0] == 0xD2 || raw[0] == 0xD8) realbook::put_be(raw + 2, 4, 1);
  }
  out.text.assign(honmon.begin(), page_at(text_pages + 1));
  // One page of room behind the text: an escape in the last unit of the text
  // keeps its page numbers there (none does, the text ends in zeros).
  out.text.resize(out.text.size() + realbook::kPage, 0);
  // Only the body text (code 0x00) holds references: the search indexes are
  // binary, and a chance 1F 4D or 1F 4A in them is no escape.
  const realbook::IndexEntry* body = nullptr;
  for (const auto& en : entries)
    if (en.code == 0x00) body = &en;
  if (!body) throw std::runtime_error("HONMON lists no body text");
  out.counts = realbook::relocate_references(out.text.data() + (body->start - 1) * realbook::kPage,
                                             body->count * realbook::kPage, gshift, sshift);
  out.text.resize(text_pages * realbook::kPage);
  return out;
}

// The catalog of a V2 variant.
//  1. Header bytes 2-3 (the version word): 1 -> 2.  Readers look for the
//     second table only when this word is not 1.
//  2. Entry byte 1 (entry_version): 1 -> 2, so the subbook has a record in
//     the second table.
//  3. Second table: one 164-byte record at 16 + 1 x 164 = 180, zero but for
//       bytes 4-11   text file name, NUL-padded ("HONMON" or "HONMON2")
//       bytes 41-42  01 02: the sound name stands in the slot at 56 and the
//                    graphic name in the slot at 44.  The EB library picks
//                    the slots by these two bytes (found by trying: byte 41
//                    must be 01 for the sound slot at 56, byte 42 02 for the
//                    graphic slot at 44; with 00 00 it reads graphics and
//                    sound from the text file).
//       bytes 44-51  graphic file name ("HONMONG")
//       byte  53     sound compression code (0x00, 0x11 or 0x12)
//       byte  55     text compression code (0x00, 0x11 or 0x12)
//       bytes 56-63  sound file name ("HONMONS")
//     FreePWING's 2048-byte catalog has room for it; nothing else moves.
Bytes v2_catalog(const Source& s, const std::string& text_name, uint8_t code) {
  Bytes c = s.catalog;
  c.resize(std::max<size_t>(c.size(), 16 + 2 * 164), 0);
  realbook::put_be(c.data() + 2, 2, 2);
  c[16 + 1] = 2;
  const size_t r = 16 + 164;
  std::fill(c.begin() + r, c.begin() + r + 164, 0);
  put_name(c, r + 4, 8, text_name);
  c[r + 41] = 0x01;
  c[r + 42] = 0x02;
  put_name(c, r + 44, 8, "HONMONG");
  c[r + 53] = code;
  c[r + 55] = code;
  put_name(c, r + 56, 8, "HONMONS");
  return c;
}

void make_v2(const Source& s, const Split& sp, const fs::path& out, int kind) {
  fs::remove_all(out);
  const uint8_t code = kind == 0 ? 0x00 : kind == 1 ? 0x11 : 0x12;
  const std::string text_name = kind == 0 ? "HONMON" : "HONMON2";
  const fs::path sub = out / s.dir;
  write_file(out / "CATALOGS", v2_catalog(s, text_name, code));
  if (kind == 0) {
    write_file(sub / "DATA" / text_name, sp.text);
    write_file(sub / "DATA" / "HONMONS", sp.sound);
  } else {
    write_file(sub / "DATA" / text_name, realbook::compress_file(sp.text, kind));
    write_file(sub / "DATA" / "HONMONS", realbook::compress_file(sp.sound, kind));
  }
  // Colour graphics have no compression code of their own: always plain.
  write_file(sub / "DATA" / "HONMONG", sp.graphic);
  copy_fonts(s, sub);
}

// The EB-layout copy.
//  1. CATALOG: header = subbook count 1, bytes 2-3 zero (the EB layout), then
//     one 40-byte record: byte 0 book type and byte 1 version copied from the
//     EPWING entry, bytes 2-31 the first 30 bytes of the title (JIS X 0208),
//     bytes 32-39 the directory name, blank-padded as FreePWING writes it.
//  2. START = HONMON (its index page is page 1, where an EB reader looks for
//     it), followed by the full-width font file and then the half-width font
//     file, each padded to whole pages.  An EB book has no GAIJI directory:
//     its fonts are components of START.
//  3. The index page gets two entries: 0xF1 (16-dot full-width font) and
//     0xF2 (16-dot half-width font) with the pages appended in step 2.
//     Graphics and sound stay where they were, so no reference changes.
void make_eb(const Source& s, const fs::path& out) {
  fs::remove_all(out);
  if (s.index_page != 1) throw std::runtime_error("EB copy needs the index page on page 1");
  Bytes cat(2048, 0);
  realbook::put_be(cat.data(), 2, 1);
  cat[16] = s.catalog[16];
  cat[17] = s.catalog[17];
  std::copy(s.catalog.begin() + 16 + 2, s.catalog.begin() + 16 + 32, cat.begin() + 16 + 2);
  std::copy(s.catalog.begin() + 16 + 82, s.catalog.begin() + 16 + 90, cat.begin() + 16 + 32);
  write_file(out / "CATALOG", cat);

  Bytes start = s.honmon;
  uint8_t* index = start.data();
  uint32_t n = realbook::get_be(index, 2);
  auto append = [&](const Bytes& font, uint8_t code) {
    if (font.empty()) return;
    const uint32_t first = static_cast<uint32_t>(start.size() / realbook::kPage) + 1;
    Bytes padded = font;
    padded.resize((font.size() + realbook::kPage - 1) / realbook::kPage * realbook::kPage, 0);
    index = nullptr;
    start.insert(start.end(), padded.begin(), padded.end());
    index = start.data();
    if (16 + 16 * (n + 1) > realbook::kPage) throw std::runtime_error("index page full");
    uint8_t* en = index + 16 + 16 * n;
    std::memset(en, 0, 16);
    en[0] = code;
    realbook::put_be(en + 2, 4, first);
    realbook::put_be(en + 6, 4, static_cast<uint32_t>(padded.size() / realbook::kPage));
    ++n;
    realbook::put_be(index, 2, n);
  };
  append(s.full_bits, 0xF1);
  append(s.half_bits, 0xF2);
  write_file(out / s.dir / "START", start);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s BOOKDIR OUTDIR\n", argv[0]);
    return 2;
  }
  try {
    const Source s = load(argv[1]);
    const fs::path out = argv[2];
    const Split sp = split_honmon(s);
    std::printf(
        "surgery: %zu text pages, %zu graphic pages, %zu sound pages; "
        "%d graphic and %d sound references relocated\n",
        sp.text.size() / realbook::kPage, sp.graphic.size() / realbook::kPage, sp.sound.size() / realbook::kPage,
        sp.counts.graphic, sp.counts.sound);
    make_v2(s, sp, out / "v2", 0);
    make_v2(s, sp, out / "v2-z1", 1);
    make_v2(s, sp, out / "v2-z2", 2);
    make_eb(s, out / "eb");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", argv[0], e.what());
    return 1;
  }
  return 0;
}
