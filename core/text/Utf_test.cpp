// Edge cases of the Unicode range codecs, string conversions and helpers.
#include "core/text/Utf.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <random>
#include <vector>

#include "tests/support/TextTestSupport.h"

namespace Quorvin {
namespace {

using TextTest::Bytes;
using TextTest::U16;
using TextTest::Units16;
using R = ConversionResult;
constexpr ConversionMode Modes[] = {ConversionMode::Strict, ConversionMode::Lenient};

// Runs a codec over all of `input` into a target of `capacity` units and records where it stopped.
template <class In, class Out>
struct Run {
    R result;
    size_t consumed;
    std::vector<Out> written;
};

template <class In, class Out, class Codec>
Run<In, Out> RunCodec(Codec codec, const std::basic_string<In>& input, size_t capacity, ConversionMode mode) {
    std::vector<Out> target(capacity + 1, Out(0x5A));
    const In* s = input.data();
    Out* t = target.data();
    const R r = codec(s, input.data() + input.size(), t, target.data() + capacity, mode);
    EXPECT_EQ(target[capacity], Out(0x5A)) << "wrote past the target end";
    return {r, static_cast<size_t>(s - input.data()), std::vector<Out>(target.data(), t)};
}

std::basic_string<Utf8Unit> U8(const std::string& s) {
    return std::basic_string<Utf8Unit>(s.begin(), s.end());
}

Run<Utf8Unit, Utf16Unit> Decode16(const std::string& bytes, ConversionMode mode, size_t capacity = 64) {
    return RunCodec<Utf8Unit, Utf16Unit>(&Utf8ToUtf16Range, U8(bytes), capacity, mode);
}

Run<Utf8Unit, Utf32Unit> Decode32(const std::string& bytes, ConversionMode mode, size_t capacity = 64) {
    return RunCodec<Utf8Unit, Utf32Unit>(&Utf8ToUtf32Range, U8(bytes), capacity, mode);
}

TEST(Utf8Decoding, RejectsIllFormedSequencesAtTheirFirstByteInBothModes) {
    const std::string prefix = "ab";
    for (const std::string& bad :
         {Bytes({0xC0, 0x80}), Bytes({0xC1, 0xBF}), Bytes({0xE0, 0x9F, 0xBF}), Bytes({0xED, 0xA0, 0x80}),
          Bytes({0xED, 0xBF, 0xBF}), Bytes({0xF0, 0x8F, 0xBF, 0xBF}), Bytes({0xF4, 0x90, 0x80, 0x80}),
          Bytes({0xF5, 0x80, 0x80, 0x80}), Bytes({0x80}), Bytes({0xBF}), Bytes({0xC3, 0x28}),
          Bytes({0xE2, 0x28, 0xA1}), Bytes({0xF8, 0x88, 0x80, 0x80, 0x80}),
          Bytes({0xFC, 0x84, 0x80, 0x80, 0x80, 0x80})}) {
        for (ConversionMode mode : Modes) {
            const auto r16 = Decode16(prefix + bad + "z", mode);
            EXPECT_EQ(r16.result, R::SourceIllegal);
            EXPECT_EQ(r16.consumed, 2u);
            EXPECT_EQ(r16.written, (std::vector<Utf16Unit>{'a', 'b'}));
            const auto r32 = Decode32(prefix + bad + "z", mode);
            EXPECT_EQ(r32.result, R::SourceIllegal);
            EXPECT_EQ(r32.consumed, 2u);
        }
    }
}

TEST(Utf8Decoding, ReportsSequencesCutByTheEndAsSourceExhausted) {
    for (const std::string& cut : {Bytes({0xE2, 0x82}), Bytes({0xC3}), Bytes({0xF0, 0x9F, 0x98}),
                                   Bytes({0xF0}), Bytes({0xFC, 0x80, 0x80})}) {
        for (ConversionMode mode : Modes) {
            const auto r = Decode16("x" + cut, mode);
            EXPECT_EQ(r.result, R::SourceExhausted);
            EXPECT_EQ(r.consumed, 1u);
            EXPECT_EQ(r.written, (std::vector<Utf16Unit>{'x'}));
            EXPECT_EQ(Decode32("x" + cut, mode).result, R::SourceExhausted);
        }
    }
}

TEST(Utf8Decoding, DecodesEachLengthIntoBothTargets) {
    const std::string text =
        "A" + Bytes({0xC3, 0xA9, 0xE2, 0x82, 0xAC, 0xF0, 0x9F, 0x98, 0x80, 0xF4, 0x8F, 0xBF, 0xBF});
    const auto r16 = Decode16(text, ConversionMode::Strict);
    EXPECT_EQ(r16.result, R::Ok);
    EXPECT_EQ(r16.consumed, text.size());
    EXPECT_EQ(r16.written, (std::vector<Utf16Unit>{0x41, 0xE9, 0x20AC, 0xD83D, 0xDE00, 0xDBFF, 0xDFFF}));
    const auto r32 = Decode32(text, ConversionMode::Strict);
    EXPECT_EQ(r32.result, R::Ok);
    EXPECT_EQ(r32.written, (std::vector<Utf32Unit>{0x41, 0xE9, 0x20AC, 0x1F600, 0x10FFFF}));
}

TEST(Utf8Decoding, StopsBeforeACharacterTheTargetCannotHold) {
    const std::string emoji = Bytes({0xF0, 0x9F, 0x98, 0x80});
    // One unit free, two needed: neither half of the pair is written.
    auto r = Decode16("ab" + emoji, ConversionMode::Strict, 3);
    EXPECT_EQ(r.result, R::TargetExhausted);
    EXPECT_EQ(r.consumed, 2u);
    EXPECT_EQ(r.written.size(), 2u);
    r = Decode16(Bytes({0xC3, 0xA9, 0xC3, 0xA9}), ConversionMode::Strict, 1);
    EXPECT_EQ(r.result, R::TargetExhausted);
    EXPECT_EQ(r.consumed, 2u);
    // A long ASCII run into a short target stops exactly at the target's end.
    const auto r32 = Decode32(std::string(40, 'q'), ConversionMode::Strict, 17);
    EXPECT_EQ(r32.result, R::TargetExhausted);
    EXPECT_EQ(r32.consumed, 17u);
    EXPECT_EQ(r32.written.size(), 17u);
    EXPECT_EQ(Decode16("abc", ConversionMode::Strict, 0).result, R::TargetExhausted);
}

TEST(RangeCodecs, ReturnOkAtOnceForAnEmptyOrPassedSource) {
    const Utf8Unit bytes[2] = {0xFF, 0xFF};
    const Utf8Unit* s = bytes + 1;
    Utf16Unit target[1] = {};
    Utf16Unit* t = target;
    EXPECT_EQ(Utf8ToUtf16Range(s, bytes, t, target + 1, ConversionMode::Strict), R::Ok);
    EXPECT_EQ(s, bytes + 1);
    EXPECT_EQ(t, target);
    const Utf32Unit values[1] = {0x110000};
    const Utf32Unit* v = values + 1;
    Utf8Unit out[4];
    Utf8Unit* o = out;
    EXPECT_EQ(Utf32ToUtf8Range(v, values + 1, o, out + 4, ConversionMode::Strict), R::Ok);
    EXPECT_EQ(o, out);
}

Run<Utf16Unit, Utf8Unit> Encode8(const Utf16String& units, ConversionMode mode, size_t capacity = 64) {
    return RunCodec<Utf16Unit, Utf8Unit>(&Utf16ToUtf8Range, units, capacity, mode);
}

Run<Utf16Unit, Utf32Unit> Widen32(const Utf16String& units, ConversionMode mode, size_t capacity = 64) {
    return RunCodec<Utf16Unit, Utf32Unit>(&Utf16ToUtf32Range, units, capacity, mode);
}

TEST(Utf16Reading, TreatsAFinalHighSurrogateAsExhaustedInBothModes) {
    for (ConversionMode mode : Modes) {
        const auto r8 = Encode8(Units16({0x41, 0xD83D}), mode);
        EXPECT_EQ(r8.result, R::SourceExhausted);
        EXPECT_EQ(r8.consumed, 1u);
        EXPECT_EQ(r8.written, (std::vector<Utf8Unit>{0x41}));
        const auto r32 = Widen32(Units16({0x41, 0xDBFF}), mode);
        EXPECT_EQ(r32.result, R::SourceExhausted);
        EXPECT_EQ(r32.consumed, 1u);
    }
}

TEST(Utf16Reading, RejectsUnpairedSurrogatesWhenStrictAndPassesThemWhenLenient) {
    const auto strict = Encode8(Units16({0x41, 0xD800, 0x0041}), ConversionMode::Strict);
    EXPECT_EQ(strict.result, R::SourceIllegal);
    EXPECT_EQ(strict.consumed, 1u);
    const auto lenient = Encode8(Units16({0xD800, 0x0041}), ConversionMode::Lenient);
    EXPECT_EQ(lenient.result, R::Ok);
    EXPECT_EQ(lenient.written, (std::vector<Utf8Unit>{0xED, 0xA0, 0x80, 0x41}));

    // A lone low surrogate, and a high one followed by another high one.
    EXPECT_EQ(Encode8(Units16({0xDC00}), ConversionMode::Strict).result, R::SourceIllegal);
    EXPECT_EQ(Encode8(Units16({0xDFFF}), ConversionMode::Lenient).written,
              (std::vector<Utf8Unit>{0xED, 0xBF, 0xBF}));
    const auto twoHighs = Widen32(Units16({0xD800, 0xD801, 0xDC00}), ConversionMode::Lenient);
    EXPECT_EQ(twoHighs.result, R::Ok);
    EXPECT_EQ(twoHighs.written, (std::vector<Utf32Unit>{0xD800, 0x10400}));
    const auto strict32 = Widen32(Units16({0x61, 0xDC00}), ConversionMode::Strict);
    EXPECT_EQ(strict32.result, R::SourceIllegal);
    EXPECT_EQ(strict32.consumed, 1u);
}

// Text that may hold any 16-bit units (file names) becomes well-formed UTF-8: each unpaired
// surrogate, a final high one included, is written as U+FFFD and the next unit is read on its own.
TEST(Utf16Reading, ReplacingModeWritesReplacementForEveryUnpairedSurrogate) {
    const auto convert = [](std::initializer_list<uint16_t> units) {
        return Utf16ToUtf8Replacing(Units16(units));
    };
    const std::string replacement = "\xEF\xBF\xBD";
    EXPECT_EQ(convert({}), "");
    EXPECT_EQ(convert({u'C', u':', u'\\', u'r', u'.', u'e'}), "C:\\r.e");
    EXPECT_EQ(convert({0xE9, 0x4E2D, 0xD83D, 0xDE00}), "\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80");
    EXPECT_EQ(convert({0x7F, 0x80, 0x7FF, 0x800, 0xFFFF, 0xDBFF, 0xDFFF}),
              "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF\xF4\x8F\xBF\xBF");
    EXPECT_EQ(convert({0xD83D}), replacement);
    EXPECT_EQ(convert({u'a', 0xDE00, u'b'}), "a" + replacement + "b");
    EXPECT_EQ(convert({0xD83D, u'x'}), replacement + "x");
    EXPECT_EQ(convert({0xD800, 0xD801, 0xDC00}), replacement + "\xF0\x90\x90\x80");
    EXPECT_EQ(convert({0xDE00, 0xD83D}), replacement + replacement);
    // A high surrogate at the end of the counted text is never paired with what lies beyond it.
    const Utf16String pair = Units16({0xD83D, 0xDE00});
    EXPECT_EQ(Utf16ToUtf8Replacing(Utf16View(pair.data(), 1)), replacement);
    const auto r32 = Widen32(Units16({0x41, 0xDBFF}), ConversionMode::Replacing);
    EXPECT_EQ(r32.result, R::Ok);
    EXPECT_EQ(r32.written, (std::vector<Utf32Unit>{0x41, 0xFFFD}));
    const auto surrogate32 = RunCodec<Utf32Unit, Utf8Unit>(&Utf32ToUtf8Range, Utf32String{0x61, 0xD800}, 64,
                                                           ConversionMode::Replacing);
    EXPECT_EQ(surrogate32.result, R::Ok);
    EXPECT_EQ(surrogate32.written, (std::vector<Utf8Unit>{0x61, 0xEF, 0xBF, 0xBD}));

    // Random units, surrogates frequent: the result is the strict conversion of the same text with
    // each unpaired surrogate replaced by U+FFFD beforehand, and so always legal.
    std::mt19937 random(11);
    for (int trial = 0; trial < 3000; ++trial) {
        Utf16String units(random() % 24, Utf16Unit{0});
        for (Utf16Unit& unit : units) {
            const uint32_t pick = random() % 4;
            unit = static_cast<Utf16Unit>(pick == 0   ? 0xD800 + random() % 0x400
                                          : pick == 1 ? 0xDC00 + random() % 0x400
                                                      : random() % 0x10000);
        }
        Utf16String repaired = units;
        for (size_t i = 0; i < repaired.size(); ++i) {
            const bool high = repaired[i] >= 0xD800 && repaired[i] < 0xDC00;
            const bool low = repaired[i] >= 0xDC00 && repaired[i] < 0xE000;
            if (high && i + 1 < repaired.size() && repaired[i + 1] >= 0xDC00 && repaired[i + 1] < 0xE000) {
                ++i;
            } else if (high || low) {
                repaired[i] = 0xFFFD;
            }
        }
        std::string expected;
        ASSERT_TRUE(Utf16ToUtf8(repaired, expected));
        ASSERT_EQ(Utf16ToUtf8Replacing(units), expected) << trial;
    }
}

TEST(Utf16Reading, StopsWithBothCursorsBeforeACharacterThatDoesNotFit) {
    // Two bytes free, a three-byte character next.
    auto r = Encode8(Units16({0x41, 0x20AC}), ConversionMode::Strict, 3);
    EXPECT_EQ(r.result, R::TargetExhausted);
    EXPECT_EQ(r.consumed, 1u);
    EXPECT_EQ(r.written.size(), 1u);
    // A surrogate pair needs four bytes; both its units stay unread.
    r = Encode8(Units16({0xD83D, 0xDE00}), ConversionMode::Strict, 3);
    EXPECT_EQ(r.result, R::TargetExhausted);
    EXPECT_EQ(r.consumed, 0u);
    const auto r32 = Widen32(Units16({0x41, 0xD83D, 0xDE00}), ConversionMode::Strict, 1);
    EXPECT_EQ(r32.result, R::TargetExhausted);
    EXPECT_EQ(r32.consumed, 1u);
}

TEST(Utf16Reading, WritesEveryUtf8LengthAtItsBoundaries) {
    const auto r = Encode8(Units16({0x7F, 0x80, 0x7FF, 0x800, 0xFFFF, 0xD800, 0xDC00, 0xDBFF, 0xDFFF}),
                           ConversionMode::Strict);
    EXPECT_EQ(r.result, R::Ok);
    EXPECT_EQ(r.written, (std::vector<Utf8Unit>{0x7F, 0xC2, 0x80, 0xDF, 0xBF, 0xE0, 0xA0, 0x80, 0xEF, 0xBF,
                                                0xBF, 0xF0, 0x90, 0x80, 0x80, 0xF4, 0x8F, 0xBF, 0xBF}));
}

Run<Utf32Unit, Utf8Unit> Utf32To8(const Utf32String& values, ConversionMode mode, size_t capacity = 64) {
    return RunCodec<Utf32Unit, Utf8Unit>(&Utf32ToUtf8Range, values, capacity, mode);
}

Run<Utf32Unit, Utf16Unit> Utf32To16(const Utf32String& values, ConversionMode mode, size_t capacity = 64) {
    return RunCodec<Utf32Unit, Utf16Unit>(&Utf32ToUtf16Range, values, capacity, mode);
}

TEST(Utf32Encoding, WritesReplacementForValuesAboveTheRangeAndReportsIllegal) {
    for (ConversionMode mode : Modes) {
        const auto r = Utf32To8({0x110000, 0x41, 0xFFFFFFFF}, mode);
        EXPECT_EQ(r.result, R::SourceIllegal);
        EXPECT_EQ(r.consumed, 3u);
        EXPECT_EQ(r.written, (std::vector<Utf8Unit>{0xEF, 0xBF, 0xBD, 0x41, 0xEF, 0xBF, 0xBD}));
    }
    // A later stop overrides the recorded result.
    const auto full = Utf32To8({0x110000, 0x20AC}, ConversionMode::Strict, 4);
    EXPECT_EQ(full.result, R::TargetExhausted);
    EXPECT_EQ(full.consumed, 1u);
}

TEST(Utf32Encoding, StopsAtSurrogatesWhenStrictAndEncodesThemWhenLenient) {
    const auto strict = Utf32To8({0x41, 0xDFFF}, ConversionMode::Strict);
    EXPECT_EQ(strict.result, R::SourceIllegal);
    EXPECT_EQ(strict.consumed, 1u);
    const auto lenient = Utf32To8({0xD800}, ConversionMode::Lenient);
    EXPECT_EQ(lenient.result, R::Ok);
    EXPECT_EQ(lenient.written, (std::vector<Utf8Unit>{0xED, 0xA0, 0x80}));

    const auto strict16 = Utf32To16({0x41, 0xD800}, ConversionMode::Strict);
    EXPECT_EQ(strict16.result, R::SourceIllegal);
    EXPECT_EQ(strict16.consumed, 1u);
    const auto lenient16 = Utf32To16({0xD800, 0x110000, 0x1F600}, ConversionMode::Lenient);
    EXPECT_EQ(lenient16.result, R::Ok);
    EXPECT_EQ(lenient16.written, (std::vector<Utf16Unit>{0xFFFD, 0xFFFD, 0xD83D, 0xDE00}));
}

TEST(Utf32Encoding, SkipsValuesAboveTheRangeWhenStrictToUtf16) {
    const auto r = Utf32To16({0x110000, 0x41}, ConversionMode::Strict);
    EXPECT_EQ(r.result, R::SourceIllegal);
    EXPECT_EQ(r.consumed, 2u);
    EXPECT_EQ(r.written, (std::vector<Utf16Unit>{0x41}));
    // No target room is checked before the value is looked at.
    const auto noRoom = Utf32To16({0x110000}, ConversionMode::Strict, 0);
    EXPECT_EQ(noRoom.result, R::TargetExhausted);
    EXPECT_EQ(noRoom.consumed, 0u);
    const auto oneFree = Utf32To16({0x41, 0x1F600}, ConversionMode::Strict, 2);
    EXPECT_EQ(oneFree.result, R::TargetExhausted);
    EXPECT_EQ(oneFree.consumed, 1u);
    EXPECT_EQ(oneFree.written, (std::vector<Utf16Unit>{0x41}));
}

TEST(StringConversions, ConvertTheSameCharacterAcrossAllThreeForms) {
    const std::string utf8 = Bytes({0xF0, 0x9F, 0x98, 0x80});
    Utf16String utf16;
    Utf32String utf32;
    std::string back;
    ASSERT_TRUE(Utf8ToUtf16(utf8, utf16));
    EXPECT_EQ(utf16, Units16({0xD83D, 0xDE00}));
    ASSERT_TRUE(Utf8ToUtf32(utf8, utf32));
    EXPECT_EQ(utf32, Utf32String(U"\U0001F600"));
    ASSERT_TRUE(Utf16ToUtf32(utf16, utf32));
    EXPECT_EQ(utf32, Utf32String(U"\U0001F600"));
    ASSERT_TRUE(Utf32ToUtf16(utf32, utf16));
    EXPECT_EQ(utf16, U16(u"\U0001F600"));
    ASSERT_TRUE(Utf16ToUtf8(utf16, back));
    EXPECT_EQ(back, utf8);
    ASSERT_TRUE(Utf32ToUtf8(utf32, back));
    EXPECT_EQ(back, utf8);
}

TEST(StringConversions, DeliverNothingOnBadInputAndEmptyOutputOnEmptyInput) {
    Utf16String utf16 = U16(u"previous");
    EXPECT_FALSE(Utf8ToUtf16(Bytes({0x61, 0xC0, 0xAF}), utf16));
    EXPECT_TRUE(utf16.empty());
    utf16 = U16(u"previous");
    EXPECT_FALSE(Utf8ToUtf16(Bytes({0x61, 0xE2, 0x82}), utf16));
    EXPECT_TRUE(utf16.empty());

    std::string utf8 = "previous";
    EXPECT_FALSE(Utf16ToUtf8(Units16({0x61, 0xDC00}), utf8));
    EXPECT_TRUE(utf8.empty());
    utf8 = "previous";
    EXPECT_FALSE(Utf32ToUtf8(Utf32String{0x61, 0x110000}, utf8));  // U+FFFD is written, yet not delivered
    EXPECT_TRUE(utf8.empty());
    Utf32String utf32 = U"previous";
    EXPECT_FALSE(Utf16ToUtf32(Units16({0xD800}), utf32));
    EXPECT_TRUE(utf32.empty());
    utf16 = U16(u"previous");
    EXPECT_FALSE(Utf32ToUtf16(Utf32String{0x41, 0x110000}, utf16));
    EXPECT_TRUE(utf16.empty());

    utf32 = U"previous";
    EXPECT_TRUE(Utf8ToUtf32(std::string_view(), utf32));
    EXPECT_TRUE(utf32.empty());
    utf8 = "previous";
    EXPECT_TRUE(Utf16ToUtf8(Utf16View(), utf8));
    EXPECT_TRUE(utf8.empty());
}

TEST(StringConversions, KeepEmbeddedNulCharacters) {
    const std::string withNul("a\0b", 3);
    Utf16String utf16;
    ASSERT_TRUE(Utf8ToUtf16(withNul, utf16));
    EXPECT_EQ(utf16, Units16({0x61, 0, 0x62}));
    std::string back;
    ASSERT_TRUE(Utf16ToUtf8(utf16, back));
    EXPECT_EQ(back, withNul);
}

TEST(Utf8ToWideBuffer, ConvertsIntoUnalignedBuffersOfEachWidth) {
    const std::string text = "x" + Bytes({0xC3, 0xA9, 0xF0, 0x9F, 0x98, 0x80});
    alignas(8) unsigned char buffer[1 + 4 * 16] = {};
    const char* error = nullptr;

    unsigned char* cursor = buffer + 1;  // deliberately misaligned for 16- and 32-bit units
    ASSERT_TRUE(Utf8ToWideBuffer(2, text, cursor, error));
    ASSERT_EQ(cursor, buffer + 1 + 4 * 2);
    uint16_t units[4];
    std::memcpy(units, buffer + 1, sizeof units);
    EXPECT_EQ(units[0], 0x78);
    EXPECT_EQ(units[1], 0xE9);
    EXPECT_EQ(units[2], 0xD83D);
    EXPECT_EQ(units[3], 0xDE00);

    cursor = buffer + 1;
    ASSERT_TRUE(Utf8ToWideBuffer(4, text, cursor, error));
    ASSERT_EQ(cursor, buffer + 1 + 3 * 4);
    uint32_t values[3];
    std::memcpy(values, buffer + 1, sizeof values);
    EXPECT_EQ(values[2], 0x1F600u);

    cursor = buffer;
    ASSERT_TRUE(Utf8ToWideBuffer(1, text, cursor, error));
    EXPECT_EQ(cursor, buffer + text.size());
    EXPECT_EQ(std::memcmp(buffer, text.data(), text.size()), 0);

    // Longer than the internal chunk, so the conversion resumes across chunks.
    const std::string longText(700, 'k');
    std::vector<unsigned char> big(700 * 4);
    cursor = big.data();
    ASSERT_TRUE(Utf8ToWideBuffer(4, longText, cursor, error));
    EXPECT_EQ(cursor, big.data() + big.size());
}

TEST(Utf8ToWideBuffer, PointsAtTheBadSequenceAndLeavesTheCursor) {
    for (int width : {1, 2, 4}) {
        const std::string text = "ab" + Bytes({0xED, 0xA0, 0x80}) + "c";
        unsigned char buffer[64];
        unsigned char* cursor = buffer;
        const char* error = nullptr;
        EXPECT_FALSE(Utf8ToWideBuffer(width, text, cursor, error)) << width;
        EXPECT_EQ(cursor, buffer);
        EXPECT_EQ(error, text.data() + 2);

        const std::string cut = "abc" + Bytes({0xE2, 0x82});
        EXPECT_FALSE(Utf8ToWideBuffer(width, cut, cursor, error));
        EXPECT_EQ(error, cut.data() + 3);
    }
    unsigned char untouched[4] = {1, 2, 3, 4};
    unsigned char* cursor = untouched;
    const char* error = nullptr;
    EXPECT_TRUE(Utf8ToWideBuffer(3, "abc", cursor, error));
    EXPECT_EQ(cursor, untouched);
    EXPECT_EQ(untouched[0], 1);
}

TEST(CodePointToUtf8, EncodesScalarsAndRefusesTheRest) {
    unsigned char buffer[8] = {};
    unsigned char* cursor = buffer;
    ASSERT_TRUE(CodePointToUtf8(0x20AC, cursor));
    EXPECT_EQ(cursor, buffer + 3);
    ASSERT_TRUE(CodePointToUtf8(0x10FFFF, cursor));
    EXPECT_EQ(cursor, buffer + 7);
    EXPECT_EQ(std::vector<unsigned char>(buffer, buffer + 7),
              (std::vector<unsigned char>{0xE2, 0x82, 0xAC, 0xF4, 0x8F, 0xBF, 0xBF}));

    unsigned char other[4] = {9, 9, 9, 9};
    cursor = other;
    EXPECT_FALSE(CodePointToUtf8(0xDC00, cursor));
    EXPECT_EQ(cursor, other);
    EXPECT_EQ(other[0], 9);
    EXPECT_FALSE(CodePointToUtf8(0x110000, cursor));
    EXPECT_EQ(cursor, other);
    EXPECT_EQ(std::vector<unsigned char>(other, other + 4),
              (std::vector<unsigned char>{0xEF, 0xBF, 0xBD, 9}));
}

TEST(ByteOrderMark, IsDetectedInEitherOrderOnlyWithTwoBytes) {
    const unsigned char le[] = {0xFF, 0xFE, 0x41};
    const unsigned char be[] = {0xFE, 0xFF};
    const unsigned char utf8Bom[] = {0xEF, 0xBB, 0xBF};
    EXPECT_TRUE(HasUtf16ByteOrderMark(le, 3));
    EXPECT_TRUE(HasUtf16ByteOrderMark(be, 2));
    EXPECT_FALSE(HasUtf16ByteOrderMark(le, 1));
    EXPECT_FALSE(HasUtf16ByteOrderMark(le, 0));
    EXPECT_FALSE(HasUtf16ByteOrderMark(utf8Bom, 3));
}

TEST(Utf16TextToUtf8, HonoursAndDropsTheByteOrderMark) {
    std::string out = "untouched";
    EXPECT_TRUE(Utf16TextToUtf8(Utf16String(), out));
    EXPECT_EQ(out, "untouched");
    EXPECT_TRUE(Utf16TextToUtf8(Units16({0xFFFE, 0x4100, 0x4200}), out));
    EXPECT_EQ(out, "AB");
    EXPECT_TRUE(Utf16TextToUtf8(Units16({0xFEFF}), out));
    EXPECT_EQ(out, "");
    EXPECT_TRUE(Utf16TextToUtf8(Units16({0xFEFF, 0x20AC}), out));
    EXPECT_EQ(out, Bytes({0xE2, 0x82, 0xAC}));
    // Swapped: 0x3DD8 0x00DE is the pair D83D DE00 after swapping.
    EXPECT_TRUE(Utf16TextToUtf8(Units16({0xFFFE, 0x3DD8, 0x00DE}), out));
    EXPECT_EQ(out, Bytes({0xF0, 0x9F, 0x98, 0x80}));
    // Only a leading mark is special.
    EXPECT_TRUE(Utf16TextToUtf8(Units16({0x41, 0xFEFF}), out));
    EXPECT_EQ(out, Bytes({0x41, 0xEF, 0xBB, 0xBF}));
    out = "previous";
    EXPECT_FALSE(Utf16TextToUtf8(Units16({0xFEFF, 0xD800}), out));
    EXPECT_TRUE(out.empty());
}

TEST(Utf8Validation, StopsAtTheFirstBadSequenceAndAcceptsEmptyRanges) {
    const std::string text = std::string(40, 'a') + Bytes({0xC3, 0xA9, 0xF4, 0x90, 0x80, 0x80}) + "tail";
    const auto* begin = reinterpret_cast<const Utf8Unit*>(text.data());
    const Utf8Unit* cursor = begin;
    EXPECT_FALSE(IsLegalUtf8Range(cursor, begin + text.size()));
    EXPECT_EQ(cursor, begin + 42);
    cursor = begin;
    EXPECT_TRUE(IsLegalUtf8Range(cursor, begin + 42));
    EXPECT_EQ(cursor, begin + 42);
    cursor = begin;
    EXPECT_FALSE(IsLegalUtf8Range(cursor, begin + 41));  // cut inside C3 A9
    EXPECT_EQ(cursor, begin + 40);
    cursor = begin + 5;
    EXPECT_TRUE(IsLegalUtf8Range(cursor, begin + 5));
}

TEST(Utf8Validation, CountsCodePointsOrZero) {
    EXPECT_EQ(CountUtf8CodePoints("a\xC3\xA9\xE2\x82\xAC"), 3u);
    EXPECT_EQ(CountUtf8CodePoints("a\xC3\xA9\xE2\x82\xAC\xFF"), 0u);
    EXPECT_EQ(CountUtf8CodePoints(""), 0u);
    EXPECT_EQ(CountUtf8CodePoints("\xF0\x9F\x98\x80"), 1u);
    EXPECT_EQ(CountUtf8CodePoints("\xF0\x9F\x98"), 0u);
    EXPECT_EQ(CountUtf8CodePoints(std::string(100, 'z').c_str()), 100u);
}

TEST(Utf8Validation, SequenceLengthFollowsTheFirstByteForBothEntries) {
    const std::array<std::pair<int, int>, 9> cases = {
        {{0x00, 1}, {0x7F, 1}, {0x80, 1}, {0xBF, 1}, {0xC0, 2}, {0xE0, 3}, {0xF0, 4}, {0xF8, 5}, {0xFC, 6}}};
    for (const auto& [byte, length] : cases) {
        EXPECT_EQ(Utf8SequenceLength(static_cast<Utf8Unit>(byte)), length) << byte;
        EXPECT_EQ(Utf8SequenceLength(static_cast<char>(byte)), length) << byte;
    }
    EXPECT_EQ(Utf8SequenceLength(static_cast<char>(0xFF)), 6);
}

}  // namespace
}  // namespace Quorvin
