// Writes the data files of one subbook into Dic/<DIR>/: one file per planned
// file, either a raw copy of its pages or a VORQDATA container.
//
// VORQDATA: data_file_layout.h, put together by data_file_builder.h; one
// record per chunk of up to 16 pages, read by chunk_reader.h (which relocates
// the references to separate graphic and sound files, whose pages get
// numbers behind the text's), compressed on the threads of
// compression_pool.h.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "bookfile/book_file.h"
#include "components/compression_pool.h"
#include "components/compressor.h"
#include "components/data_file_layout.h"
#include "components/package_description.h"
#include "components/plan.h"

namespace tolvex {

// The work buffers of the writer, allocated once per run and reused for every
// chunk of every file: 16 chunk pages plus one look-ahead page, the record
// buffer and the compressor's tables. With more than one thread, also the
// pool: the worker threads, a compressor for each compressing thread and the
// buffers of the chunks in flight, made on the first compressed file and kept
// for the run.
class DataWriterBuffers {
 public:
  DataWriterBuffers();
  ~DataWriterBuffers();
  DataWriterBuffers(const DataWriterBuffers&) = delete;
  DataWriterBuffers& operator=(const DataWriterBuffers&) = delete;
  std::uint8_t* chunk_area() { return chunk_area_.data(); }
  // A chunk record: its head, then room for the tokens.
  std::uint8_t* record() { return record_.data(); }
  ChunkCompressor& compressor() { return compressor_; }
  // The pool of `compressors` compressing threads, the calling one among
  // them (the others started on the first call), or of as many as could be
  // started; nullptr when not even one worker thread or the pool's memory
  // could be had: the caller then compresses alone.
  CompressionPool* pool(int compressors);

 private:
  std::vector<std::uint8_t> chunk_area_;
  std::vector<std::uint8_t> record_;
  ChunkCompressor compressor_;
  std::unique_ptr<CompressionPool> pool_;
};

// Writes every planned file, in page order, into package.dir, reading its
// pages through `reader`. Chunks of a
// compressed file are compressed on writer_thread_count(package.options.threads)
// threads; pages are read and relocated in chunk order on the calling
// thread, and records written and reported in chunk order, one at a time, so
// the files and the messages do not depend on the thread count.
// Returns 0, or -1 at the first failure (reported).
int write_data_components(const PackageDescription& package, const SubbookPlan& plan, PageReader& reader,
                          DataWriterBuffers& buffers);

}  // namespace tolvex
