// What the whole-run tests cannot see: that the generated books keep the
// cases they exist for.
// (That their pages read back is checked by tests/interop and tests/e2e.)
#include "testbook.h"

#include <gtest/gtest.h>

#include "scratch_dir.h"

#include <algorithm>

namespace tolvex::testbook {
namespace {

using testing_support::ScratchDir;

TEST(TestBook, SampleBookHasRawPagesAndReferencesAcrossPageEnds) {
  ScratchDir dir;
  const GeneratedBook book = write_book(dir.path(), sample_book_recipe());
  ASSERT_TRUE(book.ok()) << book.error;
  const GeneratedSubbook& s = book.subbooks[0];
  ASSERT_EQ(s.text.kind, 2);
  EXPECT_NE(std::count(s.text.raw_pages.begin(), s.text.raw_pages.end(), true), 0)
      << "the page of 0..255 repeated and the unknown component do not compress";
  const auto straddling = std::count_if(s.references.begin(), s.references.end(), [](const Reference& r) {
    return r.offset + (r.graphic ? 14 : 6) >= PAGE_BYTES;  // the page number lies on the next page
  });
  EXPECT_GE(straddling, 3);
  // The text stops short of the pathological pages: body page 7 all zeros,
  // page 8 the bytes 0..255 repeated.
  const Page& zeros = s.text.pages[s.body_start - 1 + 7];
  const Page& ramp = s.text.pages[s.body_start - 1 + 8];
  EXPECT_EQ(std::count(zeros.begin(), zeros.end(), 0), static_cast<std::ptrdiff_t>(PAGE_BYTES));
  for (std::size_t i = 0; i < PAGE_BYTES; ++i) ASSERT_EQ(ramp[i], static_cast<std::uint8_t>(i)) << i;
}

}  // namespace
}  // namespace tolvex::testbook
