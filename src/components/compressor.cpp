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
constexpr int POSITIONS = WINDOW_SIZE + CHUNK_BYTES;  // 36848: every position of B fits in 16 bits
constexpr int HISTORY_SEEDS = 15;
constexpr std::uint32_t FIRST_SEED = WINDOW_SIZE - HISTORY_SEEDS;  // 4065
// Byte comparisons read 16 bytes from a position below the end.
static_assert(COMPRESSOR_BUFFER_BYTES >= POSITIONS + 16);

// A slot of the hash table is kept as one byte, its distance: how far the
// slot lies from the slot of its position's key (the key is that slot
// number minus the distance), or one of two marks. A position entered with
// 15 bytes or more after it lies fewer than 30 slots from its key; only the
// chunk's last positions, entered with fewer bytes left and no probe limit,
// may lie farther, and a distance of 127 or more is kept as FAR (the key of
// such a slot is read from its position instead, hash_at[pos]).
constexpr std::uint8_t EMPTY = 0xFF;    // slot never used since the reset
constexpr std::uint8_t DELETED = 0xFE;  // slot whose position left the window
constexpr std::uint8_t FAR = 0x7F;      // distance of 127 slots or more
// Slots are free (EMPTY or DELETED) when the top bit of their distance is set.
constexpr std::uint8_t FREE_BIT = 0x80;
// The quick paths look at the 32 slots from a key's at once when they do not
// run past the table's end: every slot a position with 15 bytes after it can
// take (PROBE_LIMIT) and a few more, which cannot hold one of that key.
constexpr std::uint32_t LANES = 32;
static_assert(PROBE_LIMIT <= static_cast<int>(LANES) && LANES < FAR);
constexpr std::uint32_t LAST_QUICK_KEY = HASH_SLOTS - LANES;
// One slot more, never probed, for positions that hold none (NO_SLOT): the
// insertion of such a position writes there, and so does its leaving the window.
constexpr std::uint32_t NO_SLOT = HASH_SLOTS;
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
// % HASH_SLOTS, below 2^31 at every step.
inline std::uint32_t hash3(const std::uint8_t* p) { return ((p[0] * 128u + p[1]) * 128u + p[2]) * 128u % HASH_SLOTS; }

inline std::uint32_t next_slot(std::uint32_t s) { return s + 1 == HASH_SLOTS ? 0 : s + 1; }
inline std::uint32_t lowest_bit(std::uint32_t mask) { return static_cast<std::uint32_t>(std::countr_zero(mask)); }

// A one-byte tag of the 15 bytes at p: positions with equal 15 bytes have
// equal tags, so only slots with x's tag need the comparison.
inline std::uint8_t tag15(const std::uint8_t* p) {
  const std::uint64_t v = load8(p) + std::rotl(load8(p + 7), 29);
  return static_cast<std::uint8_t>((v * 0x9E3779B97F4A7C15ull) >> 56);
}

// The comparisons, 32 slots at a time: bit i of a mask for slot i.
#if defined(TOLVEX_HAVE_SSE2)
inline __m128i load16(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }
inline std::uint32_t bits16(__m128i v) { return static_cast<std::uint32_t>(_mm_movemask_epi8(v)); }
// The 16 bytes at p, held for comparisons with other positions.
class Bytes16 {
 public:
  explicit Bytes16(const std::uint8_t* p) : v_(load16(p)) {}
  // Bytes in which the 16 bytes at a agree with these.
  std::uint32_t equal_bytes(const std::uint8_t* a) const { return bits16(_mm_cmpeq_epi8(load16(a), v_)); }

 private:
  __m128i v_;
};
// Free slots among the 32 distances at d.
inline std::uint32_t free32(const std::uint8_t* d) { return bits16(load16(d)) | bits16(load16(d + 16)) << 16; }
// Entries among the 32 at v that equal w.
inline std::uint32_t equal32(const std::uint8_t* v, std::uint8_t w) {
  const __m128i want = _mm_set1_epi8(static_cast<char>(w));
  return bits16(_mm_cmpeq_epi8(load16(v), want)) | bits16(_mm_cmpeq_epi8(load16(v + 16), want)) << 16;
}
// The slots among the 32 from slot h that hold a position of key h (distance
// i in slot h + i).
inline std::uint32_t of_key32(const std::uint8_t* d) {
  const __m128i iota = _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  const __m128i iota16 = _mm_add_epi8(iota, _mm_set1_epi8(16));
  return bits16(_mm_cmpeq_epi8(load16(d), iota)) | bits16(_mm_cmpeq_epi8(load16(d + 16), iota16)) << 16;
}
// Low half: entries among the 32 at v equal to w (both bytes); high half:
// entries whose low byte equals w's.
inline std::uint64_t pair_and_low32(const std::uint16_t* v, std::uint16_t w) {
  const __m128i want = _mm_set1_epi16(static_cast<short>(w));
  std::uint64_t both = 0, low = 0;
  for (int i = 0; i < 2; ++i) {
    const __m128i lo = load16(v + 16 * i), hi = load16(v + 16 * i + 8);
    both |= std::uint64_t{bits16(_mm_packs_epi16(_mm_cmpeq_epi16(lo, want), _mm_cmpeq_epi16(hi, want)))} << (16 * i);
    // A byte comparison moved up into the high byte: negative where the low bytes agree.
    const __m128i low_lo = _mm_slli_epi16(_mm_cmpeq_epi8(lo, want), 8);
    const __m128i low_hi = _mm_slli_epi16(_mm_cmpeq_epi8(hi, want), 8);
    low |= std::uint64_t{bits16(_mm_packs_epi16(low_lo, low_hi))} << (16 * i);
  }
  return low << 32 | both;
}
// Entries among the 32 at v equal to w.
inline std::uint32_t equal32(const std::uint16_t* v, std::uint16_t w) {
  const __m128i want = _mm_set1_epi16(static_cast<short>(w));
  std::uint32_t mask = 0;
  for (int i = 0; i < 2; ++i) {
    const __m128i lo = load16(v + 16 * i), hi = load16(v + 16 * i + 8);
    mask |= bits16(_mm_packs_epi16(_mm_cmpeq_epi16(lo, want), _mm_cmpeq_epi16(hi, want))) << (16 * i);
  }
  return mask;
}
// hash3 of the HASH_LANES (8) positions from x of b, into out[x] ..: the key is
// (p0 * 2^21 + p1 * 2^14 + p2 * 2^7) % HASH_SLOTS, the same as
// (p0 * 11966 + p1 * 16384 + p2 * 128) % HASH_SLOTS with each factor taken
// modulo HASH_SLOTS first; that sum w is below 2^24, so it and every step of
// w - q * HASH_SLOTS are exact in single precision. The quotient q comes from
// a reciprocal taken a little small: it is never too large and at most one
// too small, so one subtraction of HASH_SLOTS finishes the remainder.
inline void hash_lanes(const std::uint8_t* b, std::uint32_t x, std::uint16_t* out) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i first = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(b + x)), zero);
  const __m128i second = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(b + x + 1)), zero);
  const __m128i third = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(b + x + 2)), zero);
  // Lane pairs (p0, p1) times (11966, 16384), summed in 32 bits.
  const __m128i factors = _mm_set1_epi32(16384 << 16 | 11966);
  const __m128 reciprocal = _mm_set1_ps(1.0f / HASH_SLOTS * (1.0f - 1.0f / 262144));
  const __m128 slots = _mm_set1_ps(static_cast<float>(HASH_SLOTS));
  const __m128i last_slot = _mm_set1_epi32(HASH_SLOTS - 1), slots_i = _mm_set1_epi32(HASH_SLOTS);
  auto keys = [&](__m128i pairs, __m128i thirds) {
    const __m128i w = _mm_add_epi32(_mm_madd_epi16(pairs, factors), _mm_slli_epi32(thirds, 7));
    const __m128 q = _mm_cvtepi32_ps(_mm_cvttps_epi32(_mm_mul_ps(_mm_cvtepi32_ps(w), reciprocal)));
    const __m128i r = _mm_sub_epi32(w, _mm_cvttps_epi32(_mm_mul_ps(q, slots)));
    return _mm_sub_epi32(r, _mm_and_si128(_mm_cmpgt_epi32(r, last_slot), slots_i));
  };
  const __m128i lo = keys(_mm_unpacklo_epi16(first, second), _mm_unpacklo_epi16(third, zero));
  const __m128i hi = keys(_mm_unpackhi_epi16(first, second), _mm_unpackhi_epi16(third, zero));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_packs_epi32(lo, hi));
}
constexpr std::uint32_t HASH_LANES = 8;
#else
constexpr std::uint32_t HASH_LANES = 1;
inline void hash_lanes(const std::uint8_t* b, std::uint32_t x, std::uint16_t* out) {
  out[x] = static_cast<std::uint16_t>(hash3(b + x));
}
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
inline std::uint32_t free32(const std::uint8_t* d) {
  std::uint32_t mask = 0;
  for (std::uint32_t i = 0; i < 32; ++i) mask |= std::uint32_t{d[i] >= FREE_BIT} << i;
  return mask;
}
inline std::uint32_t equal32(const std::uint8_t* v, std::uint8_t w) {
  std::uint32_t mask = 0;
  for (std::uint32_t i = 0; i < 32; ++i) mask |= std::uint32_t{v[i] == w} << i;
  return mask;
}
inline std::uint32_t of_key32(const std::uint8_t* d) {
  std::uint32_t mask = 0;
  for (std::uint32_t i = 0; i < 32; ++i) mask |= std::uint32_t{d[i] == i} << i;
  return mask;
}
inline std::uint64_t pair_and_low32(const std::uint16_t* v, std::uint16_t w) {
  std::uint64_t mask = 0;
  for (std::uint32_t i = 0; i < 32; ++i) {
    mask |= std::uint64_t{v[i] == w} << i | std::uint64_t{(v[i] & 0xFF) == (w & 0xFF)} << (i + 32);
  }
  return mask;
}
inline std::uint32_t equal32(const std::uint16_t* v, std::uint16_t w) {
  std::uint32_t mask = 0;
  for (std::uint32_t i = 0; i < 32; ++i) mask |= std::uint32_t{v[i] == w} << i;
  return mask;
}
#endif

// Bytes 3 and 4 of the string at p, the first two after its three-byte key
// (byte 3 in the low half).
inline std::uint16_t bytes3_4(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[3] | p[4] << 8); }

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
  // - dist: EMPTY, DELETED, or the distance of the slot from its position's key;
  // - pos: that position (meaningful only while dist holds a distance);
  // - tag: the tag15 of that position (likewise).
  // dist is filled with EMPTY for every hash-search chunk (20 KB); pos and
  // tag are read only for slots that hold a position.
  std::array<std::uint8_t, HASH_SLOTS + 1> dist;
  std::array<std::uint8_t, HASH_SLOTS + 1> tag;
  std::array<std::uint16_t, HASH_SLOTS + 1> pos;
  // bytes3_4 of that position (likewise), for the search.
  std::array<std::uint16_t, HASH_SLOTS + 1> ext;
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
  // hash3 of every position of the chunk with 3 bytes left: also the key of
  // every position in the table.
  std::array<std::uint16_t, POSITIONS> hash_at{};
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
  void insert_quick(std::uint32_t x, std::uint32_t h);
  // Puts x in slot s, d slots from its key's, with tag t.
  void store(std::uint32_t s, std::uint32_t x, std::uint8_t t, std::uint32_t d) {
    dist[s] = static_cast<std::uint8_t>(std::min<std::uint32_t>(d, FAR));
    tag[s] = t;
    pos[s] = static_cast<std::uint16_t>(x);
    ext[s] = bytes3_4(b + x);
    slot_of_position[x] = static_cast<std::uint16_t>(s);
  }
  // Whether slot s holds a position of key h.
  bool holds_key(std::uint32_t s, std::uint32_t h) const { return dist[s] < FREE_BIT && hash_at[pos[s]] == h; }
  // Marks the slot of position y DELETED as y leaves the window. When x took
  // the slot of an older position with the same 15 bytes, the older one's
  // slot_of_position was left as it was: its leaving marks the slot DELETED
  // although the slot holds x, and x's leaving later marks DELETED whatever
  // the slot holds then.
  void forget_position(std::uint32_t y) { dist[slot_of_position[y]] = DELETED; }
  void advance_window(std::uint32_t p, std::uint32_t count);
  void pass_position(std::uint32_t x);
  Match find_match_hash(std::uint32_t p, std::uint32_t m);
  Match find_quick(std::uint32_t p, std::uint32_t h);
  Match find_match_scan(std::uint32_t p, std::uint32_t m);
};

ChunkCompressor::Tables::Tables() {
  std::memset(dist.data(), EMPTY, sizeof dist);
  std::memset(tag.data(), 0, sizeof tag);
  std::memset(pos.data(), 0, sizeof pos);
  std::memset(ext.data(), 0, sizeof ext);
  std::fill(slot_of_position.begin(), slot_of_position.end(), static_cast<std::uint16_t>(NO_SLOT));
  std::memset(last_pair.data(), 0, sizeof last_pair);
  std::memset(last_byte.data(), 0xFF, sizeof last_byte);
}

void ChunkCompressor::Tables::reset_hash() {
  std::memset(dist.data(), EMPTY, sizeof dist);
  std::memset(last_byte.data(), 0xFF, sizeof last_byte);
  hash_keys(b, FIRST_SEED, end - 2, hash_at.data());
  // The only history positions ever entered: the last 15, as if each had 15
  // bytes after it (so equal ones replace each other).
  for (std::uint32_t x = FIRST_SEED; x < WINDOW_SIZE; ++x) insert_position(x, DEDUP_LENGTH);
  last_pair[pair_index(b + WINDOW_SIZE - 2)] = WINDOW_SIZE - 2;
  last_pair[pair_index(b + WINDOW_SIZE - 1)] = WINDOW_SIZE - 1;
  last_byte[b[WINDOW_SIZE - 1]] = WINDOW_SIZE - 1;
}

// Enters x (with r bytes from x to the end of the chunk) in the hash table:
// with 15 bytes or more left, in the first of the 30 slots from its key's
// that is free or holds a position with the same 15 bytes (none of them: x
// is not entered); nearer the end, in the first free slot.
void ChunkCompressor::Tables::insert_position(std::uint32_t x, std::uint32_t r) {
  const std::uint32_t h = hash_at[x];
  if (r >= DEDUP_LENGTH && h <= LAST_QUICK_KEY) return insert_quick(x, h);
  const std::uint8_t t = tag15(b + x);
  std::uint32_t s = h;
  const std::uint32_t probes = r >= DEDUP_LENGTH ? PROBE_LIMIT : HASH_SLOTS;
  for (std::uint32_t d = 0; d < probes; ++d, s = next_slot(s)) {
    if (dist[s] >= FREE_BIT) return store(s, x, t, d);
    if (r >= DEDUP_LENGTH && tag[s] == t && holds_key(s, h) && equal15(b + pos[s], Bytes16(b + x)))
      return store(s, x, t, d);
  }
  // Crowded (or, nearer the end, a full table, which cannot happen: at most
  // 4095 slots are live at any time).
  slot_of_position[x] = NO_SLOT;
}

// insert_position for x with 15 bytes or more left and 32 slots from h that
// do not wrap around: the first free slot of the 30, and the slots before
// it that hold x's tag, then those few compared.
TOLVEX_ALWAYS_INLINE void ChunkCompressor::Tables::insert_quick(std::uint32_t x, std::uint32_t h) {
  const std::uint8_t t = tag15(b + x);
  // Slots h .. h + f - 1 are live, h + f is the first free one (f = 30: none
  // of the 30 is, x is not entered).
  const std::uint32_t f = lowest_bit(free32(dist.data() + h) | 1u << PROBE_LIMIT);
  // The first slot of x's tag before the free one that holds x's 15 bytes
  // (equal 15 bytes have equal keys).
  for (std::uint32_t same = equal32(tag.data() + h, t) & ((1u << f) - 1); same != 0; same &= same - 1) {
    const std::uint32_t d = lowest_bit(same);
    if (equal15(b + pos[h + d], Bytes16(b + x))) return store(h + d, x, t, d);
  }
  if (f < PROBE_LIMIT) return store(h + f, x, t, f);
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
  if (h <= LAST_QUICK_KEY) {
    insert_quick(x, h);
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
  const std::uint32_t h = m >= 3 ? hash_at[p] : 0;
  if (m == MAX_MATCH && h <= LAST_QUICK_KEY) {
    // Every position entered so far had 15 bytes or more after it.
    const Match found = find_quick(p, h);
    if (found.length != 0) return found;
  } else if (m >= 3) {
    // The probe, slot by slot, runs to the first EMPTY slot (slots do not
    // become EMPTY again before the next reset; a table without one ends
    // the probe after one round).
    const Bytes16 at_p(b + p);
    Match best{};
    std::uint32_t s = h;
    for (std::uint32_t k = 0; k < HASH_SLOTS && dist[s] != EMPTY; ++k, s = next_slot(s)) {
      if (!holds_key(s, h)) continue;
      const std::uint32_t x = pos[s];
      if (x < a) continue;
      const std::uint32_t e = common_prefix(b + x, at_p, m);
      if (e == m) return Match{x, m};
      if (e > best.length) best = Match{x, e};
    }
    if (best.length >= 3) return best;
  }
  if (m >= 2) {
    const std::uint32_t c = last_pair[pair_index(b + p)];
    if (c >= a && c < p && b[c] == b[p] && b[c + 1] == b[p + 1]) return Match{c, 2};
  }
  const std::uint16_t c = last_byte[b[p]];
  if (c != 0xFFFF && c >= a) return Match{c, 1};
  return Match{};
}

// The hash search for p with a full copy of 15 bytes possible and 32 slots
// from p's key that do not wrap around (length 0: no copy of 3 or more).
// Every slot of the key lies among the first 30, so one look at the 32 finds
// them all. The probe's end at an EMPTY slot needs no test here: a position
// only ever goes to the first free slot from its key's (or to the slot of
// one that did), so every slot between lay taken then, and a slot does not
// become EMPTY again: no slot of the key lies beyond an EMPTY one.
//
// Most slots of p's key hold strings that part from p's within its first
// five bytes; the bytes 3 and 4 kept per slot tell them apart without
// reading the window. A copy of 5 bytes or more (all 15 among them) can only
// come from a slot whose bytes 3 and 4 are p's, so those are compared first,
// in probe order. When none of them gives 5, the longest copy is 4 bytes
// from the first slot whose byte 3 and three key bytes are p's, else 3 bytes
// from the first slot whose key bytes are p's (a key stands for more than
// one three-byte string).
TOLVEX_ALWAYS_INLINE Match ChunkCompressor::Tables::find_quick(std::uint32_t p, std::uint32_t h) {
  const std::uint32_t a = p - WINDOW_SIZE;
  const std::uint8_t* const bytes = b;
  const Bytes16 at_p(bytes + p);
  const std::uint32_t of_key = of_key32(dist.data() + h);
  if (of_key == 0) return Match{};
  const std::uint16_t want = bytes3_4(bytes + p);
  // The longest copy so far and, among equal lengths, the first slot:
  // length << 40 | (0xFFFF - slots visited before) << 16 | position, so
  // that the best is the largest (a comparison that a branch would
  // mispredict, kept as a maximum).
  std::uint64_t best = 0;
  std::uint64_t order = std::uint64_t{0xFFFF} << 16;
  for (std::uint32_t same = of_key & equal32(ext.data() + h, want); same != 0; same &= same - 1) {
    // Every entered position lies in the window; the check on `a` keeps
    // an offset out of range from ever being written.
    const std::uint32_t x = pos[h + lowest_bit(same)];
    if (x < a) continue;
    const std::uint32_t e = common_prefix(bytes + x, at_p, MAX_MATCH);
    if (e == MAX_MATCH) return Match{x, MAX_MATCH};
    best = std::max(best, std::uint64_t{e} << 40 | order | x);
    order -= std::uint64_t{1} << 16;
  }
  // Those slots give 5 bytes or more, or at most 2 (other key bytes).
  if (best >> 40 >= 5) return Match{static_cast<std::uint32_t>(best & 0xFFFF), static_cast<std::uint32_t>(best >> 40)};
  const std::uint64_t lanes = pair_and_low32(ext.data() + h, want);
  const std::uint32_t low = static_cast<std::uint32_t>(lanes >> 32);
  for (std::uint32_t c = of_key & low & ~static_cast<std::uint32_t>(lanes); c != 0; c &= c - 1) {
    const std::uint32_t x = pos[h + lowest_bit(c)];
    if (x >= a && common_prefix(bytes + x, at_p, 3) == 3) return Match{x, 4};
  }
  for (std::uint32_t c = of_key & ~low; c != 0; c &= c - 1) {
    const std::uint32_t x = pos[h + lowest_bit(c)];
    if (x >= a && common_prefix(bytes + x, at_p, 3) == 3) return Match{x, 3};
  }
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

void hash_keys(const std::uint8_t* b, std::uint32_t from, std::uint32_t to, std::uint16_t* out) {
  std::uint32_t x = from;
  for (; x < to && to - x >= HASH_LANES; x += HASH_LANES) hash_lanes(b, x, out);
  for (; x < to; ++x) out[x] = static_cast<std::uint16_t>(hash3(b + x));
}

ChunkCompressor::ChunkCompressor() : tables_(std::make_unique<Tables>()) {}
ChunkCompressor::~ChunkCompressor() = default;

std::uint8_t* ChunkCompressor::buffer() { return tables_->buffer.data(); }

std::size_t ChunkCompressor::used_slots() const {
  return static_cast<std::size_t>(std::count_if(tables_->dist.begin(), tables_->dist.begin() + HASH_SLOTS,
                                                [](std::uint8_t d) { return d != EMPTY; }));
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
