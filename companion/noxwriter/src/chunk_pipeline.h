#pragma once
// Full chunks on their way into the spill file: encoded, checksummed and appended. With one
// thread this happens at once on the caller's thread. With more, worker threads encode while the
// caller fills the next chunk, and whichever worker finishes the oldest outstanding chunk appends
// the payloads that are ready, strictly in the order the chunks were handed over: offsets,
// checksums and so the whole file are the same byte for byte whatever the thread count.
//
// Memory stays bounded: at most 2 x threads chunks are in flight (their column buffers are
// recycled), and the caller waits while all of them are busy.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "chunk_codec.h"
#include "chunk_points.h"
#include "ks_nox/nox_format.h"
#include "spill_file.h"

namespace noxwriter {

inline constexpr unsigned kMaximumEncodingThreads = 64;

// Encoding threads for a setting of KS_NOX_THREADS: a positive whole number means that many (at
// most kMaximumEncodingThreads); anything else, or none, means one per core.
unsigned encodingThreads(const char* setting, unsigned cores);
// The encoding threads of a stream that starts now: the count set by setEncodingThreadCount,
// else the same as encodingThreads for the environment of the process and
// std::thread::hardware_concurrency().
unsigned encodingThreadsForNewStream();
// 1 to kMaximumEncodingThreads: streams started from now on use that many (ksioSetThreadCount);
// 0: back to the environment's or the machine's count.
void setEncodingThreadCount(unsigned count);

class ChunkPipeline {
public:
    // Makes one encoder; called once per worker. Without a factory no chunk is encoded: payloads
    // are empty and everything happens on the caller's thread.
    using EncoderFactory = std::function<std::unique_ptr<nox::ChunkEncoder>()>;

    // Workers start with the first chunk, so a stream that never fills one starts no thread.
    ChunkPipeline(SpillFile& spill, unsigned threads, uint32_t chunkCapacity,
                  EncoderFactory makeEncoder);
    ChunkPipeline(const ChunkPipeline&) = delete;
    ChunkPipeline& operator=(const ChunkPipeline&) = delete;
    ~ChunkPipeline() { stop(); }

    // Hands over a full chunk and its settled record. On the caller's thread the payload is
    // written now and the record gets its offset, stored size and checksum. With workers the
    // columns are swapped with a free buffer (waiting for one while all are busy), and finish()
    // fills in the record's place in the file. Throws the failure of an earlier chunk.
    void submit(nox::ChunkPoints& points, nox::ChunkRecord& record);

    // Waits until every chunk handed over is in the file, stops the workers and completes
    // `records` (one per chunk, in order). Throws the first failure of a worker.
    void finish(std::vector<nox::ChunkRecord>& records);

    // True once a worker failed; cheap enough for every call of the stream.
    bool failed() const { return failed_.load(std::memory_order_acquire); }
    // Throws what made a worker fail; only after failed() said so.
    [[noreturn]] void rethrowFailure();

    // Stops and joins the workers; chunks not yet written are dropped. No worker touches the
    // spill file afterwards. Never throws.
    void stop() noexcept;

private:
    struct Slot {
        nox::ChunkPoints points;
        std::vector<uint8_t> payload;
        uint64_t checksum = 0;
        bool encoded = false;
    };
    struct Placement {
        uint64_t offset = 0;
        uint64_t storedSize = 0;
        uint64_t checksum = 0;
    };

    enum class Mode { Inline, NotStarted, Threaded };

    void start();
    void submitInline(const nox::ChunkPoints& points, nox::ChunkRecord& record);
    void work(nox::ChunkEncoder& encoder) noexcept;
    void writeReady(std::unique_lock<std::mutex>& lock);
    void recordFailure(std::exception_ptr failure);  // under the lock

    SpillFile& spill_;
    const unsigned threads_;
    const uint32_t chunkCapacity_;
    EncoderFactory makeEncoder_;
    std::unique_ptr<nox::ChunkEncoder> inlineEncoder_;
    std::vector<uint8_t> inlinePayload_;
    Mode mode_ = Mode::Inline;

    // Touched by the caller alone.
    std::vector<std::unique_ptr<Slot>> slots_;
    std::vector<std::unique_ptr<nox::ChunkEncoder>> encoders_;
    std::vector<std::thread> workers_;

    // Shared, under mutex_. Chunks are numbered in the order handed over; those from written_ to
    // submitted_ are in flight, at inFlight_[number % inFlight_.size()].
    std::mutex mutex_;
    std::condition_variable work_;      // workers: a chunk to encode, or stop
    std::condition_variable progress_;  // caller: a buffer came free, all written, or a failure
    std::vector<Slot*> inFlight_;
    std::vector<Slot*> free_;
    std::vector<Placement> placements_;  // one per chunk handed over
    uint64_t submitted_ = 0;
    uint64_t nextToEncode_ = 0;
    uint64_t written_ = 0;
    bool writing_ = false;  // a worker is appending payloads
    bool stopping_ = false;
    std::exception_ptr failure_;
    std::atomic<bool> failed_{false};
};

}  // namespace noxwriter
