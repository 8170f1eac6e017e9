// Chunks compressed on several threads and their records written in chunk
// order, one at a time, so that files and messages do not depend on the
// thread count.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "components/chunk_reader.h"
#include "components/compressor.h"
#include "components/data_file_builder.h"
#include "platform/compiler.h"

namespace tolvex {

// Most threads that compress chunks (the writing thread among them), whatever
// RunOptions.threads asks: with the chunks in flight (two per thread) this
// keeps the writer's memory near 12 MiB at most.
inline constexpr int MAX_WRITER_THREADS = 16;

// Compressing threads for RunOptions.threads: 0 = one per processor the
// process may run on (at least 1), and never more than MAX_WRITER_THREADS.
int writer_thread_count(int requested);

// Compression on `compressors` threads: the reading thread and
// compressors - 1 workers, each with its own compressor, and the buffers of
// the chunks in flight (two per compressor). The reading thread reads chunk c
// into slot c % slot_count() and submits it; while it waits for a slot to
// become free it compresses chunks that no worker has taken yet, so that on
// n processors n threads compress and none of them sleeps while work is
// queued. Records are written in chunk order by whichever thread finds the
// next chunk compressed (one at a time), so that writing stays off the
// reading thread, without a thread of its own to wake for every chunk.
class CompressionPool {
 public:
  struct Slot {
    // The chunk's pages, read here directly (with the look-ahead page).
    std::vector<std::uint8_t> data = std::vector<std::uint8_t>(CHUNK_AREA_BYTES);
    std::vector<std::uint8_t> record = std::vector<std::uint8_t>(RECORD_BYTES);
    std::size_t length = 0;
    std::uint8_t fill = 0;
    SearchKind search = SearchKind::hash;
    std::size_t token_bytes = 0;
    bool busy = false;  // submitted, its record not yet written
    bool done = false;  // compressed
  };
  // Writes the record of a compressed chunk (and prints what goes with it);
  // false after a failure it has reported, which ends the writing.
  using RecordSink = std::function<bool(std::uint32_t chunk, Slot&)>;

  // Short of memory, the constructor throws std::bad_alloc. A thread that
  // cannot be started leaves the pool with the ones that could: fewer
  // threads give the same records.
  explicit CompressionPool(int compressors);
  ~CompressionPool();
  CompressionPool(const CompressionPool&) = delete;
  CompressionPool& operator=(const CompressionPool&) = delete;

  int requested() const { return requested_; }
  // A record failed for want of memory (and could not say so itself).
  bool out_of_memory() const { return out_of_memory_; }
  // The threads that compress: the reading thread and the workers started.
  int threads() const { return 1 + static_cast<int>(threads_.size()); }
  std::size_t slot_count() const { return slots_.size(); }
  Slot& slot(std::size_t i) { return slots_[i]; }

  // Starts a file: its records go to `sink`, from chunk 0 on.
  void begin(RecordSink sink);
  // Starts compressing slot i (its data, length and search set).
  void submit(std::size_t i);
  // Waits until the records of the first n chunks are written, compressing
  // queued slots meanwhile; false when a record failed instead.
  bool wait_written(std::uint32_t n);
  // Ends the file: waits until no slot is compressed or written any more
  // (after a failure, the ones in flight), and frees every slot.
  void end();

 private:
  TOLVEX_NOINLINE static void compress(ChunkCompressor& compressor, Slot& s);
  bool compress_queued(std::unique_lock<std::mutex>& lock);
  void compressed(std::size_t j, std::unique_lock<std::mutex>& lock);
  void work(ChunkCompressor& compressor);

  int requested_;
  std::vector<Slot> slots_;
  std::vector<std::unique_ptr<ChunkCompressor>> compressors_;
  std::vector<std::thread> threads_;
  std::mutex mutex_;
  std::condition_variable work_ready_;
  std::condition_variable progress_;  // a slot compressed, a record written or failed
  std::deque<std::size_t> queue_;
  RecordSink sink_;
  std::uint32_t next_ = 0;  // the chunk whose record is written next
  bool writing_ = false;    // a thread is in sink_
  bool failed_ = false;
  std::atomic<bool> out_of_memory_{false};
  bool stop_ = false;
};

}  // namespace tolvex
