// Test support for the text tests: literals in the platform's UTF-16 type, reference encoders and
// a reference UTF-8 reader written from the Unicode well-formed byte table, and random text (also
// the words of each script that the text benchmark converts).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "core/text/Utf.h"

namespace Quorvin::TextTest {

/// A char16_t literal as the platform's UTF-16 string.
inline Utf16String U16(std::u16string_view text) { return Utf16String(text.begin(), text.end()); }

/// UTF-16 units as a string.
inline Utf16String Units16(std::initializer_list<uint16_t> units) {
    Utf16String s;
    for (uint16_t u : units) {
        s.push_back(static_cast<Utf16Unit>(u));
    }
    return s;
}

/// Bytes as a string.
inline std::string Bytes(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes) {
        s.push_back(static_cast<char>(b));
    }
    return s;
}

/// The UTF-8 of scalar values (no surrogates, none above U+10FFFF).
inline std::string ReferenceUtf8(const std::vector<uint32_t>& scalars) {
    std::string out;
    for (uint32_t c : scalars) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

/// The UTF-16 of code points below U+110000 (surrogate values pass through as single units).
inline Utf16String ReferenceUtf16(const std::vector<uint32_t>& codePoints) {
    Utf16String out;
    for (uint32_t c : codePoints) {
        if (c < 0x10000) {
            out.push_back(static_cast<Utf16Unit>(c));
        } else {
            out.push_back(static_cast<Utf16Unit>(0xD800 | ((c - 0x10000) >> 10)));
            out.push_back(static_cast<Utf16Unit>(0xDC00 | ((c - 0x10000) & 0x3FF)));
        }
    }
    return out;
}

inline Utf32String ReferenceUtf32(const std::vector<uint32_t>& codePoints) {
    return Utf32String(codePoints.begin(), codePoints.end());
}

/// What a strict reader makes of some input: the scalars of its well-formed prefix and, when it is
/// not well-formed throughout, where and why reading stops.
struct ReferenceReading {
    std::vector<uint32_t> scalars;
    ConversionResult result = ConversionResult::Ok;
    size_t stop = 0;  ///< offset (in input units) of the offending character, or the input size
};

/// Reads UTF-8 by the Unicode table of well-formed byte sequences. A first byte announces a length
/// (C0..DF two, E0..EF three, F0..F7 four, F8..FB five, FC..FF six, anything else one); a sequence
/// whose announced length passes the end is SourceExhausted, a complete but ill-formed one
/// SourceIllegal.
inline ReferenceReading ReadUtf8Reference(std::string_view text) {
    ReferenceReading r;
    const auto at = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
    size_t i = 0;
    while (i < text.size()) {
        const uint8_t b = at(i);
        const size_t announced = b >= 0xFC   ? 6
                                 : b >= 0xF8 ? 5
                                 : b >= 0xF0 ? 4
                                 : b >= 0xE0 ? 3
                                 : b >= 0xC0 ? 2
                                             : 1;
        if (announced > text.size() - i) {
            r.result = ConversionResult::SourceExhausted;
            r.stop = i;
            return r;
        }
        // Allowed ranges of the second byte by first byte; later bytes are always 80..BF.
        uint8_t low = 0x80, high = 0xBF;
        size_t length = 0;
        if (b < 0x80) {
            length = 1;
        } else if (b >= 0xC2 && b <= 0xDF) {
            length = 2;
        } else if (b >= 0xE0 && b <= 0xEF) {
            length = 3;
            low = b == 0xE0 ? 0xA0 : 0x80;
            high = b == 0xED ? 0x9F : 0xBF;
        } else if (b >= 0xF0 && b <= 0xF4) {
            length = 4;
            low = b == 0xF0 ? 0x90 : 0x80;
            high = b == 0xF4 ? 0x8F : 0xBF;
        }
        bool wellFormed = length != 0;
        for (size_t k = 1; wellFormed && k < length; ++k) {
            const uint8_t lo = k == 1 ? low : 0x80, hi = k == 1 ? high : 0xBF;
            wellFormed = at(i + k) >= lo && at(i + k) <= hi;
        }
        if (!wellFormed) {
            r.result = ConversionResult::SourceIllegal;
            r.stop = i;
            return r;
        }
        uint32_t c = length == 1 ? b : length == 2 ? b & 0x1F : length == 3 ? b & 0x0F : b & 0x07;
        for (size_t k = 1; k < length; ++k) {
            c = (c << 6) | (at(i + k) & 0x3F);
        }
        r.scalars.push_back(c);
        i += length;
    }
    r.stop = i;
    return r;
}

/// Reads UTF-16 strictly (unpaired surrogates are SourceIllegal, a final high surrogate
/// SourceExhausted) or leniently (unpaired surrogates are their own values).
inline ReferenceReading ReadUtf16Reference(const Utf16String& text, bool lenient) {
    ReferenceReading r;
    size_t i = 0;
    while (i < text.size()) {
        const uint32_t u = static_cast<uint16_t>(text[i]);
        const bool high = u >= 0xD800 && u <= 0xDBFF;
        const bool low = u >= 0xDC00 && u <= 0xDFFF;
        if (high && i + 1 == text.size()) {
            r.result = ConversionResult::SourceExhausted;
            r.stop = i;
            return r;
        }
        const uint32_t next = high ? static_cast<uint16_t>(text[i + 1]) : 0;
        if (high && next >= 0xDC00 && next <= 0xDFFF) {
            r.scalars.push_back(0x10000 + ((u & 0x3FF) << 10) + (next & 0x3FF));
            i += 2;
            continue;
        }
        if ((high || low) && !lenient) {
            r.result = ConversionResult::SourceIllegal;
            r.stop = i;
            return r;
        }
        r.scalars.push_back(u);
        ++i;
    }
    r.stop = i;
    return r;
}

/// Random text for property tests. Every generator draws from the given engine only, so a seed
/// reproduces a case.
class TextGenerator {
public:
    explicit TextGenerator(uint32_t seed) : engine_(seed) {}

    uint32_t Below(uint32_t bound) { return std::uniform_int_distribution<uint32_t>(0, bound - 1)(engine_); }
    bool Chance(uint32_t percent) { return Below(100) < percent; }

    /// A scalar value, from each encoded length about equally often, or mostly ASCII.
    uint32_t Scalar(bool mostlyAscii) {
        if (mostlyAscii && Chance(90)) {
            return Below(0x80);
        }
        switch (Below(5)) {
        case 0: return Below(0x80);
        case 1: return 0x80 + Below(0x800 - 0x80);
        case 2: {
            const uint32_t c = 0x800 + Below(0x10000 - 0x800 - 0x800);  // skip the surrogate block
            return c < 0xD800 ? c : c + 0x800;
        }
        case 3: return 0x10000 + Below(0x110000 - 0x10000);
        default: {
            // Values at the edges of each length and around the surrogates.
            static constexpr uint32_t edges[] = {0x0,    0x7F,   0x80,   0x7FF,  0x800,   0xD7FF,
                                                 0xE000, 0xFFFD, 0xFFFE, 0xFFFF, 0x10000, 0x10FFFF};
            return edges[Below(std::size(edges))];
        }
        }
    }

    std::vector<uint32_t> Scalars(size_t maxLength) {
        const bool mostlyAscii = Chance(50);
        std::vector<uint32_t> v(Below(static_cast<uint32_t>(maxLength) + 1));
        for (uint32_t& c : v) {
            c = Scalar(mostlyAscii);
        }
        return v;
    }

    /// Valid UTF-8 damaged in a few places: truncated, cut sequences, surrogates, overlongs, values
    /// above U+10FFFF, stray and random bytes, or left intact.
    std::string DamagedUtf8(size_t maxLength) {
        std::string s = ReferenceUtf8(Scalars(maxLength));
        static const std::string_view damages[] = {"\x80",
                                                   "\xBF",
                                                   "\xC0\x80",
                                                   "\xC1\xBF",
                                                   "\xE0\x80\x80",
                                                   "\xE0\x9F\xBF",
                                                   "\xED\xA0\x80",
                                                   "\xED\xBF\xBF",
                                                   "\xF0\x8F\xBF\xBF",
                                                   "\xF4\x90\x80\x80",
                                                   "\xF5\x80\x80\x80",
                                                   "\xF8\x88\x80\x80\x80",
                                                   "\xFC\x84\x80\x80\x80\x80",
                                                   "\xFE",
                                                   "\xFF",
                                                   "\xC3",
                                                   "\xE2\x82",
                                                   "\xF0\x9F\x98",
                                                   "\xC3\x28"};
        const uint32_t count = Chance(30) ? 0 : 1 + Below(3);
        for (uint32_t k = 0; k < count; ++k) {
            const size_t at = Below(static_cast<uint32_t>(s.size()) + 1);
            switch (Below(4)) {
            case 0: s.insert(at, damages[Below(std::size(damages))]); break;
            case 1: s.insert(at, 1, static_cast<char>(Below(256))); break;
            case 2:
                if (!s.empty()) s[at % s.size()] = static_cast<char>(Below(256));
                break;
            default: s.resize(at); break;
            }
        }
        return s;
    }

    /// UTF-16 units, mostly well-formed, with unpaired and final surrogates mixed in.
    Utf16String DamagedUtf16(size_t maxLength) {
        Utf16String s = ReferenceUtf16(Scalars(maxLength));
        const uint32_t count = Chance(30) ? 0 : 1 + Below(3);
        for (uint32_t k = 0; k < count; ++k) {
            const size_t at = Below(static_cast<uint32_t>(s.size()) + 1);
            const uint32_t unit = Chance(50) ? 0xD800 + Below(0x800) : Below(0x10000);
            if (Chance(50) || s.empty()) {
                s.insert(s.begin() + static_cast<ptrdiff_t>(at), static_cast<Utf16Unit>(unit));
            } else {
                s[at % s.size()] = static_cast<Utf16Unit>(unit);
            }
        }
        return s;
    }

    /// UTF-32 values, mostly scalars, with surrogates and values above U+10FFFF mixed in.
    Utf32String DamagedUtf32(size_t maxLength) {
        Utf32String s = ReferenceUtf32(Scalars(maxLength));
        for (char32_t& c : s) {
            if (Chance(3)) {
                c = Chance(50) ? 0xD800 + Below(0x800) : 0x110000 + Below(0x1000000);
            }
        }
        return s;
    }

    /// Text of one script made of random words, so that no short pattern repeats: at least
    /// `minimumBytes` of UTF-8. Ascii: English-like words. Latin: words with accented letters.
    /// Cyrillic: two-byte words. Cjk: Han, kana and Hangul words with CJK or ASCII punctuation.
    /// Emoji: groups of four-byte emoji, some joined or with a variation selector. Mixed: a
    /// word of any of these at a time.
    enum class Script { Ascii, Latin, Cyrillic, Cjk, Emoji, Mixed };
    std::vector<uint32_t> ScriptScalars(Script script, size_t minimumBytes) {
        std::vector<uint32_t> scalars;
        size_t bytes = 0;
        const auto add = [&](uint32_t c) {
            scalars.push_back(c);
            bytes += c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
        };
        while (bytes < minimumBytes) {
            const Script word = script == Script::Mixed ? static_cast<Script>(Below(5)) : script;
            const uint32_t letters = 1 + Below(word == Script::Cjk || word == Script::Emoji ? 4 : 10);
            for (uint32_t k = 0; k < letters; ++k) {
                switch (word) {
                case Script::Ascii: add('a' + Below(26)); break;
                case Script::Latin: {
                    static constexpr uint32_t accented[] = {0xE0,  0xE1,  0xE2,  0xE4,  0xE7,  0xE8,  0xE9,
                                                            0xEA,  0xEB,  0xEE,  0xEF,  0xF1,  0xF3,  0xF4,
                                                            0xF6,  0xF9,  0xFA,  0xFC,  0xDF,  0xE5,  0xF8,
                                                            0x107, 0x10D, 0x119, 0x142, 0x144, 0x15B, 0x17C};
                    add(Chance(12) ? accented[Below(std::size(accented))] : 'a' + Below(26));
                    break;
                }
                case Script::Cyrillic: add(0x430 + Below(0x20)); break;
                case Script::Cjk: {
                    const uint32_t kind = Below(10);
                    add(kind < 6   ? 0x4E00 + Below(0x5000)
                        : kind < 8 ? 0x3041 + Below(0x56)
                                   : 0xAC00 + Below(0x2BA4));
                    break;
                }
                default:
                    add(Chance(50)   ? 0x1F600 + Below(0x50)
                        : Chance(50) ? 0x1F300 + Below(0x300)
                                     : 0x1F900 + Below(0x100));
                    if (Chance(8)) {
                        add(Chance(50) ? 0x200D : 0xFE0F);
                    }
                    break;
                }
            }
            // Word ends: mostly a space, sometimes punctuation, a digit or a new line.
            const uint32_t end = Below(20);
            if (word == Script::Cjk && end < 8) {
                add(end < 4 ? 0x3001 : 0x3002);
            } else {
                add(end == 0 ? '\n' : end == 1 ? ',' : end == 2 ? '0' + Below(10) : ' ');
            }
        }
        return scalars;
    }

private:
    std::mt19937 engine_;
};

}  // namespace Quorvin::TextTest
