// Big-endian and BCD fields, the index page, reference relocation, and the
// EPWING compressed file format (writer and reader).
#include "realbook.h"

#include <algorithm>
#include <climits>
#include <map>
#include <stdexcept>
#include <unordered_map>

namespace realbook {

uint32_t get_be(const uint8_t* p, int width) {
  uint32_t v = 0;
  for (int i = 0; i < width; ++i) v = (v << 8) | p[i];
  return v;
}

void put_be(uint8_t* p, int width, uint32_t value) {
  for (int i = width - 1; i >= 0; --i) {
    p[i] = static_cast<uint8_t>(value & 0xFF);
    value >>= 8;
  }
}

uint32_t get_bcd4(const uint8_t* p) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v = v * 100 + (p[i] >> 4) * 10 + (p[i] & 0x0F);
  return v;
}

void put_bcd4(uint8_t* p, uint32_t value) {
  for (int i = 3; i >= 0; --i) {
    const uint32_t two = value % 100;
    value /= 100;
    p[i] = static_cast<uint8_t>((two / 10) << 4 | (two % 10));
  }
}

std::vector<IndexEntry> read_index(const uint8_t* page) {
  // Bytes 0-1: entry count; entries of 16 bytes from offset 16: code, -,
  // start page (4 bytes), page count (4 bytes), ...  At most 127 fit.
  const uint32_t n = std::min<uint32_t>(get_be(page, 2), 127);
  std::vector<IndexEntry> out;
  for (uint32_t i = 0; i < n; ++i) {
    const uint8_t* e = page + 16 + 16 * i;
    out.push_back({e[0], get_be(e + 2, 4), get_be(e + 6, 4)});
  }
  return out;
}

Relocation relocate_references(uint8_t* text, size_t length, int32_t graphic_shift, int32_t sound_shift) {
  Relocation r;
  size_t p = 0;
  while (p < length) {
    if (text[p] == 0x1F && text[p + 1] == 0x4D) {
      // Colour graphic: 1F 4D, attributes, ..., BCD page at 14-17, BCD offset at 18-19.
      put_bcd4(text + p + 14, get_bcd4(text + p + 14) + static_cast<uint32_t>(graphic_shift));
      ++r.graphic;
      p += 20;
    } else if (text[p] == 0x1F && text[p + 1] == 0x4A) {
      // Sound: 1F 4A, type, format, BCD start page 6-9 and offset 10-11,
      // BCD end page 12-15 and offset 16-17.
      put_bcd4(text + p + 6, get_bcd4(text + p + 6) + static_cast<uint32_t>(sound_shift));
      put_bcd4(text + p + 12, get_bcd4(text + p + 12) + static_cast<uint32_t>(sound_shift));
      ++r.sound;
      p += 18;
    } else {
      p += 2;
    }
  }
  return r;
}

// ---------------------------------------------------------------------------
// Decoding tree.  A reader builds it from the weights stored in the file; a
// writer must build the very same tree to know which bits to write.
//  1. Leaves: the stored records in file order, then the end-of-page leaf
//     with weight 1.
//  2. Sort the leaves by descending weight with a selection sort that swaps
//     position i with the first position m >= i holding the largest weight
//     (also when m == i).  Equal weights do not keep their order.
//  3. Repeatedly join the two lightest parentless nodes into a new branch
//     appended to the array; the lightest is found by a scan from position 0
//     that takes a node whose weight is <= the smallest so far, so among
//     equal weights the highest position wins.  The first node picked is
//     reached by a 1 bit, the second by a 0 bit.
std::vector<std::string> huffman_codes(const std::vector<uint32_t>& weights) {
  struct Node {
    int64_t weight;
    int parent, one, zero, leaf;
  };
  const int L = static_cast<int>(weights.size()) + 1;
  std::vector<Node> n(2 * L - 1, Node{0, -1, -1, -1, -1});
  for (int i = 0; i < L - 1; ++i) n[i] = Node{weights[i], -1, -1, -1, i};
  n[L - 1] = Node{1, -1, -1, -1, L - 1};
  for (int i = 0; i < L - 1; ++i) {
    int m = i;
    for (int j = i; j < L; ++j)
      if (n[j].weight > n[m].weight) m = j;
    std::swap(n[i], n[m]);
  }
  for (int k = L; k < 2 * L - 1; ++k) {
    int pick[2];
    for (int t = 0; t < 2; ++t) {
      int best = -1;
      int64_t least = INT32_MAX;
      for (int i = 0; i < k; ++i) {
        if (n[i].parent != -1 || (t == 1 && i == pick[0])) continue;
        if (n[i].weight <= least) {
          least = n[i].weight;
          best = i;
        }
      }
      pick[t] = best;
    }
    n[k] = Node{n[pick[0]].weight + n[pick[1]].weight, -1, pick[0], pick[1], -1};
    n[pick[0]].parent = k;
    n[pick[1]].parent = k;
  }
  std::vector<std::string> codes(L);
  for (int i = 0; i < L; ++i) {
    std::string c;
    for (int x = i; n[x].parent != -1; x = n[x].parent) c.push_back(n[n[x].parent].one == x ? '1' : '0');
    std::reverse(c.begin(), c.end());
    codes[n[i].leaf] = c;
  }
  return codes;
}

namespace {

// A compressed file's symbols: Q four-byte, P two-byte and 256 one-byte ones.
struct Alphabet {
  int kind;
  std::vector<uint32_t> quads;  // big-endian packed output bytes
  std::vector<uint16_t> pairs;
  std::unordered_map<uint32_t, int> quad_at;
  std::unordered_map<uint16_t, int> pair_at;
  int leaves() const { return static_cast<int>(quads.size() + pairs.size()) + 256; }
  int byte_leaf(uint8_t b) const { return static_cast<int>(quads.size() + pairs.size()) + b; }
  int end_leaf() const { return leaves(); }
};

// Splits a page into symbols greedily: the longest symbol of the alphabet
// that matches at the current position and fits in the page.
template <class Emit>
void tokenize(const Alphabet& a, const uint8_t* page, Emit emit) {
  size_t i = 0;
  while (i < kPage) {
    if (i + 4 <= kPage && !a.quad_at.empty()) {
      auto q = a.quad_at.find(get_be(page + i, 4));
      if (q != a.quad_at.end()) {
        emit(q->second);
        i += 4;
        continue;
      }
    }
    if (i + 2 <= kPage) {
      auto p = a.pair_at.find(static_cast<uint16_t>(get_be(page + i, 2)));
      if (p != a.pair_at.end()) {
        emit(static_cast<int>(a.quads.size()) + p->second);
        i += 2;
        continue;
      }
    }
    emit(a.byte_leaf(page[i]));
    i += 1;
  }
}

template <class Key>
std::vector<Key> most_frequent(const std::map<Key, uint64_t>& counts, size_t limit, uint64_t at_least) {
  std::vector<std::pair<uint64_t, Key>> v;
  for (const auto& [k, c] : counts)
    if (c >= at_least) v.push_back({c, k});
  std::stable_sort(v.begin(), v.end(), [](const auto& x, const auto& y) { return x.first > y.first; });
  std::vector<Key> out;
  for (size_t i = 0; i < v.size() && i < limit; ++i) out.push_back(v[i].second);
  return out;
}

// Chooses the alphabet: kind 1 up to 1024 two-byte symbols; kind 2 exactly
// 1024 two-byte symbols (unused ones fill the table when the data has fewer)
// and up to 1024 four-byte symbols.  Candidates are counted at aligned
// positions, as text is made of 2-byte units.
Alphabet choose_alphabet(const Bytes& pages, int kind) {
  Alphabet a;
  a.kind = kind;
  std::map<uint16_t, uint64_t> pc;
  std::map<uint32_t, uint64_t> qc;
  for (size_t i = 0; i + 2 <= pages.size(); i += 2) ++pc[static_cast<uint16_t>(get_be(&pages[i], 2))];
  if (kind == 2)
    for (size_t i = 0; i + 4 <= pages.size(); i += 4) ++qc[get_be(&pages[i], 4)];
  a.pairs = most_frequent(pc, 1024, kind == 1 ? 3 : 2);
  if (kind == 2) {
    a.quads = most_frequent(qc, 1024, 4);
    for (uint32_t filler = 0; a.pairs.size() < 1024; ++filler)
      if (!pc.count(static_cast<uint16_t>(filler))) a.pairs.push_back(static_cast<uint16_t>(filler));
  }
  for (size_t i = 0; i < a.quads.size(); ++i) a.quad_at.emplace(a.quads[i], static_cast<int>(i));
  for (size_t i = 0; i < a.pairs.size(); ++i) a.pair_at.emplace(a.pairs[i], static_cast<int>(i));
  return a;
}

class BitWriter {
 public:
  void put(const std::string& code) {
    for (char c : code) {
      if (bit_ == 0) out_.push_back(0);
      if (c == '1') out_.back() |= static_cast<uint8_t>(0x80 >> bit_);
      bit_ = (bit_ + 1) % 8;
    }
  }
  Bytes take() { return std::move(out_); }

 private:
  Bytes out_;
  int bit_ = 0;
};

}  // namespace

// File layout written here:
//   0    header, five big-endian words: page index offset, page index length,
//        frequency table offset, frequency table length, 0
//   20   frequency table: Q records (4 output bytes, 2-byte weight), P records
//        (2 output bytes, 2-byte weight), 256 two-byte weights of the bytes
//        0..255.  Weights are at least 1: a reader cannot open a table that
//        holds a zero weight.
//   ...  page index: per 16 pages a 36-byte group, base offset (4 bytes) and
//        16 two-byte page offsets from the base
//   ...  pages: kind 1 the bit stream; kind 2 a flag byte, then either the bit
//        stream (flag 0) or the 2048 bytes as they are (flag 1), whichever is
//        shorter.  Every stream ends with the end-of-page symbol, even after
//        a full page, and is padded with zero bits to a whole byte.
Bytes compress_file(const Bytes& pages, int kind) {
  if (kind != 1 && kind != 2) throw std::invalid_argument("compression kind must be 1 or 2");
  if (pages.empty() || pages.size() % kPage) throw std::invalid_argument("not whole pages");
  const size_t page_count = pages.size() / kPage;
  const Alphabet a = choose_alphabet(pages, kind);

  std::vector<uint64_t> use(a.leaves(), 0);
  for (size_t p = 0; p < page_count; ++p) tokenize(a, &pages[p * kPage], [&](int leaf) { ++use[leaf]; });
  const uint64_t most = *std::max_element(use.begin(), use.end());
  std::vector<uint32_t> weights(a.leaves());
  for (int i = 0; i < a.leaves(); ++i) {
    const uint64_t w = most > 0xFFFF ? use[i] * 0xFFFF / most : use[i];
    weights[i] = static_cast<uint32_t>(std::max<uint64_t>(1, w));
  }
  const std::vector<std::string> codes = huffman_codes(weights);

  Bytes table;
  auto push_be = [](Bytes& b, int width, uint32_t v) {
    for (int i = width - 1; i >= 0; --i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  for (size_t i = 0; i < a.quads.size(); ++i) {
    push_be(table, 4, a.quads[i]);
    push_be(table, 2, weights[i]);
  }
  for (size_t i = 0; i < a.pairs.size(); ++i) {
    push_be(table, 2, a.pairs[i]);
    push_be(table, 2, weights[a.quads.size() + i]);
  }
  for (int b = 0; b < 256; ++b) push_be(table, 2, weights[a.byte_leaf(static_cast<uint8_t>(b))]);

  std::vector<Bytes> bodies;
  for (size_t p = 0; p < page_count; ++p) {
    BitWriter w;
    tokenize(a, &pages[p * kPage], [&](int leaf) { w.put(codes[leaf]); });
    w.put(codes[a.end_leaf()]);
    Bytes stream = w.take();
    if (kind == 2) {
      if (stream.size() >= kPage) {
        stream.assign(pages.begin() + static_cast<long>(p * kPage), pages.begin() + static_cast<long>((p + 1) * kPage));
        stream.insert(stream.begin(), 1);
      } else {
        stream.insert(stream.begin(), 0);
      }
    } else if (stream.size() > kPage) {
      throw std::runtime_error("page does not compress to 2048 bytes or less");
    }
    bodies.push_back(std::move(stream));
  }

  const size_t groups = (page_count + 15) / 16;
  const uint32_t table_offset = 20;
  const uint32_t index_offset = table_offset + static_cast<uint32_t>(table.size());
  const uint32_t index_length = static_cast<uint32_t>(groups * 36);
  Bytes out(20, 0);
  put_be(&out[0], 4, index_offset);
  put_be(&out[4], 4, index_length);
  put_be(&out[8], 4, table_offset);
  put_be(&out[12], 4, static_cast<uint32_t>(table.size()));
  out.insert(out.end(), table.begin(), table.end());
  out.resize(out.size() + index_length, 0);
  for (size_t g = 0; g < groups; ++g) {
    const uint32_t base = static_cast<uint32_t>(out.size());
    uint8_t* rec = &out[index_offset + 36 * g];
    put_be(rec, 4, base);
    uint32_t off = 0;
    for (size_t i = 0; i < 16; ++i) {
      put_be(rec + 4 + 2 * i, 2, off);  // pages past the end point at the end
      const size_t p = 16 * g + i;
      if (p < page_count) off += static_cast<uint32_t>(bodies[p].size());
    }
    if (off > 0xFFFF) throw std::runtime_error("page group too large");
    rec = nullptr;
    for (size_t i = 0; i < 16 && 16 * g + i < page_count; ++i)
      out.insert(out.end(), bodies[16 * g + i].begin(), bodies[16 * g + i].end());
  }
  return out;
}

// Reader of the format above (and of any file in it): finds the page through
// the page index and decodes it with the tree built from the stored weights.
Bytes read_page(const Bytes& file, int kind, uint32_t page) {
  auto need = [&](size_t off, size_t len) {
    if (off + len > file.size()) throw std::runtime_error("compressed file cut short");
  };
  need(0, 20);
  const uint32_t index_offset = get_be(&file[0], 4);
  const uint32_t table_offset = get_be(&file[8], 4);
  const uint32_t table_length = get_be(&file[12], 4);
  const uint32_t fixed = kind == 1 ? 512 : 4608;
  if (table_length < fixed) throw std::runtime_error("frequency table too short");
  const uint32_t quads = kind == 1 ? 0 : (table_length - fixed) / 6;
  const uint32_t pairs = kind == 1 ? (table_length - fixed) / 4 : 1024;
  need(table_offset, 6 * quads + 4 * pairs + 512);

  struct Leaf {
    int len;
    uint8_t bytes[4];
  };
  std::vector<uint32_t> weights;
  std::vector<Leaf> leaves;
  const uint8_t* t = &file[table_offset];
  for (uint32_t i = 0; i < quads; ++i, t += 6) {
    leaves.push_back({4, {t[0], t[1], t[2], t[3]}});
    weights.push_back(get_be(t + 4, 2));
  }
  for (uint32_t i = 0; i < pairs; ++i, t += 4) {
    leaves.push_back({2, {t[0], t[1], 0, 0}});
    weights.push_back(get_be(t + 2, 2));
  }
  for (int b = 0; b < 256; ++b, t += 2) {
    leaves.push_back({1, {static_cast<uint8_t>(b), 0, 0, 0}});
    weights.push_back(get_be(t, 2));
  }
  leaves.push_back({0, {0, 0, 0, 0}});
  const std::vector<std::string> codes = huffman_codes(weights);
  std::map<std::string, int> by_code;
  for (size_t i = 0; i < codes.size(); ++i) by_code.emplace(codes[i], static_cast<int>(i));

  const uint32_t q = page - 1;
  need(index_offset + 36 * (q / 16), 36);
  const uint8_t* rec = &file[index_offset + 36 * (q / 16)];
  size_t pos = get_be(rec, 4) + get_be(rec + 4 + 2 * (q % 16), 2);
  Bytes out;
  if (kind == 2) {
    need(pos, 1);
    if (file[pos++] != 0) {
      need(pos, kPage);
      return Bytes(file.begin() + static_cast<long>(pos), file.begin() + static_cast<long>(pos + kPage));
    }
  }
  std::string code;
  size_t bit = pos * 8;
  while (out.size() < kPage) {
    need(bit / 8, 1);
    code.push_back((file[bit / 8] & (0x80 >> (bit % 8))) ? '1' : '0');
    ++bit;
    auto hit = by_code.find(code);
    if (hit == by_code.end()) continue;
    code.clear();
    const Leaf& l = leaves[hit->second];
    if (l.len == 0) break;
    for (int i = 0; i < l.len && out.size() < kPage; ++i) out.push_back(l.bytes[i]);
  }
  out.resize(kPage, 0);
  return out;
}

}  // namespace realbook
