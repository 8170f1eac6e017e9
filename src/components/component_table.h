// The 58 component kinds a subbook's index page may list, and the index page
// itself.
//
// IndexPage: entry_count (2 bytes) at 0, then 16-byte IndexEntry records from
// byte 16: code (1), start_page (4 at offset 2), page_count (4 at 6),
// attribute (1 at 10), parameters (3 at 11). A page has room for 127 entries.
// Each kind names the data file its entries become, whether that file is
// compressed, and the class that decides under which run flags it is written.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace tolvex {

enum ComponentClass : int {
  CLASS_REQUIRED = 0,
  CLASS_OPTIONAL = 1,
  CLASS_GRAPHICS = 2,
  CLASS_SOUND = 3,
  CLASS_NONE = 9,
};

struct ComponentKind {
  std::uint8_t code;
  std::uint8_t compressed;  // 1: VORQDATA unless DO_RAW; 0: always raw
  ComponentClass component_class;
  const char* file_name;
};

inline constexpr int COMPONENT_KIND_COUNT = 58;
extern const std::array<ComponentKind, COMPONENT_KIND_COUNT> COMPONENT_KINDS;

// Per subbook: how many index entries of each kind (by table row) were selected.
using SelectedCounts = std::array<std::uint8_t, COMPONENT_KIND_COUNT>;

inline constexpr std::uint8_t BODY_TEXT_CODE = 0x00;
inline constexpr std::uint8_t MULTI_SEARCH_CODE = 0xFF;
inline constexpr std::uint8_t GRAPHIC_CODE = 0xD2;
inline constexpr std::uint8_t SOUND_CODE = 0xD8;

// Whether files of this kind are written under the selection bits.
bool is_selected(const ComponentKind& kind, int selection);
// Row of the first kind with this code that is selected; -1 if none.
int match_component(std::uint8_t code, int selection);
// "MULTI%d.DIC" for code 0xFF, else the kind's file_name.
std::string component_file_name(const ComponentKind& kind, int multi_number);

// The index page: at most MAX_INDEX_ENTRIES entries are ever read, since
// a 2048-byte page holds no more.
inline constexpr int INDEX_ENTRY_SIZE = 16;
inline constexpr int MAX_INDEX_ENTRIES = 127;

struct IndexEntryView {
  std::uint8_t* bytes;
  std::uint8_t code() const { return bytes[0]; }
  std::uint32_t start_page() const;
  void set_start_page(std::uint32_t page);
  std::uint32_t page_count() const;
  std::uint8_t attribute() const { return bytes[10]; }
  const std::uint8_t* parameters() const { return bytes + 11; }
};

// entry_count as stored, limited to MAX_INDEX_ENTRIES.
int index_entry_count(const std::uint8_t* index_page);
IndexEntryView index_entry(std::uint8_t* index_page, int i);

}  // namespace tolvex
