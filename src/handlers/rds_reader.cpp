#include "handlers/rds_reader.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "ks_common/little_endian.h"

namespace ks_formats {

namespace {

template <typename T>
bool readLittleEndian(RdsReader& reader, T& value) {
    const unsigned char* bytes = reader.take(sizeof(T));
    if (!bytes) return false;
    value = ks_common::load<T>(bytes);
    return true;
}

}  // namespace

bool RdsReader::open(const std::string& path, size_t bufferBytes) {
    close();
    const auto fail = [&](std::string why) {
        close();
        error_ = std::move(why);
        return false;
    };
    if (bufferBytes == 0) return fail(path + ": no read buffer");
    file_ = platform::InputFile::open(path, platform::InputFile::Order::FrontToBack);
    if (!file_.isOpen()) return fail(file_.error());
    path_ = path;
    const int64_t size = file_.size();
    if (size < 0) return fail(path + ": its size cannot be read");
    if (size == 0) return fail(path + ": the file is empty");
    fileSize_ = static_cast<uint64_t>(size);
    unreadInFile_ = fileSize_;
    bufferBytes_ = static_cast<size_t>(std::min<uint64_t>(bufferBytes, fileSize_));
    buffer_ = platform::allocateLargeArray<unsigned char>(bufferBytes_);
    if (!buffer_)
        return fail(path + ": out of memory for a read buffer of " + std::to_string(bufferBytes_) +
                    " bytes");
    // The first block must read; later short or failed reads just end the data.
    const int64_t got = file_.read(buffer_.get(), bufferBytes_);
    if (got < 0) return fail(file_.error());
    if (got == 0) return fail(path + ": the file ended before its first byte");
    available_ = static_cast<size_t>(got);
    unreadInFile_ -= static_cast<uint64_t>(got);
    readAheadNextBlock();
    return true;
}

void RdsReader::readAheadNextBlock() const {
    if (unreadInFile_ > 0)
        file_.readAhead(fileSize_ - unreadInFile_, std::min<uint64_t>(bufferBytes_, unreadInFile_));
}

void RdsReader::close() {
    file_ = platform::InputFile();
    buffer_.reset();
    bufferBytes_ = available_ = position_ = 0;
    fileSize_ = unreadInFile_ = consumed_ = 0;
    readFailed_ = false;
    path_.clear();
    error_.clear();
}

const unsigned char* RdsReader::takeAcrossBlocks(size_t count) {
    if (!buffer_ || count > bufferBytes_) return nullptr;
    const size_t left = available_ - position_;
    if (readFailed_ || left + unreadInFile_ < count) return nullptr;
    // Move the unread tail to the front and fill the rest of the buffer behind it, never
    // reading past the size the file had when it was opened.
    std::memmove(buffer_.get(), buffer_.get() + position_, left);
    available_ = left;
    position_ = 0;
    const size_t want = static_cast<size_t>(std::min<uint64_t>(bufferBytes_ - left, unreadInFile_));
    const int64_t got = file_.read(buffer_.get() + left, want);
    if (got < 0) {
        readFailed_ = true;
        error_ = file_.error() + " (at byte " + std::to_string(consumed_ + left) + ")";
        return nullptr;
    }
    available_ += static_cast<size_t>(got);
    unreadInFile_ -= static_cast<uint64_t>(got);
    if (static_cast<size_t>(got) < want) unreadInFile_ = 0;  // the file shrank
    readAheadNextBlock();
    if (available_ < count) return nullptr;
    const unsigned char* bytes = buffer_.get();
    position_ = count;
    consumed_ += count;
    return bytes;
}

bool RdsReader::readU8(uint8_t& value) { return readLittleEndian(*this, value); }
bool RdsReader::readU16(uint16_t& value) { return readLittleEndian(*this, value); }
bool RdsReader::readU32(uint32_t& value) { return readLittleEndian(*this, value); }
bool RdsReader::readU64(uint64_t& value) { return readLittleEndian(*this, value); }

bool readRdsHeader(RdsReader& reader, RdsHeader& header, std::string* why) {
    static constexpr uint32_t kSignature[4] = {16, 0x0D000000, 0x67656952, 0x534D4C6C};
    const auto fail = [&](const char* text) {
        if (why) *why = text;
        return false;
    };
    bool matches = true;
    for (uint32_t expected : kSignature) {
        uint32_t word = 0;
        if (!reader.readU32(word)) return fail("the file is shorter than its 40-byte header");
        matches = matches && word == expected;
    }
    uint32_t unused32 = 0;
    uint64_t unused64 = 0;
    RdsHeader read;
    if (!reader.readU32(unused32) || !reader.readU16(read.formatVersion) ||
        !reader.readU16(read.recordVariant) || !reader.readU64(unused64) ||
        !reader.readU64(unused64))
        return fail("the file is shorter than its 40-byte header");
    header = read;
    return matches ? true : fail("the signature of its first 16 bytes is not a point database's");
}

}  // namespace ks_formats
