#include "components/data_writer.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "bookfile/relocate.h"
#include "catalog/bytes.h"
#include "messages/messages.h"
#include "platform/compiler.h"
#include "platform/output_file.h"
#include "platform/platform.h"

namespace tolvex {
namespace {

// 16 chunk pages and the look-ahead page after them.
constexpr std::size_t CHUNK_AREA_BYTES = (PAGES_PER_CHUNK + 1) * PAGE_SIZE;
// A chunk record is its head (token count, fill byte) and its tokens: the
// token buffers keep room for the head before the tokens, so that a record
// goes out in one write().
constexpr std::size_t RECORD_BYTES = RECORD_HEAD_BYTES + MAX_TOKEN_BYTES;

// Compresses the chunk of `length` bytes at `data` into the tokens of
// `record` behind a window filled with the chunk's fill byte; returns the
// token bytes and sets `fill`.
std::size_t compress_into_record(ChunkCompressor& compressor, const std::uint8_t* data, std::size_t length,
                                 SearchKind search, std::uint8_t* record, std::uint8_t& fill) {
  fill = choose_fill_byte(data, length < WINDOW_SIZE ? length : WINDOW_SIZE);
  std::memset(compressor.buffer(), fill, WINDOW_SIZE);
  std::memcpy(compressor.chunk(), data, length);
  return compressor.compress_chunk(length, search, record + RECORD_HEAD_BYTES);
}

}  // namespace

int writer_thread_count(int requested) {
  int n = requested;
  if (n <= 0) n = platform::usable_processors();
  return std::clamp(n, 1, MAX_WRITER_THREADS);
}

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
  explicit CompressionPool(int compressors)
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
  ~CompressionPool() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    work_ready_.notify_all();
    for (std::thread& t : threads_) t.join();
  }

  int requested() const { return requested_; }
  // A record failed for want of memory (and could not say so itself).
  bool out_of_memory() const { return out_of_memory_; }
  // The threads that compress: the reading thread and the workers started.
  int threads() const { return 1 + static_cast<int>(threads_.size()); }
  std::size_t slot_count() const { return slots_.size(); }
  Slot& slot(std::size_t i) { return slots_[i]; }

  // Starts a file: its records go to `sink`, from chunk 0 on.
  void begin(RecordSink sink) {
    std::lock_guard<std::mutex> lock(mutex_);
    sink_ = std::move(sink);
    next_ = 0;
    failed_ = false;
  }

  // Starts compressing slot i (its data, length and search set).
  void submit(std::size_t i) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      slots_[i].busy = true;
      slots_[i].done = false;
      queue_.push_back(i);
    }
    work_ready_.notify_one();
  }

  // Waits until the records of the first n chunks are written, compressing
  // queued slots meanwhile; false when a record failed instead.
  bool wait_written(std::uint32_t n) {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!failed_ && next_ < n) {
      if (!compress_queued(lock)) progress_.wait(lock);
    }
    return !failed_;
  }

  // Ends the file: waits until no slot is compressed or written any more
  // (after a failure, the ones in flight), and frees every slot.
  void end() {
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

 private:
  // The fill byte is chosen here, on the compressing thread: the reading
  // thread's share of the run is what caps the speed-up on many threads.
  // Out of line, so that a profile of the reading thread (which compresses
  // too while it waits) tells its compressing from the rest
  // (bench/sequential.sh).
  TOLVEX_NOINLINE static void compress(ChunkCompressor& compressor, Slot& s) {
    s.token_bytes = compress_into_record(compressor, s.data.data(), s.length, s.search, s.record.data(), s.fill);
  }

  // Compresses the first queued slot on the reading thread's compressor and
  // writes what it can; false when none is queued. Called with the lock held.
  bool compress_queued(std::unique_lock<std::mutex>& lock) {
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
  void compressed(std::size_t j, std::unique_lock<std::mutex>& lock) {
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

  void work(ChunkCompressor& compressor) {
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

namespace {

using platform::OutputFile;

// Reads the pages of one component chunk by chunk, each chunk into a chunk
// area of CHUNK_AREA_BYTES, carrying the look-ahead page (which relocation
// may have changed) from the previous chunk's area into the next chunk, so
// that every page is read once and written once.
class ChunkReader {
 public:
  ChunkReader(PageReader& pages, BookFile* source, const PageRange& range)
      : pages_(pages), source_(source), next_page_(range.first), remaining_(range.count) {}

  enum class Status { ok, page_failed, lookahead_failed };

  Status read(std::uint8_t* area, std::size_t& length) {
    length = 0;
    bool first_read = true;
    if (lookahead_) {
      std::memcpy(area, previous_ + PAGES_PER_CHUNK * PAGE_SIZE, PAGE_SIZE);
      length = PAGE_SIZE;
      lookahead_ = false;
    }
    previous_ = area;
    while (remaining_ > 0 && length < static_cast<std::size_t>(CHUNK_BYTES)) {
      if (pages_.read_block(area + length, source_, first_read ? next_page_ : 0) == nullptr) return Status::page_failed;
      first_read = false;
      ++next_page_;
      --remaining_;
      length += PAGE_SIZE;
    }
    if (remaining_ > 0) {
      if (pages_.read_block(area + PAGES_PER_CHUNK * PAGE_SIZE, source_, first_read ? next_page_ : 0) == nullptr) {
        return Status::lookahead_failed;
      }
      ++next_page_;
      --remaining_;
      lookahead_ = true;
    }
    return Status::ok;
  }

 private:
  PageReader& pages_;
  BookFile* source_;
  std::uint32_t next_page_;
  // Pages still to read; counting down avoids wrap-around at the last page number.
  std::uint32_t remaining_;
  const std::uint8_t* previous_ = nullptr;  // the area of the last chunk read
  bool lookahead_ = false;
};

// A planned file being written.
struct EntryJob {
  const PlannedFile& file;
  PageReader& reader;
  std::string path;
  std::uint32_t chunks = 0;
};

void print_chunk_failure(const EntryJob& job, std::uint32_t chunk, const char* message) {
  console_printf("\r");
  msg_printf("  Writing %s (%d/%d chunks)", job.file.name.c_str(), static_cast<int>(chunk + 1),
             static_cast<int>(job.chunks));
  msg_printf("%s\n", message);
}

void finish_file(const EntryJob& job, const RelocationCounts& totals, BookFile* graphic_file, BookFile* sound_file) {
  console_printf("\r");
  msg_printf("  Writing %s (%d/%d chunks)\n", job.file.name.c_str(), static_cast<int>(job.chunks),
             static_cast<int>(job.chunks));
  if (totals.graphic > 0 && graphic_file != nullptr) {
    msg_printf("    %s references relocated (%d occurrences)\n", graphic_file->name.c_str(), totals.graphic);
  }
  if (totals.sound > 0 && sound_file != nullptr) {
    msg_printf("    %s references relocated (%d occurrences)\n", sound_file->name.c_str(), totals.sound);
  }
}

// Puts a finished file under its name, flushed to disk; a failure (a full
// disk may show only here) leaves the previous file under that name.
int close_finished(OutputFile& out) {
  if (const char* failed = out.commit()) {
    msg_printf("%s failed.\n", failed);
    return -1;
  }
  return 0;
}

struct Shifts {
  std::int32_t graphic = 0;
  std::int32_t sound = 0;
};

// The console-only progress line of chunk i.
void print_progress(const EntryJob& job, std::uint32_t i) {
  console_printf("\r  Writing %s (%d/%d chunks)", job.file.name.c_str(), static_cast<int>(i + 1),
                 static_cast<int>(job.chunks));
}

// Reads chunk i into the chunk area (with relocation); a failure is left to
// the caller to report (report_read_failure).
ChunkReader::Status read_chunk_quietly(ChunkReader& reader, const EntryJob& job, const Shifts& shifts,
                                       std::uint8_t* area, std::size_t& length, RelocationCounts& totals) {
  ChunkReader::Status status = reader.read(area, length);
  if (status == ChunkReader::Status::ok && job.file.relocate) {
    RelocationCounts counts = relocate_references(area, length, shifts.graphic, shifts.sound);
    totals.graphic += counts.graphic;
    totals.sound += counts.sound;
  }
  return status;
}

void report_read_failure(const EntryJob& job, std::uint32_t i, bool raw, ChunkReader::Status status) {
  if (status == ChunkReader::Status::page_failed) {
    print_chunk_failure(job, i, raw ? "\nread_block() failed. (1)" : "\nread_block() failed. (7)");
  } else {
    print_chunk_failure(job, i, raw ? "\nread_block() failed. (2)" : "\nread_block() failed. (8)");
  }
}

// Reads chunk i into the chunk area (with relocation); prints the failure.
bool read_chunk(ChunkReader& reader, const EntryJob& job, std::uint32_t i, bool raw, const Shifts& shifts,
                std::uint8_t* area, std::size_t& length, RelocationCounts& totals) {
  print_progress(job, i);
  const ChunkReader::Status status = read_chunk_quietly(reader, job, shifts, area, length, totals);
  if (status != ChunkReader::Status::ok) {
    report_read_failure(job, i, raw, status);
    return false;
  }
  return true;
}

// Writes one chunk record: its head goes into the RECORD_HEAD_BYTES before
// the d bytes of tokens at record + RECORD_HEAD_BYTES. False after printing
// failure (9).
bool write_record(const EntryJob& job, OutputFile& out, std::uint32_t i, std::uint8_t fill, std::uint8_t* record,
                  std::size_t d, std::vector<std::uint8_t>& offsets, std::uint32_t& record_offset) {
  put_be(record, 4, static_cast<std::uint32_t>(d / TOKEN_BYTES));
  record[RECORD_FILL_AT] = fill;
  const std::size_t n = RECORD_HEAD_BYTES + d;
  if (out.write(record, n) != static_cast<long>(n)) {
    print_chunk_failure(job, i, "\nwrite() failed. (9)");
    return false;
  }
  put_be(offsets.data() + DATA_OFFSET_SIZE * i, DATA_OFFSET_SIZE, record_offset);
  record_offset += static_cast<std::uint32_t>(n);
  return true;
}

// The chunk loop on several threads. Chunks are read in order on this thread
// and handed to the pool, which writes their records in order (a slot is
// read into again once its record is written). A chunk's progress line is
// printed when its record is written (or its read fails), so the console
// shows what the one-thread loop shows, also when a write fails while later
// chunks are already read. A read failure first lets every earlier chunk be
// written, as the one-thread loop would have before reading it, and is
// reported only when they were; any failure leaves later chunks unwritten.
// This thread prints nothing while records may be written.
bool compress_chunks_in_pool(const EntryJob& job, OutputFile& out, SearchKind search, const Shifts& shifts,
                             CompressionPool& pool, std::vector<std::uint8_t>& offsets, std::uint32_t& record_offset,
                             RelocationCounts& totals) {
  pool.begin([&](std::uint32_t chunk, CompressionPool::Slot& s) {
    print_progress(job, chunk);
    return write_record(job, out, chunk, s.fill, s.record.data(), s.token_bytes, offsets, record_offset);
  });
  struct EndOnExit {
    CompressionPool& pool;
    ~EndOnExit() { pool.end(); }
  } end_on_exit{pool};
  const std::size_t slots = pool.slot_count();
  ChunkReader reader(job.reader, job.file.source, job.file.range);
  for (std::uint32_t i = 0; i < job.chunks; ++i) {
    if (i >= slots && !pool.wait_written(i - static_cast<std::uint32_t>(slots) + 1)) return false;
    std::size_t length = 0;
    CompressionPool::Slot& s = pool.slot(i % slots);
    const ChunkReader::Status status = read_chunk_quietly(reader, job, shifts, s.data.data(), length, totals);
    if (status != ChunkReader::Status::ok) {
      if (pool.wait_written(i)) {
        print_progress(job, i);
        report_read_failure(job, i, false, status);
      }
      return false;
    }
    s.length = length;
    s.search = search;
    pool.submit(i % slots);
  }
  return pool.wait_written(job.chunks);
}

int write_raw(const EntryJob& job, OutputFile& out, const Shifts& shifts, DataWriterBuffers& buffers,
              BookFile* graphic_file, BookFile* sound_file) {
  ChunkReader reader(job.reader, job.file.source, job.file.range);
  RelocationCounts totals;
  for (std::uint32_t i = 0; i < job.chunks; ++i) {
    std::size_t length = 0;
    if (!read_chunk(reader, job, i, true, shifts, buffers.chunk_area(), length, totals)) return -1;
    if (out.write(buffers.chunk_area(), length) != static_cast<long>(length)) {
      print_chunk_failure(job, i, "\nwrite() failed. (3)");
      return -1;
    }
  }
  finish_file(job, totals, graphic_file, sound_file);
  return close_finished(out);
}

int write_compressed(const EntryJob& job, OutputFile& out, const RunOptions& options, const Shifts& shifts,
                     DataWriterBuffers& buffers, BookFile* graphic_file, BookFile* sound_file) {
  std::uint8_t header[DATA_HEADER_SIZE] = {};
  std::memcpy(header, DATA_MAGIC.data(), DATA_MAGIC.size());
  std::memcpy(header + DATA_FIXED_8_AT, DATA_FIXED_8.data(), DATA_FIXED_8.size());
  header[DATA_CODE_AT] = job.file.code;
  std::memcpy(header + DATA_FIXED_16_AT, DATA_FIXED_16.data(), DATA_FIXED_16.size());
  put_be(header + DATA_CHUNK_COUNT_AT, 2, job.chunks);
  put_be(header + DATA_FIRST_PAGE_AT, 4, job.file.first_page);
  put_be(header + DATA_LAST_PAGE_AT, 4, job.file.last_page());
  header[DATA_ATTRIBUTE_AT] = job.file.attribute;
  std::memcpy(header + DATA_PARAMETERS_AT, job.file.parameters.data(), job.file.parameters.size());
  if (out.write(header, DATA_HEADER_SIZE) != DATA_HEADER_SIZE) {
    msg_printf("%s\n", "write() failed. (4)");
    return -1;
  }

  // A component of 0 pages is finished as its header and an empty table.
  std::vector<std::uint8_t> offsets;
  try {
    offsets.resize(DATA_OFFSET_SIZE * static_cast<std::size_t>(job.chunks));
  } catch (const std::bad_alloc&) {
    msg_printf("%s\n", "malloc() failed. (5)");
    return -1;
  }
  std::uint32_t record_offset = DATA_HEADER_SIZE + DATA_OFFSET_SIZE * job.chunks;
  if (out.seek(record_offset) < 0) {
    msg_printf("%s\n", "lseek() failed. (6)");
    return -1;
  }

  RelocationCounts totals;
  SearchKind search = options.NO_HASH ? SearchKind::scan : SearchKind::hash;
  const int threads = writer_thread_count(options.threads);
  // Without a pool (no memory or no thread for it) the file is compressed on
  // this thread alone, into the same records.
  CompressionPool* pool = threads > 1 && job.chunks > 1 ? buffers.pool(threads) : nullptr;
  if (pool != nullptr) {
    if (!compress_chunks_in_pool(job, out, search, shifts, *pool, offsets, record_offset, totals)) {
      if (pool->out_of_memory()) msg_printf("%s\n", "\nmalloc() failed. (5)");
      return -1;
    }
  } else {
    ChunkReader reader(job.reader, job.file.source, job.file.range);
    ChunkCompressor& compressor = buffers.compressor();
    for (std::uint32_t i = 0; i < job.chunks; ++i) {
      std::size_t length = 0;
      if (!read_chunk(reader, job, i, false, shifts, buffers.chunk_area(), length, totals)) return -1;
      std::uint8_t fill = 0;
      const std::size_t d =
          compress_into_record(compressor, buffers.chunk_area(), length, search, buffers.record(), fill);
      if (!write_record(job, out, i, fill, buffers.record(), d, offsets, record_offset)) return -1;
    }
  }
  finish_file(job, totals, graphic_file, sound_file);
  if (out.seek(DATA_HEADER_SIZE) < 0) {
    msg_printf("%s\n", "\nlseek() failed. (10)");
    return -1;
  }
  if (!offsets.empty() && out.write(offsets.data(), offsets.size()) != static_cast<long>(offsets.size())) {
    msg_printf("%s\n", "\nwrite() failed. (11)");
    return -1;
  }
  return close_finished(out);
}

}  // namespace

DataWriterBuffers::DataWriterBuffers() : chunk_area_(CHUNK_AREA_BYTES, 0), record_(RECORD_BYTES, 0) {}
DataWriterBuffers::~DataWriterBuffers() = default;

CompressionPool* DataWriterBuffers::pool(int compressors) {
  if (!pool_ || pool_->requested() != compressors) {
    pool_.reset();
    try {
      pool_ = std::make_unique<CompressionPool>(compressors);
    } catch (const std::bad_alloc&) {
      return nullptr;
    }
  }
  return pool_->threads() > 1 ? pool_.get() : nullptr;
}

int write_data_components(const PackageDescription& package, const SubbookPlan& plan, PageReader& reader,
                          DataWriterBuffers& buffers) {
  const RunOptions& options = package.options;
  const Shifts shifts{plan.graphic_shift, plan.sound_shift};
  BookFile* graphic_file = plan.sources.graphic;
  BookFile* sound_file = plan.sources.sound;
  for (const PlannedFile& file : plan.files) {
    EntryJob job{file, reader, package.file(file.name), file.chunks()};
    if (job.chunks > MAX_CHUNKS) {
      // The header counts chunks in 16 bits; a wrong header would be worse than no file.
      msg_printf("Component %s is too large: %u pages (at most %u)\n", file.name.c_str(),
                 static_cast<unsigned>(file.range.count), static_cast<unsigned>(MAX_CHUNKS * PAGES_PER_CHUNK));
      return -1;
    }
    OutputFile out;
    if (!out.create(job.path)) {
      msg_printf("Can't create \"%s\"\n", job.path.c_str());
      return -1;
    }
    const bool raw = options.DO_RAW || file.kind().compressed == 0;
    const int result = raw ? write_raw(job, out, shifts, buffers, graphic_file, sound_file)
                           : write_compressed(job, out, options, shifts, buffers, graphic_file, sound_file);
    if (result != 0) return -1;
  }
  return 0;
}

}  // namespace tolvex
