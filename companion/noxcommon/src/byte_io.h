#pragma once
// Little-endian encoding of the container's fields. The reader never reads past its end: a short
// read sets a sticky failure flag and yields zeros, so parsers check ok() once at the end.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "ks_common/little_endian.h"

namespace nox {

class ByteWriter {
public:
    explicit ByteWriter(std::vector<uint8_t>& out) : out_(out) {}
    template <typename T>
    void put(T value) {
        static_assert(std::is_arithmetic_v<T>);
        const size_t at = out_.size();
        out_.resize(at + sizeof(T));
        ks_common::store<T>(out_.data() + at, value);
    }
    void bytes(const void* data, size_t size) {
        const auto* p = static_cast<const uint8_t*>(data);
        out_.insert(out_.end(), p, p + size);
    }
    void text(std::string_view value) {
        put<uint32_t>(static_cast<uint32_t>(value.size()));
        bytes(value.data(), value.size());
    }
    size_t size() const { return out_.size(); }

private:
    std::vector<uint8_t>& out_;
};

class ByteReader {
public:
    ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    template <typename T>
    T get() {
        T value{};
        if (!need(sizeof(T))) return value;
        value = ks_common::load<T>(data_ + pos_);
        pos_ += sizeof(T);
        return value;
    }
    const uint8_t* take(size_t size) {
        if (!need(size)) return nullptr;
        const uint8_t* at = data_ + pos_;
        pos_ += size;
        return at;
    }
    std::string text() {
        const uint32_t length = get<uint32_t>();
        const uint8_t* at = take(length);
        return at ? std::string(reinterpret_cast<const char*>(at), length) : std::string();
    }
    void fail() { ok_ = false; }
    bool ok() const { return ok_; }
    size_t remaining() const { return ok_ ? size_ - pos_ : 0; }
    size_t position() const { return pos_; }

private:
    bool need(size_t size) {
        if (!ok_ || size > size_ - pos_) {
            ok_ = false;
            return false;
        }
        return true;
    }
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    bool ok_ = true;
};

}  // namespace nox
