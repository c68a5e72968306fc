#include "ks_common/text_encoding.h"

#include <gtest/gtest.h>

using ks_common::decodeLenientUtf8;
using ks_common::encodeUtf8;
using ks_formats::WideString;

namespace {

WideString units(std::initializer_list<ks_formats::WideChar> list) { return WideString(list); }

struct DecodeCase {
    const char* label;
    std::string bytes;
    WideString expected;
};

TEST(LenientDecode, GivesExactUnitsForEveryKindOfSequence) {
    const DecodeCase cases[] = {
        DecodeCase{"ascii", "a.rxp", units({'a', '.', 'r', 'x', 'p'})},
        DecodeCase{"two bytes", "\xC3\xA9", units({0xE9})},
        DecodeCase{"three bytes", "\xE4\xB8\xAD", units({0x4E2D})},
        DecodeCase{"four bytes become a surrogate pair", "\xF0\x9F\x98\x80",
                   units({0xD83D, 0xDE00})},
        DecodeCase{"highest code point", "\xF4\x8F\xBF\xBF", units({0xDBFF, 0xDFFF})},
        DecodeCase{"windows-1252 range", "\x80\x8A\x9F", units({0x20AC, 0x0160, 0x0178})},
        DecodeCase{"undefined 1252 positions map to themselves", "\x81\x8D\x8F\x90\x9D",
                   units({0x81, 0x8D, 0x8F, 0x90, 0x9D})},
        DecodeCase{"overlong two-byte lead", "\xC0\xAF", units({0xC0, 0xAF})},
        DecodeCase{"overlong three-byte form", "\xE0\x80\xAF", units({0xE0, 0x20AC, 0xAF})},
        DecodeCase{"overlong four-byte form", "\xF0\x8F\xBF\xBF", units({0xF0, 0x8F, 0xBF, 0xBF})},
        DecodeCase{"above U+10FFFF", "\xF4\x90\x80\x80", units({0xF4, 0x90, 0x20AC, 0x20AC})},
        DecodeCase{"encoded surrogate is no character", "\xED\xA0\x80",
                   units({0xED, 0xA0, 0x20AC})},
        DecodeCase{"last code point before the surrogates", "\xED\x9F\xBF", units({0xD7FF})},
        DecodeCase{"truncated at the end", "a\xE4\xB8", units({'a', 0xE4, 0xB8})},
        DecodeCase{"lead followed by ascii",
                   "\xC3"
                   "A",
                   units({0xC3, 'A'})},
        DecodeCase{"bytes F5 and above", "\xF5\xFF", units({0xF5, 0xFF})},
        DecodeCase{"lone continuation above 0x9F", "\xA9", units({0xA9})},
        DecodeCase{"empty", "", WideString()},
    };
    for (const DecodeCase& c : cases) EXPECT_EQ(decodeLenientUtf8(c.bytes), c.expected) << c.label;
}

TEST(Utf8Encode, RoundTripsEveryPlaneAndReplacesLoneSurrogates) {
    EXPECT_EQ(encodeUtf8(KS_WIDE("a\u00e9\u4e2d\U0001F600")),
              "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80");
    EXPECT_EQ(encodeUtf8(units({'x', 0xD800, 'y', 0xDC00})), "x?y?");
    EXPECT_EQ(encodeUtf8(units({0xD83D})), "?");
    const std::string text = "\xF0\x9F\x98\x80/scan \xE4\xB8\xAD.rxp";
    EXPECT_EQ(encodeUtf8(decodeLenientUtf8(text)), text);
}

TEST(CallerText, NarrowTextIsDecodedLenientlyAndNullIsEmptyBothWays) {
    const WideString decoded = ks_common::fromUtf8("\xC3\xA9t\xE9");
    EXPECT_EQ(decoded, units({0xE9, 't', 0xE9}));
    EXPECT_EQ(encodeUtf8(decoded), "\xC3\xA9t\xC3\xA9");
    EXPECT_EQ(ks_common::toUtf8(KS_WIDE("/data/\u4e2d.rxp")), "/data/\xE4\xB8\xAD.rxp");
    EXPECT_EQ(ks_common::fromUtf8(nullptr), WideString());
    EXPECT_EQ(ks_common::toUtf8(nullptr), "");
}

}  // namespace
