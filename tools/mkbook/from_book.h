// Other layouts of an existing book: `tolvex-mkbook --from BOOKDIR`.
//
// The source is an EPWING book with one subbook whose graphics and sound lie
// in its text file, as FreePWING links one. Its pages are read through the
// converter's own reader and written again by the generator's writers, as
// the recipe's first subbook asks: EPWING with a second table (the text
// compressed with text_kind; graphics and sound moved to files of their own,
// the sound compressed with sound_kind, and the body text's references moved
// with them), or the EB layout (one START file holding the text and the two
// fonts as components of their own).
#pragma once

#include <filesystem>
#include <string>

#include "testbook.h"

namespace tolvex::testbook {

GeneratedBook write_book_from(const std::string& source_dir, const std::filesystem::path& dir,
                              const BookRecipe& recipe);

}  // namespace tolvex::testbook
