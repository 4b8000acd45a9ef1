// Property tests of the Unicode conversions over many generated inputs, checked against the
// reference readers and encoders of the test support.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "core/text/Utf.h"
#include "tests/support/TextTestSupport.h"

namespace Quorvin {
namespace {

using namespace TextTest;
using R = ConversionResult;

constexpr int Cases = 4000;

TEST(UtfProperties, StrictConversionsRoundTripValidTextExactly) {
    TextGenerator gen(1);
    for (int i = 0; i < Cases; ++i) {
        const std::vector<uint32_t> scalars = gen.Scalars(i % 4 == 0 ? 400 : 40);
        const std::string utf8 = ReferenceUtf8(scalars);
        const Utf16String utf16 = ReferenceUtf16(scalars);
        const Utf32String utf32 = ReferenceUtf32(scalars);

        Utf16String out16;
        Utf32String out32;
        std::string out8;
        ASSERT_TRUE(Utf8ToUtf16(utf8, out16));
        ASSERT_EQ(out16, utf16);
        ASSERT_TRUE(Utf8ToUtf32(utf8, out32));
        ASSERT_EQ(out32, utf32);
        ASSERT_TRUE(Utf16ToUtf8(utf16, out8));
        ASSERT_EQ(out8, utf8);
        ASSERT_TRUE(Utf32ToUtf8(utf32, out8));
        ASSERT_EQ(out8, utf8);
        ASSERT_TRUE(Utf16ToUtf32(utf16, out32));
        ASSERT_EQ(out32, utf32);
        ASSERT_TRUE(Utf32ToUtf16(utf32, out16));
        ASSERT_EQ(out16, utf16);
        // The count reads up to the first NUL.
        const auto nul = std::find(scalars.begin(), scalars.end(), 0u);
        ASSERT_EQ(CountUtf8CodePoints(utf8.c_str()), static_cast<uint32_t>(nul - scalars.begin()));
    }
}

// Runs a UTF-8 decoder over `bytes` into a target of `capacity` units (with a guard unit after it)
// and checks it against the reference reading: same stop, same result, same units, and the target
// untouched after the new cursor.
template <class Unit>
void CheckDecoder(ConversionResult (*codec)(const Utf8Unit*&, const Utf8Unit*, Unit*&, Unit*,
                                            ConversionMode) noexcept,
                  const std::string& bytes, const ReferenceReading& ref,
                  const std::basic_string<Unit>& expected, size_t capacity, ConversionMode mode) {
    std::vector<Unit> target(capacity + 1, Unit(0x7777));
    const auto* begin = reinterpret_cast<const Utf8Unit*>(bytes.data());
    const Utf8Unit* s = begin;
    Unit* t = target.data();
    const R r = codec(s, begin + bytes.size(), t, target.data() + capacity, mode);
    // Nothing after the new cursor is touched, inside the target or past its end.
    ASSERT_EQ(std::count(t, target.data() + capacity + 1, Unit(0x7777)), target.data() + capacity + 1 - t);
    ASSERT_LE(s, begin + bytes.size());
    ASSERT_LE(t, target.data() + capacity);
    const std::basic_string<Unit> written(target.data(), t);
    if (expected.size() <= capacity) {
        ASSERT_EQ(r, ref.result);
        ASSERT_EQ(static_cast<size_t>(s - begin), ref.stop);
        ASSERT_EQ(written, expected);
    } else {
        // Out of room first: everything written is a prefix of the full result, ending on a
        // character boundary that the source cursor matches.
        ASSERT_EQ(r, R::TargetExhausted);
        ASSERT_EQ(written, expected.substr(0, written.size()));
        ASSERT_LE(static_cast<size_t>(s - begin), ref.stop);
        std::basic_string<Unit> again;
        const std::string_view prefix(bytes.data(), static_cast<size_t>(s - begin));
        if constexpr (sizeof(Unit) == 2) {
            ASSERT_TRUE(Utf8ToUtf16(prefix, again));
        } else {
            ASSERT_TRUE(Utf8ToUtf32(prefix, again));
        }
        ASSERT_EQ(again, written);
        ASSERT_GT(written.size() + (sizeof(Unit) == 2 ? 2 : 1), capacity);
    }
}

TEST(UtfProperties, Utf8DecodersAgreeWithTheReferenceOnDamagedText) {
    TextGenerator gen(2);
    for (int i = 0; i < Cases * 3; ++i) {
        const std::string bytes = gen.DamagedUtf8(i % 5 == 0 ? 300 : 30);
        const ReferenceReading ref = ReadUtf8Reference(bytes);
        const Utf16String expected16 = ReferenceUtf16(ref.scalars);
        const Utf32String expected32 = ReferenceUtf32(ref.scalars);
        const ConversionMode mode = gen.Chance(50) ? ConversionMode::Strict : ConversionMode::Lenient;
        const size_t capacity =
            gen.Chance(70) ? bytes.size() : gen.Below(static_cast<uint32_t>(bytes.size()) + 2);
        SCOPED_TRACE(testing::Message() << "case " << i);
        CheckDecoder<Utf16Unit>(&Utf8ToUtf16Range, bytes, ref, expected16, capacity, mode);
        CheckDecoder<Utf32Unit>(&Utf8ToUtf32Range, bytes, ref, expected32, capacity, mode);

        // All or nothing, and the validators stop where the decoders do.
        Utf16String out16 = U16(u"old");
        Utf32String out32 = U"old";
        const bool ok = ref.result == R::Ok;
        ASSERT_EQ(Utf8ToUtf16(bytes, out16), ok);
        ASSERT_EQ(out16, ok ? expected16 : Utf16String());
        ASSERT_EQ(Utf8ToUtf32(bytes, out32), ok);
        ASSERT_EQ(out32, ok ? expected32 : Utf32String());
        const auto* begin = reinterpret_cast<const Utf8Unit*>(bytes.data());
        const Utf8Unit* cursor = begin;
        ASSERT_EQ(IsLegalUtf8Range(cursor, begin + bytes.size()), ok);
        ASSERT_EQ(static_cast<size_t>(cursor - begin), ref.stop);
        if (bytes.find('\0') == std::string::npos) {
            ASSERT_EQ(CountUtf8CodePoints(bytes.c_str()), ok ? ref.scalars.size() : 0u);
        }
    }
}

TEST(UtfProperties, ChunkedDecodingResumesToTheSameResult) {
    TextGenerator gen(3);
    for (int i = 0; i < Cases; ++i) {
        const std::string bytes = ReferenceUtf8(gen.Scalars(200));
        Utf16String whole;
        ASSERT_TRUE(Utf8ToUtf16(bytes, whole));
        // Feed the target a few units at a time; the cursors carry the conversion on.
        Utf16String pieces;
        const auto* s = reinterpret_cast<const Utf8Unit*>(bytes.data());
        const auto* end = s + bytes.size();
        for (int guard = 0; s < end; ++guard) {
            ASSERT_LT(guard, 10000);
            Utf16Unit chunk[24];
            const size_t room = 2 + gen.Below(22);
            Utf16Unit* t = chunk;
            const R r = Utf8ToUtf16Range(s, end, t, chunk + room, ConversionMode::Strict);
            ASSERT_TRUE(r == R::Ok || r == R::TargetExhausted);
            pieces.append(chunk, t);
        }
        ASSERT_EQ(pieces, whole);
    }
}

template <class Out>
void CheckUtf16Reader(ConversionResult (*codec)(const Utf16Unit*&, const Utf16Unit*, Out*&, Out*,
                                                ConversionMode) noexcept,
                      const Utf16String& units, const ReferenceReading& ref,
                      const std::basic_string<Out>& expected, ConversionMode mode) {
    std::vector<Out> target(expected.size() + 1, Out(0x77));
    const Utf16Unit* s = units.data();
    Out* t = target.data();
    const R r = codec(s, units.data() + units.size(), t, target.data() + expected.size(), mode);
    ASSERT_EQ(r, ref.result);
    ASSERT_EQ(static_cast<size_t>(s - units.data()), ref.stop);
    ASSERT_EQ(std::basic_string<Out>(target.data(), t), expected);
    ASSERT_EQ(target.back(), Out(0x77));
}

std::basic_string<Utf8Unit> AsUnits(const std::string& s) {
    return std::basic_string<Utf8Unit>(s.begin(), s.end());
}

// Lenient UTF-8 of code points that may be surrogates: the same bit layout as for scalars.
std::string LenientUtf8(const std::vector<uint32_t>& codePoints) { return ReferenceUtf8(codePoints); }

TEST(UtfProperties, Utf16ReadersAgreeWithTheReferenceInBothModes) {
    TextGenerator gen(4);
    for (int i = 0; i < Cases * 2; ++i) {
        const Utf16String units = gen.DamagedUtf16(i % 5 == 0 ? 300 : 30);
        SCOPED_TRACE(testing::Message() << "case " << i);
        for (bool lenient : {false, true}) {
            const ConversionMode mode = lenient ? ConversionMode::Lenient : ConversionMode::Strict;
            const ReferenceReading ref = ReadUtf16Reference(units, lenient);
            CheckUtf16Reader<Utf8Unit>(&Utf16ToUtf8Range, units, ref, AsUnits(LenientUtf8(ref.scalars)),
                                       mode);
            CheckUtf16Reader<Utf32Unit>(&Utf16ToUtf32Range, units, ref, ReferenceUtf32(ref.scalars), mode);
        }
        const ReferenceReading strict = ReadUtf16Reference(units, false);
        const bool ok = strict.result == R::Ok;
        std::string out8 = "old";
        Utf32String out32 = U"old";
        ASSERT_EQ(Utf16ToUtf8(units, out8), ok);
        ASSERT_EQ(out8, ok ? ReferenceUtf8(strict.scalars) : std::string());
        ASSERT_EQ(Utf16ToUtf32(units, out32), ok);
        ASSERT_EQ(out32, ok ? ReferenceUtf32(strict.scalars) : Utf32String());
    }
}

// The UTF-16 encoder converts 16 units at a time when they hold no surrogate: runs of such units
// whose end falls at every offset of a block, followed by a surrogate, a cut pair, the source end
// or a target too short by a few bytes.
TEST(UtfProperties, Utf16ReaderBlocksEndWhereTheCharacterRulesDo) {
    TextGenerator gen(7);
    for (int i = 0; i < Cases; ++i) {
        SCOPED_TRACE(testing::Message() << "case " << i);
        Utf16String units;
        const uint32_t run = 16 + gen.Below(64);
        const bool wide = gen.Chance(50);  // mostly three-byte units, or any length
        for (uint32_t k = 0; k < run; ++k) {
            uint32_t c = wide && gen.Chance(85) ? 0x800 + gen.Below(0xD800 - 0x800) : gen.Scalar(false);
            if (c > 0xFFFF || (c >= 0xD800 && c < 0xE000)) {
                c = 0xE000 + gen.Below(0x2000);
            }
            units.push_back(static_cast<Utf16Unit>(c));
        }
        switch (gen.Below(4)) {
        case 0: units.push_back(static_cast<Utf16Unit>(0xD800 + gen.Below(0x800))); break;  // unpaired or cut
        case 1: units += Units16({0xD83D, 0xDE00}); break;
        case 2: units += Units16({0xDC00, 0x41}); break;
        default: break;
        }
        for (bool lenient : {false, true}) {
            const ConversionMode mode = lenient ? ConversionMode::Lenient : ConversionMode::Strict;
            const ReferenceReading ref = ReadUtf16Reference(units, lenient);
            const std::basic_string<Utf8Unit> expected = AsUnits(LenientUtf8(ref.scalars));
            CheckUtf16Reader<Utf8Unit>(&Utf16ToUtf8Range, units, ref, expected, mode);
            // Short targets: everything written is a prefix that ends on a character.
            const size_t capacity = expected.size() - std::min<size_t>(expected.size(), 1 + gen.Below(4));
            std::vector<Utf8Unit> target(capacity + 1, 0x77);
            const Utf16Unit* s = units.data();
            Utf8Unit* t = target.data();
            const R r = Utf16ToUtf8Range(s, units.data() + units.size(), t, target.data() + capacity, mode);
            ASSERT_EQ(std::count(t, target.data() + capacity + 1, Utf8Unit(0x77)),
                      target.data() + capacity + 1 - t);
            const std::basic_string<Utf8Unit> written(target.data(), t);
            ASSERT_EQ(written, expected.substr(0, written.size()));
            if (r == R::TargetExhausted) {
                ASSERT_GT(written.size() + 4, capacity);
                // The source cursor matches the bytes written.
                const ReferenceReading prefix =
                    ReadUtf16Reference(units.substr(0, static_cast<size_t>(s - units.data())), lenient);
                ASSERT_EQ(prefix.result, R::Ok);
                ASSERT_EQ(AsUnits(LenientUtf8(prefix.scalars)), written);
            } else {
                ASSERT_EQ(r, ref.result);
                ASSERT_EQ(static_cast<size_t>(s - units.data()), ref.stop);
            }
        }
    }
}

TEST(UtfProperties, Utf8DecoderBlocksEndWhereTheCharacterRulesDo) {
    // Long runs of ASCII with two-byte sequences (the decoder's block path), or of three-byte
    // sequences (its character stretches), ending in every position of a block and followed by
    // each way a sequence can go wrong or by the end of the source.
    TextGenerator gen(8);
    const std::string endings[] = {
        "",         "\x80",         "\xC0\xAF",     "\xC1\xBF",         "\xC3",     "\xC3\x41",
        "\xE4\xB8", "\xE4\xB8\xAD", "\xED\xA0\x80", "\xF0\x9F\x98\x80", "\xF0\x9F", "\xF8\x88\x80\x80\x80",
        "\xFF",     "\xC3\xA9\x80",
    };
    for (int i = 0; i < Cases; ++i) {
        SCOPED_TRACE(testing::Message() << "case " << i);
        std::string bytes;
        const uint32_t run = 16 + gen.Below(150);
        const bool cjk = gen.Chance(30);
        while (bytes.size() < run) {
            const uint32_t c = cjk              ? 0x4E00 + gen.Below(0x5000)
                               : gen.Chance(70) ? 0x20 + gen.Below(0x5F)
                                                : 0x80 + gen.Below(0x780);
            bytes += ReferenceUtf8({c});
        }
        bytes += endings[gen.Below(static_cast<uint32_t>(std::size(endings)))];
        // The fast paths only run with plenty of text ahead, so most endings get a long tail.
        const uint32_t tail = gen.Chance(70) ? 80 + gen.Below(60) : gen.Below(20);
        for (uint32_t k = 0; k < tail; ++k) {
            bytes += ReferenceUtf8({gen.Chance(80) ? 0x20 + gen.Below(0x5F) : 0xE9});
        }
        const ReferenceReading ref = ReadUtf8Reference(bytes);
        const Utf16String expected16 = ReferenceUtf16(ref.scalars);
        const Utf32String expected32 = ReferenceUtf32(ref.scalars);
        for (size_t shortBy : {size_t{0}, size_t{1} + gen.Below(4)}) {
            const ConversionMode mode = gen.Chance(50) ? ConversionMode::Strict : ConversionMode::Lenient;
            CheckDecoder<Utf16Unit>(&Utf8ToUtf16Range, bytes, ref, expected16,
                                    expected16.size() - std::min(expected16.size(), shortBy), mode);
            CheckDecoder<Utf32Unit>(&Utf8ToUtf32Range, bytes, ref, expected32,
                                    expected32.size() - std::min(expected32.size(), shortBy), mode);
        }
    }
}

// Long random text of each script, as the vector stretches see it, damaged once at a random place
// or cut short, with targets that fit or fall a few units short.
TEST(UtfProperties, LongTextOfEachScriptConvertsLikeTheReference) {
    TextGenerator gen(9);
    static const std::string_view damages[] = {"\x80",         "\xC0\xAF",         "\xE0\x9F\xBF",
                                               "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xFE",
                                               "\xC3",         "\xE2\x82",         "\xF0\x9F\x98"};
    for (int i = 0; i < Cases / 2; ++i) {
        SCOPED_TRACE(testing::Message() << "case " << i);
        const auto script = static_cast<TextGenerator::Script>(gen.Below(6));
        const std::vector<uint32_t> scalars = gen.ScriptScalars(script, 64 + gen.Below(600));
        std::string bytes = ReferenceUtf8(scalars);
        Utf16String units = ReferenceUtf16(scalars);
        Utf32String values = ReferenceUtf32(scalars);
        if (gen.Chance(60)) {
            const size_t at = gen.Below(static_cast<uint32_t>(bytes.size()));
            if (gen.Chance(70)) {
                bytes.insert(at, damages[gen.Below(std::size(damages))]);
            } else {
                bytes.resize(at);
            }
            units.insert(units.begin() + gen.Below(static_cast<uint32_t>(units.size())),
                         static_cast<Utf16Unit>(0xD800 + gen.Below(0x800)));
            values[gen.Below(static_cast<uint32_t>(values.size()))] = 0xD800 + gen.Below(0x800);
        }
        const ReferenceReading ref = ReadUtf8Reference(bytes);
        const Utf16String expected16 = ReferenceUtf16(ref.scalars);
        const Utf32String expected32 = ReferenceUtf32(ref.scalars);
        const size_t shortBy = gen.Chance(50) ? 0 : 1 + gen.Below(4);
        CheckDecoder<Utf16Unit>(&Utf8ToUtf16Range, bytes, ref, expected16,
                                expected16.size() - std::min(expected16.size(), shortBy),
                                ConversionMode::Strict);
        CheckDecoder<Utf32Unit>(&Utf8ToUtf32Range, bytes, ref, expected32,
                                expected32.size() - std::min(expected32.size(), shortBy),
                                ConversionMode::Strict);
        const auto* begin = reinterpret_cast<const Utf8Unit*>(bytes.data());
        const Utf8Unit* cursor = begin;
        ASSERT_EQ(IsLegalUtf8Range(cursor, begin + bytes.size()), ref.result == R::Ok);
        ASSERT_EQ(static_cast<size_t>(cursor - begin), ref.stop);
        if (bytes.find('\0') == std::string::npos) {
            ASSERT_EQ(CountUtf8CodePoints(bytes.c_str()), ref.result == R::Ok ? ref.scalars.size() : 0u);
        }
        for (bool lenient : {false, true}) {
            const ConversionMode mode = lenient ? ConversionMode::Lenient : ConversionMode::Strict;
            const ReferenceReading ref16 = ReadUtf16Reference(units, lenient);
            CheckUtf16Reader<Utf8Unit>(&Utf16ToUtf8Range, units, ref16, AsUnits(LenientUtf8(ref16.scalars)),
                                       mode);
            // UTF-32: strict stops at the surrogate value, lenient writes it as three bytes.
            std::vector<uint32_t> read32;
            size_t stop = 0;
            while (stop < values.size() && (lenient || values[stop] < 0xD800 || values[stop] >= 0xE000)) {
                read32.push_back(values[stop++]);
            }
            ReferenceReading ref32;
            ref32.scalars = read32;
            ref32.stop = stop;
            ref32.result = stop < values.size() ? R::SourceIllegal : R::Ok;
            const std::basic_string<Utf8Unit> expected8 = AsUnits(LenientUtf8(read32));
            std::vector<Utf8Unit> target(expected8.size() + 1, 0x77);
            const Utf32Unit* s = values.data();
            Utf8Unit* t = target.data();
            ASSERT_EQ(
                Utf32ToUtf8Range(s, values.data() + values.size(), t, target.data() + expected8.size(), mode),
                ref32.result);
            ASSERT_EQ(static_cast<size_t>(s - values.data()), ref32.stop);
            ASSERT_EQ(std::basic_string<Utf8Unit>(target.data(), t), expected8);
            ASSERT_EQ(target.back(), 0x77);
        }
    }
}

TEST(UtfProperties, Utf32ConversionsDeliverAllOrNothing) {
    TextGenerator gen(5);
    for (int i = 0; i < Cases * 2; ++i) {
        const Utf32String values = gen.DamagedUtf32(60);
        bool valid = true;
        for (char32_t c : values) {
            valid = valid && c < 0x110000 && !(c >= 0xD800 && c < 0xE000);
        }
        const std::vector<uint32_t> scalars(values.begin(), values.end());
        std::string out8 = "old";
        Utf16String out16 = U16(u"old");
        ASSERT_EQ(Utf32ToUtf8(values, out8), valid);
        ASSERT_EQ(out8, valid ? ReferenceUtf8(scalars) : std::string());
        ASSERT_EQ(Utf32ToUtf16(values, out16), valid);
        ASSERT_EQ(out16, valid ? ReferenceUtf16(scalars) : Utf16String());

        // Lenient UTF-16 output: every value lands, with U+FFFD for what UTF-16 cannot carry.
        std::vector<uint32_t> replaced;
        for (char32_t c : values) {
            replaced.push_back(c >= 0x110000 || (c >= 0xD800 && c < 0xE000) ? 0xFFFD : c);
        }
        const Utf16String expected = ReferenceUtf16(replaced);
        std::vector<Utf16Unit> target(expected.size() + 1, Utf16Unit(0x77));
        const Utf32Unit* s = values.data();
        Utf16Unit* t = target.data();
        ASSERT_EQ(Utf32ToUtf16Range(s, values.data() + values.size(), t, target.data() + expected.size(),
                                    ConversionMode::Lenient),
                  R::Ok);
        ASSERT_EQ(Utf16String(target.data(), t), expected);
        ASSERT_EQ(target.back(), Utf16Unit(0x77));
    }
}

TEST(UtfProperties, Utf16TextToUtf8MatchesTheStringConversionAfterTheMark) {
    TextGenerator gen(6);
    for (int i = 0; i < Cases; ++i) {
        Utf16String units = gen.DamagedUtf16(40);
        std::string plain;
        const bool ok = Utf16ToUtf8(units, plain);
        std::string viaMark = "old";
        ASSERT_EQ(Utf16TextToUtf8(Units16({0xFEFF}) + units, viaMark), ok);
        ASSERT_EQ(viaMark, plain);
        Utf16String swapped = Units16({0xFFFE});
        for (Utf16Unit u : units) {
            const auto v = static_cast<uint16_t>(u);
            swapped.push_back(static_cast<Utf16Unit>(static_cast<uint16_t>((v >> 8) | (v << 8))));
        }
        std::string viaSwapped = "old";
        ASSERT_EQ(Utf16TextToUtf8(swapped, viaSwapped), ok);
        ASSERT_EQ(viaSwapped, plain);
    }
}

}  // namespace
}  // namespace Quorvin
