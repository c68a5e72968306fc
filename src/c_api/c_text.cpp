#include "c_api/c_text.h"

#include <algorithm>

#include "c_api/c_batch.h"

namespace ks_formats::c_api {

bool isValidUtf8(const char* text, std::string& why) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    for (size_t i = 0; bytes[i];) {
        const unsigned char lead = bytes[i];
        size_t length = 1;
        uint32_t value = lead;
        if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            value = lead & 0x07u;
        } else if (lead >= 0xE0) {
            length = lead <= 0xEF ? 3 : 0;
            value = lead & 0x0Fu;
        } else if (lead >= 0xC2) {
            length = 2;
            value = lead & 0x1Fu;
        } else if (lead >= 0x80) {
            length = 0;
        }
        bool whole = length != 0;
        for (size_t k = 1; whole && k < length; ++k) {
            whole = (bytes[i + k] & 0xC0u) == 0x80u;
            value = (value << 6) | (bytes[i + k] & 0x3Fu);
        }
        const bool shortest = length < 3 || (length == 3 ? value >= 0x800 : value >= 0x10000);
        if (!whole || !shortest || (value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF) {
            why = "byte " + std::to_string(i) + " starts no UTF-8 character";
            return false;
        }
        i += length;
    }
    return true;
}

namespace {

template <typename Unit, typename Text>
int32_t copyUnits(Text text, Unit* buffer, int32_t capacity) {
    const auto needed = static_cast<int32_t>(text.size() + 1);
    if (buffer && capacity >= needed) {
        std::copy(text.begin(), text.end(), buffer);
        buffer[text.size()] = 0;
    } else if (buffer || capacity > 0) {
        setLastError("the buffer holds " + std::to_string(capacity) + " units, the text needs " +
                     std::to_string(needed));
    }
    return needed;
}

}  // namespace

int32_t copyText(std::string_view text, char* buffer, int32_t capacity) {
    return copyUnits(text, buffer, capacity);
}

int32_t copyText(std::basic_string_view<WideChar> text, uint16_t* buffer, int32_t capacity) {
    return copyUnits(text, buffer, capacity);
}

}  // namespace ks_formats::c_api
