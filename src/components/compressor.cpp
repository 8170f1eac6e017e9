#include "components/compressor.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace tolvex {
namespace {

constexpr int PROBE_LIMIT = 30;   // slots examined when inserting with 15 or more bytes left
constexpr int DEDUP_LENGTH = 15;  // bytes compared before a newer position takes an older one's slot
constexpr std::uint16_t EMPTY = 0xFFFF;    // slot never used since the reset / no position
constexpr std::uint16_t DELETED = 0xFFFE;  // slot whose position left the window
constexpr int POSITIONS = WINDOW_SIZE + CHUNK_BYTES;  // 36848: every position of B fits in 16 bits
constexpr int HISTORY_SEEDS = 15;
// Word-wise comparisons read up to 16 bytes from a position below the end.
static_assert(COMPRESSOR_BUFFER_BYTES >= POSITIONS + 16);  // history positions 4065..4079 entered at the reset
// The slot arrays are read four 16-bit entries at a time; the entries behind
// the last slot are never matched.
constexpr int SLOT_PAD = 4;
constexpr bool WORDWISE = std::endian::native == std::endian::little;
constexpr std::uint32_t FREE_WORDS = (HASH_SLOTS + 63) / 64 + 1;  // one word behind the last slot's
constexpr std::uint32_t TAG_BUCKETS = 32768;                    // live slots are counted by tag % 32768

struct Match {
  std::uint32_t pos = 0;
  std::uint32_t length = 0;  // 0: no copy
};

// Slot (and key) of the three bytes at x.
inline std::uint32_t hash3(const std::uint8_t* b, std::uint32_t x) {
  // Below 2^31 at every step, so unsigned arithmetic gives the same value as signed.
  return ((((std::uint32_t{b[x]} * 128) + b[x + 1]) * 128 + b[x + 2]) * 128) % HASH_SLOTS;
}

// hash3 in parts: (B[x] * 2^21 + B[x + 1] * 2^14) % HASH_SLOTS by the pair
// B[x] | B[x + 1] << 8, and (B[x + 2] * 2^7) % HASH_SLOTS by the third byte.
struct HashParts {
  std::array<std::uint16_t, 65536> pair;
  std::array<std::uint16_t, 256> third;
  HashParts() {
    for (std::uint32_t i = 0; i < 65536; ++i) pair[i] = static_cast<std::uint16_t>(((i & 0xFF) * 2097152u + (i >> 8) * 16384u) % HASH_SLOTS);
    for (std::uint32_t c = 0; c < 256; ++c) third[c] = static_cast<std::uint16_t>(c * 128u % HASH_SLOTS);
  }
  std::uint32_t key(const std::uint8_t* p) const {
    const std::uint32_t v = std::uint32_t{pair[p[0] | p[1] << 8]} + third[p[2]];
    return v >= HASH_SLOTS ? v - HASH_SLOTS : v;
  }
};

const HashParts& hash_parts() {
  static const HashParts parts;
  return parts;
}

// Index of the byte pair at p in the latest-pair table: the two bytes as one
// 16-bit load (any fixed order of the pair will do).
inline std::uint32_t pair_index(const std::uint8_t* p) {
  std::uint16_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

inline std::uint32_t next_slot(std::uint32_t s) { return s + 1 == HASH_SLOTS ? 0 : s + 1; }

inline std::uint64_t load8(const void* p) {
  std::uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// The top bit of every 16-bit lane of v that is zero (and no other bit).
inline std::uint64_t zero_lanes(std::uint64_t v) {
  constexpr std::uint64_t low = 0x7FFF7FFF7FFF7FFFull;
  return ~(((v & low) + low) | v) & ~low;
}
inline std::uint64_t lanes_of(std::uint16_t v) { return std::uint64_t{v} * 0x0001000100010001ull; }
inline std::uint32_t first_lane(std::uint64_t mask) { return static_cast<std::uint32_t>(std::countr_zero(mask)) >> 4; }

// A fingerprint of the 15 bytes at p, never 0: positions with equal 15 bytes
// have equal fingerprints, so only slots with x's fingerprint need the full
// comparison.
inline std::uint16_t fingerprint15(const std::uint8_t* p) {
  const std::uint64_t v = (load8(p) ^ (load8(p + 7) * 0x9E3779B97F4A7C15ull)) * 0xD6E8FEB86659FD93ull;
  return static_cast<std::uint16_t>((v >> 49) + 1);
}

// Leading bytes, at most m (<= 15), in which the strings at a and b agree.
// May look at up to 16 bytes from each; the buffer has room behind the chunk.
inline std::uint32_t common_prefix(const std::uint8_t* a, const std::uint8_t* b, std::uint32_t m) {
  if constexpr (std::endian::native == std::endian::little) {
    std::uint64_t diff = load8(a) ^ load8(b);
    std::uint32_t e = diff ? static_cast<std::uint32_t>(std::countr_zero(diff)) / 8 : 8;
    if (e == 8) {
      diff = load8(a + 8) ^ load8(b + 8);
      e += diff ? static_cast<std::uint32_t>(std::countr_zero(diff)) / 8 : 8;
    }
    return e < m ? e : m;
  } else {
    std::uint32_t e = 0;
    while (e < m && a[e] == b[e]) ++e;
    return e;
  }
}

// Whether the 15 bytes at a and at b are equal (two overlapping 8-byte words).
inline bool equal15(const std::uint8_t* a, const std::uint8_t* b) {
  return load8(a) == load8(b) && load8(a + 7) == load8(b + 7);
}

}  // namespace

struct ChunkCompressor::Tables {
  std::array<std::uint8_t, COMPRESSOR_BUFFER_BYTES> buffer{};
  // The hash table of three-byte strings, one entry per slot in three arrays:
  // - key: EMPTY, DELETED, or the key (hash3) of the position the slot holds;
  // - pos: that position (meaningful only while key holds a key);
  // - tag: 0 for a free slot (EMPTY or DELETED), else the fingerprint15 of
  //   the position's 15 bytes.
  // They are not filled with EMPTY for every chunk:
  // - every slot a chunk takes is listed in `taken` and set EMPTY again at
  //   the start of the next hash-search chunk;
  // - slot_of_position: written for every position as it is passed (EMPTY
  //   when it is not entered) and read only for positions passed in the same
  //   chunk, so it needs no reset;
  // - last_pair: entries carry the chunk's generation in their upper half;
  //   an entry of another generation reads EMPTY.
  std::array<std::uint16_t, HASH_SLOTS + SLOT_PAD> key;
  std::array<std::uint16_t, HASH_SLOTS + SLOT_PAD> tag;
  std::array<std::uint16_t, HASH_SLOTS> pos;
  std::array<std::uint64_t, FREE_WORDS> free_bits;  // bit s % 64 of word s / 64: slot s is EMPTY or DELETED
  // Live slots per tag (tag % TAG_BUCKETS): when x's has none, no slot holds x's
  // 15 bytes and entering x needs no comparison at all.
  std::array<std::uint16_t, TAG_BUCKETS> live_with_tag;
  std::array<std::uint16_t, POSITIONS> slot_of_position;
  std::array<std::uint16_t, POSITIONS> hash_at;  // hash3 of every position of the chunk with 3 bytes left
  std::array<std::uint32_t, 65536> last_pair;  // by pair_index(B + x): generation << 16 | position
  std::array<std::uint16_t, 256> last_byte;
  // Slots not DELETED per key: a search stops probing once it has seen them all.
  std::array<std::uint16_t, HASH_SLOTS> live_with_key;
  std::array<std::uint16_t, HASH_SLOTS> taken;  // slots taken since the reset, in order
  std::uint32_t taken_count = 0;
  std::uint32_t generation = 0;
  // Scan search: for each byte value, 1 + the last index k < i - 1 at which it
  // occurs in the string being matched (0: absent). The shift for length i is
  // i - scan_seen[c]. Kept all-zero between positions.
  std::array<std::uint16_t, 256> scan_seen{};

  const HashParts* hash = &hash_parts();

  // State of the chunk being compressed.
  const std::uint8_t* b = nullptr;
  std::uint32_t end = 0;

  Tables();
  void reset_hash();
  void insert_position(std::uint32_t x, std::uint32_t r, std::uint32_t h);
  void insert_with_room(std::uint32_t x, std::uint32_t h);
  void set_free(std::uint32_t s) { free_bits[s >> 6] |= std::uint64_t{1} << (s & 63); }
  // Bits of free_bits from slot s on (at least 57 of them).
  std::uint64_t free_from(std::uint32_t s) const {
    if constexpr (WORDWISE) {
      // Bit s is bit s % 8 of byte s / 8.
      return load8(reinterpret_cast<const std::uint8_t*>(free_bits.data()) + (s >> 3)) >> (s & 7);
    } else {
      return (free_bits[s >> 6] >> (s & 63)) | ((free_bits[(s >> 6) + 1] << 1) << (63 - (s & 63)));
    }
  }
  void store(std::uint32_t s, std::uint32_t h, std::uint32_t x, std::uint16_t t) {
    const std::uint16_t k = key[s];
    if (k >= DELETED) {
      if (k == EMPTY) taken[taken_count++] = static_cast<std::uint16_t>(s);
      ++live_with_key[h];
      ++live_with_tag[t % TAG_BUCKETS];
      free_bits[s >> 6] &= ~(std::uint64_t{1} << (s & 63));
    }  // else x replaces an older position with the same 15 bytes (same key and tag)
    key[s] = static_cast<std::uint16_t>(h);
    tag[s] = t;
    pos[s] = static_cast<std::uint16_t>(x);
    slot_of_position[x] = static_cast<std::uint16_t>(s);
  }
  // Marks the slot of position y DELETED as y leaves the window.
  void forget_position(std::uint32_t y) {
    const std::uint16_t s = slot_of_position[y];
    if (s != EMPTY && key[s] != DELETED) {
      --live_with_key[key[s]];
      --live_with_tag[tag[s] % TAG_BUCKETS];
      key[s] = DELETED;
      tag[s] = 0;
      set_free(s);
    }
  }
  void set_last_pair(std::uint32_t x) { last_pair[pair_index(b + x)] = generation << 16 | x; }
  void advance_window(std::uint32_t p, std::uint32_t count);
  void pass_position(std::uint32_t x, std::uint32_t pair_stamp);
  Match find_match_hash(std::uint32_t p, std::uint32_t m);
  Match find_match_scan(std::uint32_t p, std::uint32_t m);
};

ChunkCompressor::Tables::Tables() {
  std::memset(key.data(), 0xFF, sizeof key);
  for (int i = HASH_SLOTS; i < HASH_SLOTS + SLOT_PAD; ++i) key[static_cast<std::size_t>(i)] = DELETED;
  std::memset(tag.data(), 0, sizeof tag);
  std::memset(pos.data(), 0xFF, sizeof pos);
  std::memset(slot_of_position.data(), 0xFF, sizeof slot_of_position);
  std::memset(hash_at.data(), 0, sizeof hash_at);
  std::memset(last_pair.data(), 0, sizeof last_pair);
  std::memset(last_byte.data(), 0xFF, sizeof last_byte);
  std::memset(live_with_key.data(), 0, sizeof live_with_key);
  std::memset(live_with_tag.data(), 0, sizeof live_with_tag);
  std::memset(free_bits.data(), 0, sizeof free_bits);
  for (std::uint32_t s = 0; s < HASH_SLOTS; ++s) set_free(s);
}

void ChunkCompressor::Tables::reset_hash() {
  // Every slot the last chunk took goes back to EMPTY, and with it its key's
  // count (a key with live slots has one of them among the taken slots).
  for (std::uint32_t i = 0; i < taken_count; ++i) {
    const std::uint16_t s = taken[i];
    if (key[s] != DELETED) {
      live_with_key[key[s]] = 0;
      live_with_tag[tag[s] % TAG_BUCKETS] = 0;
    }
    key[s] = EMPTY;
    tag[s] = 0;
    set_free(s);
  }
  taken_count = 0;
  if (++generation == 0x10000) {
    std::memset(last_pair.data(), 0, sizeof last_pair);
    generation = 1;
  }
  std::memset(last_byte.data(), 0xFF, sizeof last_byte);
  // Keys of every position with three bytes left, in one pass.
  const HashParts& parts = *hash;
  for (std::uint32_t x = WINDOW_SIZE - HISTORY_SEEDS; x + 2 < end; ++x) hash_at[x] = static_cast<std::uint16_t>(parts.key(b + x));
  // The only history positions ever entered: the last 15, as if each had 15
  // bytes after it (so equal ones replace each other).
  for (std::uint32_t x = WINDOW_SIZE - HISTORY_SEEDS; x < WINDOW_SIZE; ++x) insert_position(x, DEDUP_LENGTH, hash3(b, x));
  set_last_pair(4078);
  set_last_pair(4079);
  last_byte[b[4079]] = 4079;
}

// Enters x (with r bytes from x to the end of the chunk) in the hash table.
// A newer position whose 15 bytes equal an older one's takes its slot; the
// older position's slot_of_position stays as it was, so when the older one
// leaves the window the slot is marked DELETED although it holds the newer.
void ChunkCompressor::Tables::insert_position(std::uint32_t x, std::uint32_t r, std::uint32_t h) {
  if (r >= DEDUP_LENGTH && h + PROBE_LIMIT <= HASH_SLOTS) return insert_with_room(x, h);
  slot_of_position[x] = EMPTY;
  const std::uint16_t t = fingerprint15(b + x);
  std::uint32_t s = h;
  if (r >= DEDUP_LENGTH) {
    // The 30 slots wrap around the end of the table.
    for (int probe = 0; probe < PROBE_LIMIT; ++probe, s = next_slot(s)) {
      if (key[s] >= DELETED || (tag[s] == t && equal15(b + pos[s], b + x))) return store(s, h, x, t);
    }
    return;  // crowded: x is not entered
  }
  // Near the end of the chunk: the first free slot. At most 4095 slots are
  // live at any time, so one is always found; the bound only guards the loop.
  for (int probe = 0; probe < HASH_SLOTS; ++probe, s = next_slot(s)) {
    if (key[s] >= DELETED) return store(s, h, x, t);
  }
}

// insert_position for x with 15 bytes or more left and 30 slots from h that
// do not wrap around: the first of them that is free or holds 15 bytes equal
// to x's (such a slot has x's key and tag).
inline void ChunkCompressor::Tables::insert_with_room(std::uint32_t x, std::uint32_t h) {
  slot_of_position[x] = EMPTY;
  const std::uint16_t t = fingerprint15(b + x);
  const std::uint64_t free = free_from(h) & ((std::uint64_t{1} << PROBE_LIMIT) - 1);
  // Slots h .. h + f - 1 are live; h + f is the first free one, if any.
  const std::uint32_t f = free != 0 ? static_cast<std::uint32_t>(std::countr_zero(free)) : PROBE_LIMIT;
  if (live_with_tag[t % TAG_BUCKETS] != 0) {
    for (std::uint32_t s = h; s < h + f; ++s) {
      if (tag[s] == t && equal15(b + pos[s], b + x)) return store(s, h, x, t);
    }
  }
  if (f < PROBE_LIMIT) store(h + f, h, x, t);  // else crowded: x is not entered
}

// Passes count positions from p: each position 4080 back leaves the window,
// each passed position is entered in the three tables.
void ChunkCompressor::Tables::advance_window(std::uint32_t p, std::uint32_t count) {
  const std::uint32_t stop = p + count;
  std::uint32_t x = p;
  // Positions below 4065 are never entered. Each leaving position is seen
  // once, so its slot_of_position entry may stay as it is.
  if (stop + DEDUP_LENGTH <= end) {
    // Far from the end: every position has 15 bytes or more after it.
    const std::uint32_t stamp = generation << 16;
    for (; x < stop; ++x) pass_position(x, stamp);
    return;
  }
  for (; x < stop; ++x) {
    if (x - WINDOW_SIZE >= WINDOW_SIZE - HISTORY_SEEDS) forget_position(x - WINDOW_SIZE);
    if (x + 2 < end) insert_position(x, end - x, hash_at[x]);
    if (x + 1 < end) set_last_pair(x);
    if (x < end) last_byte[b[x]] = static_cast<std::uint16_t>(x);
  }
}

// One step of advance_window far from the end of the chunk.
inline void ChunkCompressor::Tables::pass_position(std::uint32_t x, std::uint32_t pair_stamp) {
  if (x - WINDOW_SIZE >= WINDOW_SIZE - HISTORY_SEEDS) forget_position(x - WINDOW_SIZE);
  const std::uint32_t h = hash_at[x];
  if (h + PROBE_LIMIT <= HASH_SLOTS) {
    insert_with_room(x, h);
  } else {
    insert_position(x, DEDUP_LENGTH, h);
  }
  const std::uint8_t* const bytes = b;
  last_pair[pair_index(bytes + x)] = pair_stamp | x;
  last_byte[bytes[x]] = static_cast<std::uint16_t>(x);
}

// Copy for p of at most m bytes: the first slot in probe order with all m
// bytes, else the first with the longest copy of 3 or more, else the latest
// pair, else the latest byte.
Match ChunkCompressor::Tables::find_match_hash(std::uint32_t p, std::uint32_t m) {
  const std::uint32_t a = p - WINDOW_SIZE;
  if (m >= 3) {
    const std::uint32_t h = hash_at[p];
    Match best;
    // Slots never become EMPTY again before the next reset; a table without
    // an EMPTY slot ends the probe after one full round. Slots of other keys
    // and DELETED ones are passed over, so once every live slot of this key
    // has been seen the rest of the probe can find nothing.
    std::uint32_t unseen = live_with_key[h];
    auto visit = [&](std::uint32_t s) {
      --unseen;
      // Every entered position lies in the window; the check on `a` keeps
      // an offset out of range from ever being written.
      const std::uint32_t x = pos[s];
      if (x < a) return false;
      const std::uint32_t e = common_prefix(b + x, b + p, m);
      if (e == m) {
        best = Match{x, m};
        return true;
      }
      if (e > best.length) best = Match{x, e};
      return false;
    };
    if (WORDWISE) {
      // Four keys at a time: lanes with this key (live slots) or EMPTY.
      const std::uint64_t want = lanes_of(static_cast<std::uint16_t>(h));
      std::uint32_t s = h;
      for (std::uint32_t passed = 0; unseen > 0 && passed <= HASH_SLOTS; passed += 4) {
        const std::uint64_t v = load8(key.data() + s);
        for (std::uint64_t found = zero_lanes(v ^ want) | zero_lanes(~v); found != 0; found &= found - 1) {
          const std::uint32_t slot = s + first_lane(found);
          if (key[slot] == EMPTY) {
            unseen = 0;
            break;
          }
          if (visit(slot)) return best;
          if (unseen == 0) break;
        }
        s = s + 4 >= HASH_SLOTS ? 0 : s + 4;
      }
    } else {
      std::uint32_t s = h;
      for (int probe = 0; unseen > 0 && probe < HASH_SLOTS; ++probe, s = next_slot(s)) {
        if (key[s] == EMPTY) break;
        if (key[s] != h) continue;
        if (visit(s)) return best;
      }
    }
    if (best.length >= 3) return best;
  }
  if (m >= 2) {
    const std::uint32_t c = last_pair[pair_index(b + p)];
    if (c >> 16 == generation && (c & 0xFFFF) >= a) return Match{c & 0xFFFF, 2};
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

std::size_t ChunkCompressor::used_slots() const { return tables_->taken_count; }

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
