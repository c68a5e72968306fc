#include "ks_common/text_encoding.h"

namespace ks_common {
namespace {

// Windows-1252 for 0x80..0x9F; its five undefined positions map to themselves.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

bool isContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Length of the well-formed sequence starting at text[i], or 0 when the byte starts none.
size_t sequenceLength(std::string_view text, size_t i) {
    const auto at = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = at(i);
    size_t length = 0;
    unsigned char secondMin = 0x80, secondMax = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) secondMin = 0xA0;
        // ED A0..BF would encode a surrogate (U+D800..U+DFFF), which UTF-8 never holds: such
        // bytes are not a character and must not become a lone surrogate.
        if (lead == 0xED) secondMax = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) secondMin = 0x90;
        if (lead == 0xF4) secondMax = 0x8F;
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    if (at(i + 1) < secondMin || at(i + 1) > secondMax) return 0;
    for (size_t k = 1; k < length; ++k)
        if (!isContinuation(at(i + k))) return 0;
    return length;
}

void appendCodePoint(WideString& out, char32_t cp) {
    if (cp > 0xFFFF) {
        cp -= 0x10000;
        out.push_back(static_cast<WideChar>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<WideChar>(0xDC00 + (cp & 0x3FF)));
    } else {
        out.push_back(static_cast<WideChar>(cp));
    }
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

}  // namespace

WideString decodeLenientUtf8(std::string_view text) {
    WideString out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const unsigned char byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x80) {
            out.push_back(byte);
            ++i;
            continue;
        }
        const size_t length = sequenceLength(text, i);
        if (length == 0) {
            out.push_back(byte <= 0x9F ? kWindows1252High[byte - 0x80] : WideChar(byte));
            ++i;
            continue;
        }
        char32_t cp = byte & (0xFF >> (length + 1));
        for (size_t k = 1; k < length; ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        appendCodePoint(out, cp);
        i += length;
    }
    return out;
}

std::string encodeUtf8(std::basic_string_view<WideChar> text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char32_t unit = static_cast<char16_t>(text[i]);
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size()) {
            const char32_t low = static_cast<char16_t>(text[i + 1]);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        if (unit >= 0xD800 && unit <= 0xDFFF) {
            out.push_back('?');
            continue;
        }
        appendUtf8(out, unit);
    }
    return out;
}

std::basic_string_view<WideChar> wideView(const WideChar* text) {
    return text ? std::basic_string_view<WideChar>(text) : std::basic_string_view<WideChar>();
}

WideString asciiToWide(std::string_view ascii) { return WideString(ascii.begin(), ascii.end()); }

}  // namespace ks_common
