#include "components/compressor.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "platform/compiler.h"

#if (defined(__SSE2__) || defined(_M_X64)) && !defined(TOLVEX_NO_SIMD)
#include <emmintrin.h>
#define TOLVEX_HAVE_SSE2 1
#endif

namespace tolvex {
namespace {

constexpr int PROBE_LIMIT = 30;   // slots examined when inserting with 15 or more bytes left
constexpr int DEDUP_LENGTH = 15;  // bytes compared before a newer position takes an older one's slot
constexpr std::uint16_t EMPTY = 0xFFFF;    // slot never used since the reset / no position
constexpr std::uint16_t DELETED = 0xFFFE;  // slot whose position left the window
constexpr int POSITIONS = WINDOW_SIZE + CHUNK_BYTES;  // 36848: every position of B fits in 16 bits
constexpr int HISTORY_SEEDS = 15;
constexpr std::uint32_t FIRST_SEED = WINDOW_SIZE - HISTORY_SEEDS;  // 4065
// Byte comparisons read 16 bytes from a position below the end.
static_assert(COMPRESSOR_BUFFER_BYTES >= POSITIONS + 16);
// The slot arrays are read 16 entries at a time from any slot, and 32 from a
// slot with 30 slots behind it; entries past the last slot are never taken
// into account. The last of them is the slot of positions that hold none
// (NO_SLOT): the insertion of such a position writes there, and so does its
// leaving the window.
constexpr int SLOT_PAD = 48;
// Positions ahead whose slots are fetched into the cache while one is entered.
constexpr int PREFETCH = 16;
constexpr std::uint32_t NO_SLOT = HASH_SLOTS + SLOT_PAD - 1;
// Keys are below 2^15, EMPTY and DELETED above: a slot is free (EMPTY or
// DELETED) when its key has the top bit set.
static_assert(HASH_SLOTS < 0x8000);

struct Match {
  std::uint32_t pos = 0;
  std::uint32_t length = 0;  // 0: no copy
};

inline std::uint64_t load8(const void* p) {
  std::uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// Index of the byte pair at p in the pair tables: the two bytes as one
// 16-bit load (any fixed order of the pair will do).
inline std::uint32_t pair_index(const std::uint8_t* p) {
  std::uint16_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// Slot (and key) of the three bytes at p: (((p0 * 128 + p1) * 128 + p2) * 128)
// % HASH_SLOTS, below 2^31 at every step; in two parts looked up in tables,
// (p0 * 2^21 + p1 * 2^14) % HASH_SLOTS by the pair and (p2 * 2^7) % HASH_SLOTS.
struct HashParts {
  std::array<std::uint16_t, 65536> pair;
  std::array<std::uint16_t, 256> third;
  HashParts() {
    for (std::uint32_t i = 0; i < 65536; ++i) {
      std::uint8_t two[2];  // the pair as it lies in memory, whatever the byte order
      const std::uint16_t v = static_cast<std::uint16_t>(i);
      std::memcpy(two, &v, 2);
      pair[i] = static_cast<std::uint16_t>((two[0] * 2097152u + two[1] * 16384u) % HASH_SLOTS);
    }
    for (std::uint32_t c = 0; c < 256; ++c) third[c] = static_cast<std::uint16_t>(c * 128u % HASH_SLOTS);
  }
};
const HashParts hash_parts;

inline std::uint32_t hash3(const std::uint8_t* p) {
  const std::uint32_t v = std::uint32_t{hash_parts.pair[pair_index(p)]} + hash_parts.third[p[2]];
  return v >= HASH_SLOTS ? v - HASH_SLOTS : v;
}

inline std::uint32_t next_slot(std::uint32_t s) { return s + 1 == HASH_SLOTS ? 0 : s + 1; }
inline std::uint32_t lowest_bit(std::uint32_t mask) { return static_cast<std::uint32_t>(std::countr_zero(mask)); }
inline std::uint32_t low_bits(std::uint32_t n) { return n >= 32 ? ~0u : (1u << n) - 1; }

// A tag of the 15 bytes at p: positions with equal 15 bytes have equal tags,
// so only slots with x's tag need the comparison.
inline std::uint16_t tag15(const std::uint8_t* p) {
  const std::uint64_t v = load8(p) + std::rotl(load8(p + 7), 29);
  return static_cast<std::uint16_t>((v * 0x9E3779B97F4A7C15ull) >> 48);
}

// The comparisons, sixteen entries at a time: bit i of a mask for entry i.
#if defined(TOLVEX_HAVE_SSE2)
inline __m128i load16(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }
inline __m128i lanes_of(std::uint16_t v) { return _mm_set1_epi16(static_cast<short>(v)); }
// Two sets of eight 16-bit lanes, each 0 or all ones (or any value whose sign
// is the answer), as one 16-bit mask: the signed saturating pack keeps signs.
inline std::uint32_t signs16(__m128i lo, __m128i hi) {
  return static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_packs_epi16(lo, hi)));
}
// The 16 bytes at p, held for comparisons with other positions.
class Bytes16 {
 public:
  explicit Bytes16(const std::uint8_t* p) : v_(load16(p)) {}
  // Bytes in which the 16 bytes at a agree with these.
  std::uint32_t equal_bytes(const std::uint8_t* a) const {
    return static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(load16(a), v_)));
  }

 private:
  __m128i v_;
};
// Low half: slots from keys[0] that are free; high half: entries of tags equal to t.
inline std::uint32_t free_and_tag16(const std::uint16_t* keys, const std::uint16_t* tags, std::uint16_t t) {
  const __m128i want = lanes_of(t);
  return signs16(load16(keys), load16(keys + 8)) |
         signs16(_mm_cmpeq_epi16(load16(tags), want), _mm_cmpeq_epi16(load16(tags + 8), want)) << 16;
}
// Low half: keys equal to h; high half: keys that are EMPTY.
inline std::uint32_t key_and_empty16(const std::uint16_t* keys, std::uint16_t h) {
  const __m128i lo = load16(keys), hi = load16(keys + 8);
  const __m128i want = lanes_of(h), empty = lanes_of(EMPTY);
  return signs16(_mm_cmpeq_epi16(lo, want), _mm_cmpeq_epi16(hi, want)) |
         signs16(_mm_cmpeq_epi16(lo, empty), _mm_cmpeq_epi16(hi, empty)) << 16;
}
#else
class Bytes16 {
 public:
  explicit Bytes16(const std::uint8_t* p) : p_(p) {}
  std::uint32_t equal_bytes(const std::uint8_t* a) const {
    std::uint32_t mask = 0;
    for (std::uint32_t i = 0; i < 16; ++i) mask |= std::uint32_t{a[i] == p_[i]} << i;
    return mask;
  }

 private:
  const std::uint8_t* p_;
};
inline std::uint32_t free_and_tag16(const std::uint16_t* keys, const std::uint16_t* tags, std::uint16_t t) {
  std::uint32_t mask = 0;
  for (std::uint32_t i = 0; i < 16; ++i) mask |= std::uint32_t{keys[i] >= 0x8000} << i | std::uint32_t{tags[i] == t} << (i + 16);
  return mask;
}
inline std::uint32_t key_and_empty16(const std::uint16_t* keys, std::uint16_t h) {
  std::uint32_t mask = 0;
  for (std::uint32_t i = 0; i < 16; ++i) mask |= std::uint32_t{keys[i] == h} << i | std::uint32_t{keys[i] == EMPTY} << (i + 16);
  return mask;
}
#endif

// Leading bytes, at most m (<= 15), in which the strings at a and b agree.
inline std::uint32_t common_prefix(const std::uint8_t* a, const Bytes16& b, std::uint32_t m) {
  return lowest_bit(~b.equal_bytes(a) | (1u << m));
}

// Whether the 15 bytes at a and at b are equal.
inline bool equal15(const std::uint8_t* a, const Bytes16& b) { return (b.equal_bytes(a) & 0x7FFF) == 0x7FFF; }

}  // namespace

struct ChunkCompressor::Tables {
  std::array<std::uint8_t, COMPRESSOR_BUFFER_BYTES> buffer{};
  // The hash table of three-byte strings, one entry per slot in three arrays:
  // - key: EMPTY, DELETED, or the key (hash3) of the position the slot holds;
  // - pos: that position (meaningful only while key holds a key);
  // - tag: the tag15 of that position (likewise).
  // key is filled with EMPTY for every hash-search chunk (40 KB); pos and
  // tag are read only for slots whose key is set.
  std::array<std::uint16_t, HASH_SLOTS + SLOT_PAD> key;
  std::array<std::uint16_t, HASH_SLOTS + SLOT_PAD> tag;
  std::array<std::uint16_t, HASH_SLOTS + SLOT_PAD> pos;
  // Per key, the farthest slot (counted from the key's own slot, around the
  // end) that has held one of its positions in this chunk: a search for the
  // key can stop there, as nothing of the key lies beyond.
  std::array<std::uint16_t, HASH_SLOTS> reach;
  // The slot each passed position took, NO_SLOT when it took none. Positions
  // below FIRST_SEED are never passed and keep NO_SLOT from the start; every
  // other entry is written when its position is passed, before it is read.
  std::array<std::uint16_t, POSITIONS> slot_of_position;
  // The latest position of each byte pair (by pair_index). Not reset between
  // chunks: an entry counts only while it lies in the window before the
  // position searched and its two bytes there are the pair (an entry left
  // from another chunk cannot pass that test where this chunk has written
  // one: positions are passed in order, so a later one would have replaced it).
  std::array<std::uint16_t, 65536> last_pair;
  std::array<std::uint16_t, 256> last_byte;
  // hash3 of every position of the chunk with 3 bytes left (and PREFETCH
  // entries more, read ahead but never used).
  std::array<std::uint16_t, POSITIONS + PREFETCH> hash_at{};
  // Scan search: for each byte value, 1 + the last index k < i - 1 at which it
  // occurs in the string being matched (0: absent). The shift for length i is
  // i - scan_seen[c]. Kept all-zero between positions.
  std::array<std::uint16_t, 256> scan_seen{};

  // State of the chunk being compressed.
  const std::uint8_t* b = nullptr;
  std::uint32_t end = 0;

  Tables();
  void reset_hash();
  void insert_position(std::uint32_t x, std::uint32_t r);
  void insert_with_room(std::uint32_t x, std::uint32_t h);
  // Puts x in slot s, d slots from h, under key h and tag t.
  void store(std::uint32_t s, std::uint32_t h, std::uint32_t x, std::uint16_t t, std::uint32_t d) {
    key[s] = static_cast<std::uint16_t>(h);
    tag[s] = t;
    pos[s] = static_cast<std::uint16_t>(x);
    slot_of_position[x] = static_cast<std::uint16_t>(s);
    reach[h] = static_cast<std::uint16_t>(std::max<std::uint32_t>(reach[h], d));
  }
  // Marks the slot of position y DELETED as y leaves the window. When x took
  // the slot of an older position with the same 15 bytes, the older one's
  // slot_of_position was left as it was: its leaving marks the slot DELETED
  // although the slot holds x, and x's leaving later marks DELETED whatever
  // the slot holds then.
  void forget_position(std::uint32_t y) { key[slot_of_position[y]] = DELETED; }
  void advance_window(std::uint32_t p, std::uint32_t count);
  void pass_position(std::uint32_t x);
  Match find_match_hash(std::uint32_t p, std::uint32_t m);
  Match find_match_scan(std::uint32_t p, std::uint32_t m);
};

ChunkCompressor::Tables::Tables() {
  std::memset(key.data(), 0xFF, sizeof key);
  std::memset(tag.data(), 0, sizeof tag);
  std::memset(pos.data(), 0, sizeof pos);
  std::memset(reach.data(), 0, sizeof reach);
  std::fill(slot_of_position.begin(), slot_of_position.end(), static_cast<std::uint16_t>(NO_SLOT));
  std::memset(last_pair.data(), 0, sizeof last_pair);
  std::memset(last_byte.data(), 0xFF, sizeof last_byte);
}

void ChunkCompressor::Tables::reset_hash() {
  std::memset(key.data(), 0xFF, sizeof key);
  std::memset(reach.data(), 0, sizeof reach);
  std::memset(last_byte.data(), 0xFF, sizeof last_byte);
  for (std::uint32_t x = FIRST_SEED; x + 2 < end; ++x) hash_at[x] = static_cast<std::uint16_t>(hash3(b + x));
  // The only history positions ever entered: the last 15, as if each had 15
  // bytes after it (so equal ones replace each other).
  for (std::uint32_t x = FIRST_SEED; x < WINDOW_SIZE; ++x) insert_position(x, DEDUP_LENGTH);
  last_pair[pair_index(b + 4078)] = 4078;
  last_pair[pair_index(b + 4079)] = 4079;
  last_byte[b[4079]] = 4079;
}

// Enters x (with r bytes from x to the end of the chunk) in the hash table:
// with 15 bytes or more left, in the first of the 30 slots from its key's
// that is free or holds a position with the same 15 bytes (none of them: x
// is not entered); nearer the end, in the first free slot.
void ChunkCompressor::Tables::insert_position(std::uint32_t x, std::uint32_t r) {
  const std::uint32_t h = hash3(b + x);
  if (r >= DEDUP_LENGTH && h + PROBE_LIMIT <= HASH_SLOTS) return insert_with_room(x, h);
  const std::uint16_t t = tag15(b + x);
  std::uint32_t s = h;
  const std::uint32_t probes = r >= DEDUP_LENGTH ? PROBE_LIMIT : HASH_SLOTS;
  for (std::uint32_t d = 0; d < probes; ++d, s = next_slot(s)) {
    if (key[s] >= DELETED) return store(s, h, x, t, d);
    if (r >= DEDUP_LENGTH && key[s] == h && tag[s] == t && equal15(b + pos[s], Bytes16(b + x))) return store(s, h, x, t, 0);
  }
  // Crowded (or, nearer the end, a full table, which cannot happen: at most
  // 4095 slots are live at any time).
  slot_of_position[x] = NO_SLOT;
}

// insert_position for x with 15 bytes or more left and 30 slots from h that
// do not wrap around: sixteen slots at a time (the next sixteen only when
// the first are all live), then the few slots of x's tag compared.
TOLVEX_ALWAYS_INLINE void ChunkCompressor::Tables::insert_with_room(std::uint32_t x, std::uint32_t h) {
  const std::uint16_t t = tag15(b + x);
  std::uint32_t lanes = free_and_tag16(key.data() + h, tag.data() + h, t);
  // Slots h .. h + f - 1 are live, h + f is the first free one (f = 30: none
  // of the 30 is, x is not entered).
  std::uint32_t f = lowest_bit((lanes & 0xFFFF) | 1u << 16);
  std::uint32_t same = (lanes >> 16) & ((1u << f) - 1);
  if (f == 16) {
    lanes = free_and_tag16(key.data() + h + 16, tag.data() + h + 16, t);
    const std::uint32_t g = lowest_bit((lanes & 0x3FFF) | 1u << 14);
    same |= ((lanes >> 16) & ((1u << g) - 1)) << 16;
    f += g;
  }
  // The first slot of x's tag before the free one that holds x's 15 bytes.
  for (; same != 0; same &= same - 1) {
    const std::uint32_t c = h + lowest_bit(same);
    if (equal15(b + pos[c], Bytes16(b + x))) return store(c, h, x, t, 0);
  }
  if (f < PROBE_LIMIT) return store(h + f, h, x, t, f);
  slot_of_position[x] = NO_SLOT;
}

// Passes count positions from p: each position 4080 back leaves the window,
// each passed position is entered in the three tables.
void ChunkCompressor::Tables::advance_window(std::uint32_t p, std::uint32_t count) {
  const std::uint32_t stop = p + count;
  std::uint32_t x = p;
  if (stop + DEDUP_LENGTH <= end) {
    // Far from the end: every position has 15 bytes or more after it.
    for (; x < stop; ++x) pass_position(x);
    return;
  }
  for (; x < stop; ++x) {
    forget_position(x - WINDOW_SIZE);
    if (x + 2 < end) insert_position(x, end - x);
    if (x + 1 < end) last_pair[pair_index(b + x)] = static_cast<std::uint16_t>(x);
    if (x < end) last_byte[b[x]] = static_cast<std::uint16_t>(x);
  }
}

// One step of advance_window far from the end of the chunk.
TOLVEX_ALWAYS_INLINE void ChunkCompressor::Tables::pass_position(std::uint32_t x) {
  forget_position(x - WINDOW_SIZE);
  const std::uint8_t* const bytes = b;
  const std::uint32_t h = hash_at[x];
  // The slots of a position a little ahead reach the cache meanwhile.
  TOLVEX_PREFETCH(key.data() + hash_at[x + PREFETCH]);
  TOLVEX_PREFETCH(tag.data() + hash_at[x + PREFETCH]);
  if (h + PROBE_LIMIT <= HASH_SLOTS) {
    insert_with_room(x, h);
  } else {
    insert_position(x, DEDUP_LENGTH);
  }
  last_pair[pair_index(bytes + x)] = static_cast<std::uint16_t>(x);
  last_byte[bytes[x]] = static_cast<std::uint16_t>(x);
}

// Copy for p of at most m bytes: the first slot in probe order with all m
// bytes, else the first with the longest copy of 3 or more, else the latest
// pair, else the latest byte.
Match ChunkCompressor::Tables::find_match_hash(std::uint32_t p, std::uint32_t m) {
  const std::uint32_t a = p - WINDOW_SIZE;
  if (m >= 3) {
    const std::uint32_t h = hash_at[p];
    const std::uint8_t* const bytes = b;
    const Bytes16 at_p(bytes + p);
    // The longest copy so far and, among equal lengths, the first slot:
    // length << 40 | (0xFFFF - slots visited before) << 16 | position, so
    // that the best is the largest (a comparison that a branch would
    // mispredict, kept as a maximum).
    std::uint64_t best = 0;
    std::uint64_t order = std::uint64_t{0xFFFF} << 16;
    // The probe runs to the first EMPTY slot (slots do not become EMPTY
    // again before the next reset; a table without one ends the probe after
    // one round) and looks at the live slots of this key. Nothing of the key
    // lies beyond its reach.
    std::uint32_t s = h;
    std::uint32_t left = std::uint32_t{reach[h]} + 1;
    while (left > 0) {
      const std::uint32_t n = std::min({left, std::uint32_t{HASH_SLOTS} - s, 16u});
      const std::uint32_t lanes = key_and_empty16(key.data() + s, static_cast<std::uint16_t>(h));
      // This key's slots before the first EMPTY one, among the n looked at.
      const std::uint32_t stop = std::min(n, lowest_bit((lanes >> 16) | 1u << 16));
      for (std::uint32_t same = lanes & low_bits(stop); same != 0; same &= same - 1) {
        // Every entered position lies in the window; the check on `a` keeps
        // an offset out of range from ever being written.
        const std::uint32_t x = pos[s + lowest_bit(same)];
        if (x < a) continue;
        const std::uint32_t e = common_prefix(bytes + x, at_p, m);
        if (e == m) return Match{x, m};
        best = std::max(best, std::uint64_t{e} << 40 | order | x);
        order -= std::uint64_t{1} << 16;
      }
      if (stop < n) break;
      left -= n;
      s += n;
      if (s == HASH_SLOTS) s = 0;
    }
    if (best >> 40 >= 3) return Match{static_cast<std::uint32_t>(best & 0xFFFF), static_cast<std::uint32_t>(best >> 40)};
  }
  if (m >= 2) {
    const std::uint32_t c = last_pair[pair_index(b + p)];
    if (c >= a && c < p && b[c] == b[p] && b[c + 1] == b[p + 1]) return Match{c, 2};
  }
  const std::uint16_t c = last_byte[b[p]];
  if (c != EMPTY && c >= a) return Match{c, 1};
  return Match{};
}

// Copy for p of at most m bytes by a walk over the whole window: the first
// byte match from the window's start, then for each longer length a walk on
// from the last copy found, shifted on a mismatch by the shift table looked
// up with the window byte at which the comparison failed.
Match ChunkCompressor::Tables::find_match_scan(std::uint32_t p, std::uint32_t m) {
  const std::uint32_t a = p - WINDOW_SIZE;
  const void* first = std::memchr(b + a, b[p], p - a);
  if (first == nullptr) return Match{};
  std::uint32_t best = static_cast<std::uint32_t>(static_cast<const std::uint8_t*>(first) - b);
  if (m == 1) return Match{best, 1};

  std::uint32_t length = m;
  for (std::uint32_t i = 2; i <= m; ++i) {
    // The shift table for length i: i for bytes not among B[p..p+i-2],
    // i - 1 - k for the last k at which a byte occurs there.
    scan_seen[b[p + i - 2]] = static_cast<std::uint16_t>(i - 1);
    bool found = false;
    std::uint32_t x = best;  // a copy of i - 1 bytes
    while (x < p) {
      std::uint32_t j = i;
      while (j > 0 && b[x + j - 1] == b[p + j - 1]) --j;
      if (j == 0) {
        found = true;
        break;
      }
      x += i - scan_seen[b[x + j - 1]];
    }
    if (!found) {
      length = i - 1;
      break;
    }
    best = x;
  }
  for (std::uint32_t k = 0; k + 1 < m; ++k) scan_seen[b[p + k]] = 0;
  return Match{best, length};
}

std::uint8_t choose_fill_byte(const std::uint8_t* chunk, std::size_t m) {
  std::array<std::size_t, 256> counts{};
  for (std::size_t i = 0; i < m; ++i) ++counts[chunk[i]];
  // max_element returns the first of equal maxima: the lowest value.
  return static_cast<std::uint8_t>(std::max_element(counts.begin(), counts.end()) - counts.begin());
}

ChunkCompressor::ChunkCompressor() : tables_(std::make_unique<Tables>()) {}
ChunkCompressor::~ChunkCompressor() = default;

std::uint8_t* ChunkCompressor::buffer() { return tables_->buffer.data(); }

std::size_t ChunkCompressor::used_slots() const {
  return static_cast<std::size_t>(std::count_if(tables_->key.begin(), tables_->key.begin() + HASH_SLOTS,
                                                [](std::uint16_t k) { return k != EMPTY; }));
}

std::size_t ChunkCompressor::compress_chunk(std::size_t n, SearchKind search, std::uint8_t* tokens) {
  if (n == 0 || n > static_cast<std::size_t>(CHUNK_BYTES)) return 0;
  Tables& t = *tables_;
  const std::uint8_t* b = t.buffer.data();
  t.b = b;
  t.end = static_cast<std::uint32_t>(WINDOW_SIZE + n);
  const std::uint32_t end = t.end;
  const bool hash = search == SearchKind::hash;
  if (hash) t.reset_hash();

  std::uint8_t* out = tokens;
  auto emit = [&out](std::uint32_t offset, std::uint32_t length, std::uint8_t literal) {
    out[0] = static_cast<std::uint8_t>(offset >> 4);
    out[1] = static_cast<std::uint8_t>(((offset & 0x0F) << 4) | length);
    out[2] = literal;
    out += 3;
  };

  std::uint32_t p = WINDOW_SIZE;
  while (p + 1 < end) {
    // A copy never takes the chunk's last byte: every token ends with a literal.
    const std::uint32_t m = p + MAX_MATCH < end ? MAX_MATCH : end - p - 1;
    const Match match = hash ? t.find_match_hash(p, m) : t.find_match_scan(p, m);
    if (match.length == 0) {
      if (hash) t.advance_window(p, 1);
      emit(0, 0, b[p]);
      p += 1;
    } else {
      if (hash) t.advance_window(p, match.length + 1);
      emit(match.pos - (p - WINDOW_SIZE), match.length, b[p + match.length]);
      p += match.length + 1;
    }
  }
  if (p + 1 == end) emit(0, 0, b[p]);
  return static_cast<std::size_t>(out - tokens);
}

std::size_t decoded_length(std::span<const std::uint8_t> tokens) {
  std::size_t total = 0;
  for (std::size_t i = 0; i + 3 <= tokens.size(); i += 3) total += token_length(&tokens[i]) + 1;
  return total;
}

bool decompress_chunk(std::uint8_t fill_byte, std::span<const std::uint8_t> tokens, std::size_t expected_length,
                      std::vector<std::uint8_t>& out) {
  out.clear();
  if (tokens.size() % 3 != 0 || decoded_length(tokens) != expected_length) return false;
  // The length is known before anything is written, so no token can write
  // past the buffer, and every copy reads behind the write position.
  std::vector<std::uint8_t> s(WINDOW_SIZE + expected_length, fill_byte);
  std::size_t k = WINDOW_SIZE;
  for (std::size_t i = 0; i < tokens.size(); i += 3) {
    const std::uint8_t* t = &tokens[i];
    const unsigned offset = token_offset(t);
    if (offset >= static_cast<unsigned>(WINDOW_SIZE)) return false;
    std::size_t from = k - WINDOW_SIZE + offset;
    for (unsigned j = token_length(t); j > 0; --j) s[k++] = s[from++];
    s[k++] = t[2];
  }
  out.assign(s.begin() + WINDOW_SIZE, s.end());
  return true;
}

}  // namespace tolvex
