// Writes the data files of one subbook into Dic/<DIR>/: one file per selected
// index entry, either a raw copy of its pages or a VORQDATA container.
//
// VORQDATA: data_file_layout.h; one record per chunk of up to 16 pages.
// Pages of separate graphic and sound files get numbers behind the text's
// pages; references to them in the body text are relocated on the way.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "bookfile/book_file.h"
#include "components/compressor.h"
#include "components/data_file_layout.h"
#include "components/package_description.h"
#include "components/plan.h"

namespace tolvex {

// A header counts chunks in 16 bits.
inline constexpr std::uint32_t MAX_CHUNKS = 65535;

// Most threads that compress chunks (the writing thread among them), whatever
// RunOptions.threads asks: with the chunks in flight (two per thread) this
// keeps the writer's memory near 12 MiB at most.
inline constexpr int MAX_WRITER_THREADS = 16;

// Compressing threads for RunOptions.threads: 0 = one per processor the
// process may run on (at least 1), and never more than MAX_WRITER_THREADS.
int writer_thread_count(int requested);

class CompressionPool;  // data_writer.cpp

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
