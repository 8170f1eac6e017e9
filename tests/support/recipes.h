// The small generated book of the whole-run, hostile and fuzz tests.
#pragma once

#include "testbook.h"

namespace tolvex::testing_support {

// One EPWING subbook SAMPLE whose text file has the given kind, with separate
// graphic and sound (kind 1) files when `separate` is set.
inline testbook::BookRecipe small_book(int text_kind, bool separate, std::uint32_t body_pages = 20) {
  testbook::BookRecipe recipe;
  testbook::SubbookRecipe& s = recipe.subbooks.front();
  s.text_kind = text_kind;
  s.separate_graphic = separate;
  s.separate_sound = separate;
  s.sound_kind = separate ? 1 : 0;
  s.body_pages = body_pages;
  s.multi_searches = 2;
  s.graphic_pages = 3;
  s.sound_pages = 2;
  return recipe;
}

}  // namespace tolvex::testing_support
