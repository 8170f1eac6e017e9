#include "components/compression_pool.h"

#include <algorithm>
#include <new>

#include "platform/platform.h"

namespace tolvex {

int writer_thread_count(int requested) {
  int n = requested;
  if (n <= 0) n = platform::usable_processors();
  return std::clamp(n, 1, MAX_WRITER_THREADS);
}

CompressionPool::CompressionPool(int compressors)
    : requested_(compressors), slots_(2 * static_cast<std::size_t>(compressors)) {
  for (int i = 0; i < compressors; ++i) compressors_.push_back(std::make_unique<ChunkCompressor>());
  for (int i = 1; i < compressors; ++i) {
    try {
      threads_.emplace_back([this, i] { work(*compressors_[i]); });
    } catch (...) {  // std::system_error, or std::bad_alloc for the thread's state
      break;
    }
  }
}

CompressionPool::~CompressionPool() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  work_ready_.notify_all();
  for (std::thread& t : threads_) t.join();
}

void CompressionPool::begin(RecordSink sink) {
  std::lock_guard<std::mutex> lock(mutex_);
  sink_ = std::move(sink);
  next_ = 0;
  failed_ = false;
}

void CompressionPool::submit(std::size_t i) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    slots_[i].busy = true;
    slots_[i].done = false;
    queue_.push_back(i);
  }
  work_ready_.notify_one();
}

bool CompressionPool::wait_written(std::uint32_t n) {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!failed_ && next_ < n) {
    if (!compress_queued(lock)) progress_.wait(lock);
  }
  return !failed_;
}

void CompressionPool::end() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (compress_queued(lock)) continue;
    const bool in_flight = writing_ ||
        std::any_of(slots_.begin(), slots_.end(), [](const Slot& s) { return s.busy && !s.done; });
    if (!in_flight) break;
    progress_.wait(lock);
  }
  for (Slot& s : slots_) s.busy = false;
  sink_ = nullptr;
}

// The fill byte is chosen here, on the compressing thread: the reading
// thread's share of the run is what caps the speed-up on many threads.
// Out of line, so that a profile of the reading thread (which compresses
// too while it waits) tells its compressing from the rest
// (bench/sequential.sh).
void CompressionPool::compress(ChunkCompressor& compressor, Slot& s) {
  s.token_bytes = compress_into_record(compressor, s.data.data(), s.length, s.search, s.record.data(), s.fill);
}

// Compresses the first queued slot on the reading thread's compressor and
// writes what it can; false when none is queued. Called with the lock held.
bool CompressionPool::compress_queued(std::unique_lock<std::mutex>& lock) {
  if (queue_.empty()) return false;
  const std::size_t j = queue_.front();
  queue_.pop_front();
  lock.unlock();
  compress(*compressors_[0], slots_[j]);
  lock.lock();
  compressed(j, lock);
  return true;
}

// Marks slot j compressed, then writes the records of the chunks that are
// next in order and compressed, unless another thread is writing (it will
// find them) or a record failed. Called with the lock held.
void CompressionPool::compressed(std::size_t j, std::unique_lock<std::mutex>& lock) {
  slots_[j].done = true;
  while (!writing_ && !failed_ && sink_) {
    // Chunks below next_ are written and chunk next_ + slot_count() is not
    // read before chunk next_ is: a busy slot next_ % slot_count() holds chunk next_.
    Slot& s = slots_[next_ % slots_.size()];
    if (!s.busy || !s.done) break;
    writing_ = true;
    lock.unlock();
    bool ok = false;
    try {
      ok = sink_(next_, s);
    } catch (const std::bad_alloc&) {  // a message's text, on a worker: ends the file, not the process
      out_of_memory_ = true;
    }
    lock.lock();
    writing_ = false;
    if (!ok) {
      failed_ = true;
      break;
    }
    s.busy = false;
    ++next_;
  }
  progress_.notify_all();
}

void CompressionPool::work(ChunkCompressor& compressor) {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    work_ready_.wait(lock, [&] { return stop_ || !queue_.empty(); });
    if (queue_.empty()) return;  // stopping
    const std::size_t i = queue_.front();
    queue_.pop_front();
    lock.unlock();
    compress(compressor, slots_[i]);
    lock.lock();
    compressed(i, lock);
  }
}

}  // namespace tolvex
