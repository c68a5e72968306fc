#include "chunk_pipeline.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "checksum.h"

namespace noxwriter {

unsigned encodingThreads(const char* setting, unsigned cores) {
    if (setting && *setting) {
        const char* const end = setting + std::strlen(setting);
        unsigned long long value = 0;
        const auto [stop, error] = std::from_chars(setting, end, value);
        if (stop == end) {
            if (error == std::errc::result_out_of_range) return kMaximumEncodingThreads;
            if (error == std::errc() && value > 0)
                return unsigned(std::min<unsigned long long>(value, kMaximumEncodingThreads));
        }
    }
    return std::clamp(cores, 1u, kMaximumEncodingThreads);
}

namespace {

// Set by the host through ksioSetThreadCount; 0 while it set none.
std::atomic<unsigned> requestedThreads{0};

}  // namespace

unsigned encodingThreadsForNewStream() {
    if (const unsigned requested = requestedThreads.load(std::memory_order_relaxed))
        return std::min(requested, kMaximumEncodingThreads);
    return encodingThreads(std::getenv("KS_NOX_THREADS"), std::thread::hardware_concurrency());
}

void setEncodingThreadCount(unsigned count) {
    requestedThreads.store(std::min(count, kMaximumEncodingThreads), std::memory_order_relaxed);
}

ChunkPipeline::ChunkPipeline(SpillFile& spill, unsigned threads, uint32_t chunkCapacity,
                             EncoderFactory makeEncoder)
    : spill_(spill),
      threads_(threads),
      chunkCapacity_(chunkCapacity),
      makeEncoder_(std::move(makeEncoder)) {
    if (threads_ > 1 && makeEncoder_)
        mode_ = Mode::NotStarted;
    else if (makeEncoder_)
        inlineEncoder_ = makeEncoder_();
}

void ChunkPipeline::start() {
    const size_t capacity = 2 * size_t(threads_);
    slots_.reserve(capacity);
    free_.reserve(capacity);
    inFlight_.assign(capacity, nullptr);
    encoders_.reserve(threads_);
    workers_.reserve(threads_);
    for (unsigned i = 0; i < threads_; ++i) encoders_.push_back(makeEncoder_());
    for (const auto& encoder : encoders_) {
        try {
            workers_.emplace_back([this, e = encoder.get()] { work(*e); });
        } catch (const std::system_error&) {
            break;  // the system gives fewer threads; fewer write the same file
        }
    }
    if (workers_.empty()) {
        inlineEncoder_ = std::move(encoders_.front());
        encoders_.clear();
        mode_ = Mode::Inline;
    } else {
        mode_ = Mode::Threaded;
    }
}

void ChunkPipeline::submitInline(const nox::ChunkPoints& points, nox::ChunkRecord& record) {
    inlinePayload_.clear();
    if (inlineEncoder_) inlineEncoder_->encode(points, inlinePayload_);
    record.offset = spill_.size();
    record.storedSize = inlinePayload_.size();
    record.checksum = nox::checksum64(inlinePayload_.data(), inlinePayload_.size());
    spill_.append(inlinePayload_.data(), inlinePayload_.size());
}

void ChunkPipeline::submit(nox::ChunkPoints& points, nox::ChunkRecord& record) {
    if (mode_ == Mode::NotStarted) start();
    if (mode_ == Mode::Inline) {
        submitInline(points, record);
        return;
    }
    // The record's place in the file is known once the chunk is written: finish() fills it in.
    (void)record;
    std::unique_lock lock(mutex_);
    if (failure_) std::rethrow_exception(failure_);
    if (stopping_) throw std::logic_error("a chunk was handed to a stopped pipeline");
    if (free_.empty() && slots_.size() < inFlight_.size()) {
        // Buffers are made as the workers fall behind, up to the limit.
        lock.unlock();
        auto slot = std::make_unique<Slot>();
        slot->points.reserve(chunkCapacity_);
        slots_.push_back(std::move(slot));  // reserved: cannot throw
        lock.lock();
        free_.push_back(slots_.back().get());
    }
    progress_.wait(lock, [this] { return failure_ || !free_.empty(); });
    if (failure_) std::rethrow_exception(failure_);
    placements_.emplace_back();  // before anything is handed over, should it throw
    Slot* const slot = free_.back();
    free_.pop_back();
    std::swap(slot->points, points);
    inFlight_[submitted_ % inFlight_.size()] = slot;
    ++submitted_;
    lock.unlock();
    work_.notify_one();
}

void ChunkPipeline::work(nox::ChunkEncoder& encoder) noexcept {
    std::unique_lock lock(mutex_);
    for (;;) {
        work_.wait(lock, [this] { return stopping_ || failure_ || nextToEncode_ < submitted_; });
        if (stopping_ || failure_) return;
        Slot& slot = *inFlight_[nextToEncode_++ % inFlight_.size()];
        lock.unlock();
        try {
            slot.payload.clear();
            encoder.encode(slot.points, slot.payload);
            slot.checksum = nox::checksum64(slot.payload.data(), slot.payload.size());
        } catch (...) {
            lock.lock();
            recordFailure(std::current_exception());
            return;
        }
        lock.lock();
        slot.encoded = true;
        if (!writing_) writeReady(lock);
    }
}

// Appends the payloads that are ready, oldest first, until the next one in order is still being
// encoded; its worker then takes over. The lock is held except while writing.
void ChunkPipeline::writeReady(std::unique_lock<std::mutex>& lock) {
    writing_ = true;
    while (!stopping_ && !failure_ && written_ < nextToEncode_) {
        Slot* const slot = inFlight_[written_ % inFlight_.size()];
        if (!slot->encoded) break;
        lock.unlock();
        const Placement placement{spill_.size(), slot->payload.size(), slot->checksum};
        try {
            spill_.append(slot->payload.data(), slot->payload.size());
        } catch (...) {
            spill_.remove();  // the stream can only fail now: give the space back at once
            lock.lock();
            writing_ = false;
            recordFailure(std::current_exception());
            return;
        }
        lock.lock();
        placements_[written_] = placement;
        slot->encoded = false;
        free_.push_back(slot);  // reserved to the number of buffers: cannot throw
        ++written_;
        progress_.notify_one();
    }
    writing_ = false;
}

void ChunkPipeline::recordFailure(std::exception_ptr failure) {
    if (!failure_) failure_ = std::move(failure);
    failed_.store(true, std::memory_order_release);
    work_.notify_all();
    progress_.notify_all();
}

void ChunkPipeline::rethrowFailure() {
    std::exception_ptr failure;
    {
        const std::lock_guard lock(mutex_);
        failure = failure_;
    }
    if (failure) std::rethrow_exception(failure);
    throw std::logic_error("no chunk failed");
}

void ChunkPipeline::finish(std::vector<nox::ChunkRecord>& records) {
    if (mode_ != Mode::Threaded) return;
    {
        std::unique_lock lock(mutex_);
        progress_.wait(lock, [this] { return failure_ || written_ == submitted_; });
        if (failure_) std::rethrow_exception(failure_);
    }
    stop();
    const size_t n = std::min(records.size(), placements_.size());
    for (size_t i = 0; i < n; ++i) {
        records[i].offset = placements_[i].offset;
        records[i].storedSize = placements_[i].storedSize;
        records[i].checksum = placements_[i].checksum;
    }
}

void ChunkPipeline::stop() noexcept {
    if (workers_.empty()) return;
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    work_.notify_all();
    for (std::thread& worker : workers_) worker.join();
    workers_.clear();
}

}  // namespace noxwriter
