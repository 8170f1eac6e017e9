// Source files of a subbook (text, graphics, sound) read page by page.
//
// Pages are 2048 bytes, numbered from 1. A plain file (kind 0) holds page n
// at (n - 1) * 2048. A compressed file (kind 1 or 2) starts with a 20-byte
// CompressionHeader, keeps a page index of 36-byte PageGroup records (a base
// offset and sixteen 16-bit page offsets) and Huffman frequency tables; kind 2
// prefixes every page with a flag byte, non-zero for a page stored raw.
//
// A file kept compressed with ebzip (name.ebz, bookfile/ebzip.h) is found
// where the file itself is missing and read as a plain file.
//
// Pages are read through a PageReader, which keeps the reading position:
// page 0 reads the page after the last page that reader read.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "bookfile/ebzip.h"
#include "bookfile/huffman.h"
#include "bookfile/page_sizes.h"

namespace tolvex {

struct CompressionHeader {
  std::int32_t index_offset = 0;  // file offset of the page index
  std::int32_t word1 = 0;         // not used
  std::int32_t table_offset = 0;  // file offset of the frequency tables
  std::int32_t table_length = 0;  // their length in bytes
  std::int32_t word4 = 0;         // not used
};

struct BookFile {
  std::string name;  // last component of the path, for messages
  int descriptor = -1;
  int kind = 0;  // 0 plain, 1 or 2 compressed
  // Plain files: where the last read ended, so where page 0 reads on (the
  // descriptor's own position runs ahead, as pages come from a read-ahead).
  std::int64_t position = 0;
  std::unique_ptr<CompressionHeader> header;  // compressed files only
  std::unique_ptr<DecodingTree> tree;         // compressed files only
  std::unique_ptr<EbzipFile> ebzip;           // files kept as name.ebz only

  std::uint64_t serial;  // unique to this file for the run, for the readers' caches

  BookFile();
  BookFile(const BookFile&) = delete;
  BookFile& operator=(const BookFile&) = delete;
  ~BookFile();  // closes the descriptor
};

using BookFilePtr = std::unique_ptr<BookFile>;

// Kind 1 or 2 opens a compressed file; any other kind a plain file (kind 0).
// The path is looked for in its disc name forms (platform::resolve_path_case:
// any case, "NAME.", "NAME;1"), else as `path.ebz` in those. A file found as name.ebz is plain whatever the kind: ebzip
// stores decoded pages. Null when the file cannot be opened, or its header, tables or (for .ebz) slice index are
// unusable. `open_result`, when given, receives the descriptor or the open's failure (platform::OPEN_NOT_REGULAR for a
// FIFO, a device, a socket, a directory or a link loop).
BookFilePtr open_book_file(const std::string& path, int kind, int* open_result = nullptr);
// Reads the frequency tables of an open compressed file (kind 1 or 2, header
// read) and builds its decoding tree; null when the counts are negative or
// above MAX_LEAVES, the tables do not lie inside the file's `file_size`
// bytes, or a table cannot be read whole. Nothing is allocated for a table
// before it is known to fit in the file.
std::unique_ptr<DecodingTree> build_decoding_tree(const BookFile& file, std::int64_t file_size);

// Releases the file; null is accepted. Returns 0.
int close_book_file(BookFilePtr& file);

// The reading position of read_block and the caches of the file read last.
// Page 0 goes on after the last page this reader read, on whatever file it
// is given: callers pass 0 only to go on with the file they read last. A
// reader serves one thread: whoever reads owns one (the pipeline and the
// checker one per subbook) and hands it down by reference; it cannot be
// copied.
class PageReader {
 public:
  struct Cache;

  PageReader();
  ~PageReader();
  PageReader(const PageReader&) = delete;
  PageReader& operator=(const PageReader&) = delete;

  // Reads page `page` (0: the page after the last one read) into the
  // 2048-byte destination. Returns the destination, or null on failure. A
  // named page becomes current_page even when the read then fails; a failed
  // read never advances it. On a compressed file, page 0 before any page has
  // been read (current_page 0) names no page and fails; a plain file reads
  // on at its file position, which right after the open is page 1.
  std::uint8_t* read_block(std::uint8_t* destination, BookFile* file, std::uint32_t page);

  // The page after the last page read (0 at start).
  std::int32_t current_page() const { return current_page_; }

 private:
  std::int32_t current_page_ = 0;
  std::unique_ptr<Cache> cache_;
};

// Bytes in the file as it was when opened: the original's size for a .ebz.
std::int64_t book_file_size(const BookFile& file);
// Reads on from where the last read_book_bytes on this file ended (the start
// at first), up to n bytes: for copying whole files such as fonts. Returns
// the count, 0 at the end, -1 on failure. Not to be mixed with read_block.
long read_book_bytes(BookFile* file, std::uint8_t* destination, std::size_t n);

// The last component of a path: everything after the last '/', '\' or ':'.
std::string base_name_of(const std::string& path);

}  // namespace tolvex
