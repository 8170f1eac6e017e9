#include "components/component_table.h"

#include <cstdio>

#include "catalog/bytes.h"
#include "components/run_options.h"

namespace tolvex {

// The order matters: kinds are matched in it, and the profile lists files in it.
const std::array<ComponentKind, COMPONENT_KIND_COUNT> COMPONENT_KINDS = {{
    {0x00, 1, CLASS_REQUIRED, "HONMON.DIC"},  {0x01, 1, CLASS_REQUIRED, "MENU.DIC"},
    {0x02, 1, CLASS_NONE, "COPYR.DIC"},       {0x03, 1, CLASS_OPTIONAL, "KWTITLE.DIC"},
    {0x04, 1, CLASS_REQUIRED, "FKTITLE.DIC"}, {0x05, 1, CLASS_REQUIRED, "FHTITLE.DIC"},
    {0x06, 1, CLASS_REQUIRED, "BKTITLE.DIC"}, {0x07, 1, CLASS_REQUIRED, "BHTITLE.DIC"},
    {0x08, 1, CLASS_REQUIRED, "FATITLE.DIC"}, {0x09, 1, CLASS_REQUIRED, "BATITLE.DIC"},
    {0x0A, 1, CLASS_OPTIONAL, "CRTITLE.DIC"}, {0x0B, 1, CLASS_NONE, "KOTITLE.DIC"},
    {0x0D, 1, CLASS_NONE, "JOTITLE.DIC"},     {0x0E, 1, CLASS_NONE, "AUTODEMO.DIC"},
    {0x0F, 1, CLASS_NONE, "SCRTITLE.DIC"},    {0x10, 1, CLASS_NONE, "SCRMENU.DIC"},
    {0x11, 1, CLASS_NONE, "COLMENU.DIC"},     {0x12, 1, CLASS_NONE, "KINSOKU.DIC"},
    {0x13, 1, CLASS_NONE, "TEXT13.DIC"},      {0x14, 1, CLASS_NONE, "TEXT14.DIC"},
    {0x15, 1, CLASS_NONE, "TEXT15.DIC"},      {0x16, 1, CLASS_NONE, "MULTITLE.DIC"},
    {0x20, 1, CLASS_NONE, "MENU20.DIC"},      {0x21, 1, CLASS_NONE, "COPYR21.DIC"},
    {0x22, 1, CLASS_NONE, "MENU22.DIC"},      {0x23, 1, CLASS_NONE, "COPYR23.DIC"},
    {0x24, 1, CLASS_NONE, "SNDTITLE.DIC"},    {0x30, 1, CLASS_REQUIRED, "KAINDEX.DIC"},
    {0x40, 1, CLASS_REQUIRED, "ENINDEX.DIC"}, {0x50, 1, CLASS_REQUIRED, "KJINDEX.DIC"},
    {0x60, 1, CLASS_REQUIRED, "HYINDEX.DIC"}, {0x61, 1, CLASS_NONE, "EWINDEX.DIC"},
    {0x70, 1, CLASS_REQUIRED, "BKINDEX.DIC"}, {0x71, 1, CLASS_REQUIRED, "BHINDEX.DIC"},
    {0x72, 1, CLASS_REQUIRED, "BAINDEX.DIC"}, {0x73, 1, CLASS_NONE, "BOINDEX.DIC"},
    {0x80, 1, CLASS_OPTIONAL, "KWINDEX.DIC"}, {0x81, 1, CLASS_OPTIONAL, "CRINDEX.DIC"},
    {0x90, 1, CLASS_REQUIRED, "FKINDEX.DIC"}, {0x91, 1, CLASS_REQUIRED, "FHINDEX.DIC"},
    {0x92, 1, CLASS_REQUIRED, "FAINDEX.DIC"}, {0x93, 1, CLASS_NONE, "FOINDEX.DIC"},
    {0xA0, 1, CLASS_NONE, "KOINDEX.DIC"},     {0xA1, 1, CLASS_NONE, "JOINDEX.DIC"},
    {0xB0, 1, CLASS_NONE, "PGINDEX.DIC"},     {0xB1, 1, CLASS_NONE, "PKINDEX.DIC"},
    {0xD0, 1, CLASS_REQUIRED, "MONOSCR.DIC"}, {0xD1, 1, CLASS_NONE, "XMONOSCR.DIC"},
    {0xD2, 1, CLASS_GRAPHICS, "COLSCR.DIC"},  {0xD8, 1, CLASS_SOUND, "PCMDATA.DIC"},
    {0xE0, 1, CLASS_NONE, "COLSMPL.DIC"},     {0xEE, 1, CLASS_NONE, "COLDEMO.DIC"},
    {0xEF, 1, CLASS_NONE, "COLTITLE.DIC"},    {0xF0, 0, CLASS_NONE, "AUTH.DIC"},
    {0xF1, 0, CLASS_REQUIRED, "GA16FULL"},    {0xF2, 0, CLASS_REQUIRED, "GA16HALF"},
    {0xFB, 0, CLASS_NONE, "GATABLE.DIC"},     {0xFF, 1, CLASS_OPTIONAL, "MULTI?.DIC"},
}};

bool is_selected(const ComponentKind& kind, int selection) {
  switch (kind.component_class) {
    case CLASS_REQUIRED: return true;
    case CLASS_OPTIONAL: return (selection & DO_OPTIONAL) != 0;
    case CLASS_GRAPHICS: return (selection & DO_GRAPHICS) != 0;
    case CLASS_SOUND: return (selection & DO_SOUND) != 0;
    case CLASS_NONE: return false;
  }
  return false;
}

int match_component(std::uint8_t code, int selection) {
  for (int row = 0; row < COMPONENT_KIND_COUNT; ++row) {
    if (COMPONENT_KINDS[row].code == code && is_selected(COMPONENT_KINDS[row], selection)) return row;
  }
  return -1;
}

std::string component_file_name(const ComponentKind& kind, int multi_number) {
  if (kind.code == MULTI_SEARCH_CODE) {
    char name[32];
    std::snprintf(name, sizeof name, "MULTI%d.DIC", multi_number);
    return name;
  }
  return kind.file_name;
}

std::uint32_t IndexEntryView::start_page() const { return get_be(bytes + 2, 4); }
void IndexEntryView::set_start_page(std::uint32_t page) { put_be(bytes + 2, 4, page); }
std::uint32_t IndexEntryView::page_count() const { return get_be(bytes + 6, 4); }

int index_entry_count(const std::uint8_t* index_page) {
  int count = static_cast<int>(get_be(index_page, 2));
  return count > MAX_INDEX_ENTRIES ? MAX_INDEX_ENTRIES : count;
}

IndexEntryView index_entry(std::uint8_t* index_page, int i) {
  return IndexEntryView{index_page + 16 + INDEX_ENTRY_SIZE * i};
}

}  // namespace tolvex
