// Test-only: the hash search of the chunk compressor written out literally,
// step by step as the format's encoder describes it (tables filled with 0xFF
// for every chunk, byte-by-byte comparisons, probes that run to an EMPTY
// slot). The oracle for the optimized search in compressor.cpp; not part of
// the converter.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "components/compressor.h"

namespace tolvex::reference {

class LiteralHashCompressor {
 public:
  // b: the buffer (4080 history bytes, then n chunk bytes); returns the tokens.
  std::vector<std::uint8_t> compress(const std::uint8_t* b, std::size_t n) {
    b_ = b;
    end_ = static_cast<std::uint32_t>(WINDOW_SIZE + n);
    for (auto* table : {&key_, &pos_, &slot_of_position_, &last_pair_, &last_byte_})
      std::fill(table->begin(), table->end(), EMPTY);
    for (std::uint32_t x = 4065; x <= 4079; ++x) insert(x, 15);
    last_pair_[b[4078] * 256 + b[4079]] = 4078;
    last_pair_[b[4079] * 256 + b[4080]] = 4079;
    last_byte_[b[4079]] = 4079;

    std::vector<std::uint8_t> out;
    std::uint32_t p = WINDOW_SIZE;
    while (p < end_ - 1) {
      const std::uint32_t m = p + 15 < end_ ? 15 : end_ - p - 1;
      std::uint32_t x = 0, length = 0;
      find(p, m, x, length);
      advance(p, length + 1);
      const std::uint32_t offset = length == 0 ? 0 : x - (p - WINDOW_SIZE);
      out.push_back(static_cast<std::uint8_t>(offset >> 4));
      out.push_back(static_cast<std::uint8_t>(((offset & 15) << 4) | length));
      out.push_back(b[p + length]);
      p += length + 1;
    }
    if (p == end_ - 1) out.insert(out.end(), {0, 0, b[p]});
    return out;
  }

  // Over all chunks so far: positions that took the slot of an older one with
  // the same 15 bytes, and slots marked DELETED while holding a newer position.
  std::uint64_t replacements = 0;
  std::uint64_t deleted_newer = 0;

 private:
  static constexpr std::uint16_t EMPTY = 0xFFFF, DELETED = 0xFFFE;
  static constexpr int SLOTS = 20443;

  std::uint32_t hash3(std::uint32_t x) const {
    std::int32_t v = ((((b_[x] * 128) + b_[x + 1]) * 128 + b_[x + 2]) * 128) % SLOTS;
    return static_cast<std::uint32_t>(v);
  }
  void store(std::uint32_t s, std::uint32_t h, std::uint32_t x) {
    key_[s] = static_cast<std::uint16_t>(h);
    pos_[s] = static_cast<std::uint16_t>(x);
    slot_of_position_[x] = static_cast<std::uint16_t>(s);
  }
  void insert(std::uint32_t x, std::uint32_t r) {
    const std::uint32_t h = hash3(x);
    std::uint32_t s = h;
    if (r >= 15) {
      for (int examined = 0; examined < 30; ++examined, s = (s + 1) % SLOTS) {
        if (pos_[s] == EMPTY || pos_[s] == DELETED) return store(s, h, x);
        if (key_[s] == h) {
          bool same = true;
          for (int j = 0; j < 15; ++j) same = same && b_[pos_[s] + j] == b_[x + j];
          if (same) {
            ++replacements;
            return store(s, h, x);
          }
        }
      }
      return;
    }
    for (;; s = (s + 1) % SLOTS) {
      if (pos_[s] == EMPTY || pos_[s] == DELETED) return store(s, h, x);
    }
  }
  void advance(std::uint32_t p, std::uint32_t count) {
    for (std::uint32_t x = p; x < p + count; ++x) {
      const std::uint32_t y = x - WINDOW_SIZE;
      if (slot_of_position_[y] != EMPTY) {
        if (pos_[slot_of_position_[y]] != y && pos_[slot_of_position_[y]] != DELETED) ++deleted_newer;
        pos_[slot_of_position_[y]] = DELETED;
        slot_of_position_[y] = EMPTY;
      }
      if (x < end_ - 2) insert(x, end_ - x);
      if (x < end_ - 1) last_pair_[b_[x] * 256 + b_[x + 1]] = static_cast<std::uint16_t>(x);
      if (x < end_) last_byte_[b_[x]] = static_cast<std::uint16_t>(x);
    }
  }
  void find(std::uint32_t p, std::uint32_t m, std::uint32_t& x, std::uint32_t& length) const {
    const std::uint32_t a = p - WINDOW_SIZE;
    if (m >= 3) {
      const std::uint32_t h = hash3(p);
      std::uint32_t best = 0, best_pos = 0;
      std::uint32_t s = h;
      for (int probes = 0; probes < SLOTS && pos_[s] != EMPTY; ++probes, s = (s + 1) % SLOTS) {
        if (pos_[s] == DELETED || key_[s] != h) continue;
        std::uint32_t e = 0;
        while (e < m && b_[pos_[s] + e] == b_[p + e]) ++e;
        if (e == m) {
          x = pos_[s];
          length = m;
          return;
        }
        if (e > best) {
          best = e;
          best_pos = pos_[s];
        }
      }
      if (best >= 3) {
        x = best_pos;
        length = best;
        return;
      }
    }
    if (m >= 2) {
      const std::uint16_t c = last_pair_[b_[p] * 256 + b_[p + 1]];
      if (c != EMPTY && c >= a) {
        x = c;
        length = 2;
        return;
      }
    }
    const std::uint16_t c = last_byte_[b_[p]];
    if (c != EMPTY && c >= a) {
      x = c;
      length = 1;
      return;
    }
    length = 0;
  }

  const std::uint8_t* b_ = nullptr;
  std::uint32_t end_ = 0;
  std::vector<std::uint16_t> key_ = std::vector<std::uint16_t>(SLOTS);
  std::vector<std::uint16_t> pos_ = std::vector<std::uint16_t>(SLOTS);
  std::vector<std::uint16_t> slot_of_position_ = std::vector<std::uint16_t>(WINDOW_SIZE + CHUNK_BYTES);
  std::vector<std::uint16_t> last_pair_ = std::vector<std::uint16_t>(65536);
  std::vector<std::uint16_t> last_byte_ = std::vector<std::uint16_t>(256);
};

}  // namespace tolvex::reference
