#include "catalog/catalog.h"

#include <gtest/gtest.h>

namespace tolvex {
namespace {

CatalogImage image_of(std::vector<std::uint8_t> bytes) {
  CatalogImage image;
  image.bytes = std::move(bytes);
  return image;
}

std::vector<std::uint8_t> catalog_bytes(int count, std::uint8_t layout, std::size_t size) {
  std::vector<std::uint8_t> b(size, 0);
  b[0] = static_cast<std::uint8_t>(count >> 8);
  b[1] = static_cast<std::uint8_t>(count);
  b[3] = layout;
  return b;
}

TEST(Catalog, BookDirIsCutAfterTheLastSeparator) {
  EXPECT_EQ(book_dir_of("/media/book/CATALOGS"), "/media/book/");
  EXPECT_EQ(book_dir_of("D:CATALOGS"), "D:");
  EXPECT_EQ(book_dir_of("D:\\book/x\\CATALOGS"), "D:\\book/x\\");
  EXPECT_EQ(book_dir_of("CATALOGS"), "");
}

TEST(Catalog, RecordsOutsideTheFileAreAbsent) {
  // Three entries announced, room for one and a half.
  auto img = image_of(catalog_bytes(3, 2, 16 + 164 + 80));
  EXPECT_EQ(catalog_subbook_count(img), 3);
  EXPECT_EQ(catalog_readable_entries(img), 1);
  EXPECT_TRUE(catalog_entry(img, 0));
  EXPECT_FALSE(catalog_entry(img, 1));
  EXPECT_FALSE(catalog_entry(img, -1));
  EXPECT_FALSE(catalog_file_entry(img, 0));  // the second table would start at 508
  const auto whole = image_of(catalog_bytes(3, 2, 16 + 6 * 164));
  EXPECT_EQ(catalog_file_entry(whole, 1)->bytes - whole.bytes.data(), 672);  // behind the entries and entry 0

  EXPECT_EQ(catalog_readable_entries(image_of({})), 0);
  EXPECT_EQ(catalog_readable_entries(image_of({0x00, 0x05})), 0);
  EXPECT_EQ(catalog_subbook_count(image_of({0x00})), 0);
  EXPECT_FALSE(catalog_file_entry(image_of(catalog_bytes(1, 0, 400)), 0));  // EB has no second table
  EXPECT_EQ(compression_kind_of(0x13), 0);                                  // unknown kinds are read as plain
}

}  // namespace
}  // namespace tolvex
