#include "components/data_writer.h"

#include <new>

#include "components/chunk_reader.h"
#include "components/data_file_builder.h"
#include "messages/messages.h"
#include "platform/output_file.h"

namespace tolvex {
namespace {

using platform::OutputFile;

// A planned file being written.
struct EntryJob {
  const PlannedFile& file;
  std::string path;
  std::uint32_t chunks = 0;
};

void print_chunk_failure(const EntryJob& job, std::uint32_t chunk, const char* message) {
  console_printf("\r");
  msg_printf("  Writing %s (%d/%d chunks)", job.file.name.c_str(), static_cast<int>(chunk + 1),
             static_cast<int>(job.chunks));
  msg_printf("%s\n", message);
}

void finish_file(const EntryJob& job, const RelocationCounts& totals, const SourceFiles& sources) {
  console_printf("\r");
  msg_printf("  Writing %s (%d/%d chunks)\n", job.file.name.c_str(), static_cast<int>(job.chunks),
             static_cast<int>(job.chunks));
  if (totals.graphic > 0 && sources.graphic != nullptr) {
    msg_printf("    %s references relocated (%d occurrences)\n", sources.graphic->name.c_str(), totals.graphic);
  }
  if (totals.sound > 0 && sources.sound != nullptr) {
    msg_printf("    %s references relocated (%d occurrences)\n", sources.sound->name.c_str(), totals.sound);
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

// The console-only progress line of chunk i.
void print_progress(const EntryJob& job, std::uint32_t i) {
  console_printf("\r  Writing %s (%d/%d chunks)", job.file.name.c_str(), static_cast<int>(i + 1),
                 static_cast<int>(job.chunks));
}

void report_read_failure(const EntryJob& job, std::uint32_t i, bool raw, ChunkReader::Status status) {
  if (status == ChunkReader::Status::page_failed) {
    print_chunk_failure(job, i, raw ? "\nread_block() failed. (1)" : "\nread_block() failed. (7)");
  } else {
    print_chunk_failure(job, i, raw ? "\nread_block() failed. (2)" : "\nread_block() failed. (8)");
  }
}

// Reads chunk i into `area` (with relocation); prints the failure.
bool read_chunk(ChunkReader& reader, const EntryJob& job, std::uint32_t i, bool raw, std::uint8_t* area,
                std::size_t& length) {
  print_progress(job, i);
  const ChunkReader::Status status = reader.read(area, length);
  if (status != ChunkReader::Status::ok) {
    report_read_failure(job, i, raw, status);
    return false;
  }
  return true;
}

// Writes the record of chunk i from its record buffer (d bytes of tokens).
// False after printing failure (9).
bool write_record(const EntryJob& job, OutputFile& out, std::uint32_t i, std::uint8_t fill, std::uint8_t* record,
                  std::size_t d, RecordTable& table) {
  const std::size_t n = finish_record(record, d, fill);
  if (out.write(record, n) != static_cast<long>(n)) {
    print_chunk_failure(job, i, "\nwrite() failed. (9)");
    return false;
  }
  table.add(i, n);
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
bool compress_in_pool(const EntryJob& job, OutputFile& out, SearchKind search, ChunkReader& reader,
                      CompressionPool& pool, RecordTable& table) {
  pool.begin([&](std::uint32_t chunk, CompressionPool::Slot& s) {
    print_progress(job, chunk);
    return write_record(job, out, chunk, s.fill, s.record.data(), s.token_bytes, table);
  });
  struct EndOnExit {
    CompressionPool& pool;
    ~EndOnExit() { pool.end(); }
  } end_on_exit{pool};
  const std::size_t slots = pool.slot_count();
  for (std::uint32_t i = 0; i < job.chunks; ++i) {
    if (i >= slots && !pool.wait_written(i - static_cast<std::uint32_t>(slots) + 1)) return false;
    std::size_t length = 0;
    CompressionPool::Slot& s = pool.slot(i % slots);
    const ChunkReader::Status status = reader.read(s.data.data(), length);
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

// The chunk loop on this thread alone: the same records.
bool compress_alone(const EntryJob& job, OutputFile& out, SearchKind search, ChunkReader& reader,
                    DataWriterBuffers& buffers, RecordTable& table) {
  for (std::uint32_t i = 0; i < job.chunks; ++i) {
    std::size_t length = 0;
    if (!read_chunk(reader, job, i, false, buffers.chunk_area(), length)) return false;
    std::uint8_t fill = 0;
    const std::size_t d =
        compress_into_record(buffers.compressor(), buffers.chunk_area(), length, search, buffers.record(), fill);
    if (!write_record(job, out, i, fill, buffers.record(), d, table)) return false;
  }
  return true;
}

int write_raw(const EntryJob& job, OutputFile& out, ChunkReader& reader, DataWriterBuffers& buffers,
              const SourceFiles& sources) {
  for (std::uint32_t i = 0; i < job.chunks; ++i) {
    std::size_t length = 0;
    if (!read_chunk(reader, job, i, true, buffers.chunk_area(), length)) return -1;
    if (out.write(buffers.chunk_area(), length) != static_cast<long>(length)) {
      print_chunk_failure(job, i, "\nwrite() failed. (3)");
      return -1;
    }
  }
  finish_file(job, reader.relocated(), sources);
  return close_finished(out);
}

// Writes the header and makes room for the offset table; records go behind
// it. A component of 0 pages is finished as its header and an empty table.
bool start_compressed(const EntryJob& job, OutputFile& out, RecordTable& table) {
  const auto header = data_file_header(job.file, job.chunks);
  if (out.write(header.data(), header.size()) != DATA_HEADER_SIZE) {
    msg_printf("%s\n", "write() failed. (4)");
    return false;
  }
  if (!table.allocate(job.chunks)) {
    msg_printf("%s\n", "malloc() failed. (5)");
    return false;
  }
  if (out.seek(table.first_record()) < 0) {
    msg_printf("%s\n", "lseek() failed. (6)");
    return false;
  }
  return true;
}

int write_compressed(const EntryJob& job, OutputFile& out, const RunOptions& options, ChunkReader& reader,
                     DataWriterBuffers& buffers, const SourceFiles& sources) {
  RecordTable table;
  if (!start_compressed(job, out, table)) return -1;
  const SearchKind search = options.NO_HASH ? SearchKind::scan : SearchKind::hash;
  const int threads = writer_thread_count(options.threads);
  // Without a pool (no memory or no thread for it) the file is compressed on
  // this thread alone, into the same records.
  CompressionPool* pool = threads > 1 && job.chunks > 1 ? buffers.pool(threads) : nullptr;
  if (pool != nullptr) {
    if (!compress_in_pool(job, out, search, reader, *pool, table)) {
      if (pool->out_of_memory()) msg_printf("%s\n", "\nmalloc() failed. (5)");
      return -1;
    }
  } else if (!compress_alone(job, out, search, reader, buffers, table)) {
    return -1;
  }
  finish_file(job, reader.relocated(), sources);
  if (out.seek(DATA_HEADER_SIZE) < 0) {
    msg_printf("%s\n", "\nlseek() failed. (10)");
    return -1;
  }
  const std::vector<std::uint8_t>& offsets = table.bytes();
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
  for (const PlannedFile& file : plan.files) {
    EntryJob job{file, package.file(file.name), file.chunks()};
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
    ChunkReader chunks(reader, file, shifts);
    const bool raw = options.DO_RAW || file.kind().compressed == 0;
    const int result = raw ? write_raw(job, out, chunks, buffers, plan.sources)
                           : write_compressed(job, out, options, chunks, buffers, plan.sources);
    if (result != 0) return -1;
  }
  return 0;
}

}  // namespace tolvex
