#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/input_file.h"
#include "platform/large_buffer.h"

namespace ks_formats {

// Buffered reader of one point-database data file ("P3D.rds" or "P3D-RGB.rds"). It reads the
// file in large blocks and hands out little-endian values or whole records straight from the
// block. The file is read front to back: after each block is read the system is asked for the
// next one, which it fetches while the records of this one are decoded and written. It only ever
// hands out bytes that were really read: a value or record that the rest of the file cannot fill is
// refused, never made up from stale buffer contents.
class RdsReader {
public:
    // 50 MiB, the block size of both data files.
    static constexpr size_t kDefaultBufferBytes = 52428800;

    RdsReader() = default;
    RdsReader(const RdsReader&) = delete;
    RdsReader& operator=(const RdsReader&) = delete;

    // Opens the file (UTF-8 path) and reads its first block. False for a missing, empty or
    // unreadable file. The buffer is never larger than the file.
    bool open(const std::string& path, size_t bufferBytes = kDefaultBufferBytes);
    void close();
    // Why open failed, or why the data ended early (a failed read): the path and what happened.
    const std::string& error() const { return error_; }
    bool isOpen() const { return file_.isOpen(); }

    // Points at the next count bytes (at most the buffer size) and counts them as consumed, or
    // answers null, consuming nothing, when fewer than count bytes are left in the file (or a
    // read failed). The bytes stay valid until the next call.
    const unsigned char* take(size_t count) {
        if (available_ - position_ >= count) {
            const unsigned char* bytes = buffer_.get() + position_;
            position_ += count;
            consumed_ += count;
            return bytes;
        }
        return takeAcrossBlocks(count);
    }

    bool readU8(uint8_t& value);
    bool readU16(uint16_t& value);
    bool readU32(uint32_t& value);
    bool readU64(uint64_t& value);

    // True when at most one unread byte of the file is left.
    bool atEnd() const { return consumed_ + 1 >= fileSize_; }
    uint64_t fileSize() const { return fileSize_; }
    // Bytes handed out since the file was opened.
    uint64_t consumed() const { return consumed_; }

private:
    const unsigned char* takeAcrossBlocks(size_t count);
    // Asks the system for the file's next block, the one the next refill will read.
    void readAheadNextBlock() const;

    platform::InputFile file_;
    platform::LargeBuffer<unsigned char> buffer_;
    size_t bufferBytes_ = 0;
    size_t available_ = 0;  // bytes of the buffer that hold file data
    size_t position_ = 0;   // next unread byte in the buffer
    uint64_t fileSize_ = 0;
    uint64_t unreadInFile_ = 0;  // bytes of the file not yet read into the buffer
    uint64_t consumed_ = 0;
    bool readFailed_ = false;
    std::string path_;
    std::string error_;
};

// The header that starts both data files: 40 bytes, the signature "16, 0x0D000000, RieglLMS"
// in its first 16. Reads all 40 bytes; true when they were there and the signature matched.
struct RdsHeader {
    uint16_t formatVersion = 0;
    uint16_t recordVariant = 0;
};
// why (when given) says what was wrong: too short for the header, or a wrong signature.
bool readRdsHeader(RdsReader& reader, RdsHeader& header, std::string* why = nullptr);

}  // namespace ks_formats
