// Fuzz target for the text readers: the range codecs, string conversions, Utf16TextToUtf8,
// validation and counting, the loose UTF-8 reader, the code-page conversions (the portable ones, which
// are also the public ones here), LoadEscapes and NextVisibleChar. Besides the
// sanitizers' own checks it aborts when a result breaks the documented contract, or when any UTF
// kernel the machine has gives other results than the portable one. QUORVIN_TEXT_KERNEL chooses the
// kernel behind the public routines; one the machine lacks ends the run with code 77 (skipped).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/text/CodePage.h"
#include "core/text/InlineMarkup.h"
#include "core/text/LineBreak.h"
#include "core/text/Utf.h"
#include "core/text/internal/LooseUtf8.h"
#include "core/text/internal/PortableCodePages.h"
#include "core/text/internal/UtfKernel.h"

namespace Quorvin {
namespace {

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// Input bytes as units of another width, in an exactly sized heap block.
template <class Unit>
std::vector<Unit> AsUnits(const uint8_t* data, size_t size) {
    std::vector<Unit> units(size / sizeof(Unit));
    if (!units.empty()) {
        std::memcpy(units.data(), data, units.size() * sizeof(Unit));
    }
    return units;
}

// Runs a codec into an exactly sized target, checks the cursors stay within their ranges, and
// returns the units written.
template <class In, class Out>
std::vector<Out> RunCodec(ConversionResult (*codec)(const In*&, const In*, Out*&, Out*,
                                                    ConversionMode) noexcept,
                          const std::vector<In>& input, size_t capacity, ConversionMode mode,
                          ConversionResult& result) {
    std::vector<Out> target(capacity);
    const In* s = input.data();
    Out* t = target.data();
    result = codec(s, input.data() + input.size(), t, target.data() + target.size(), mode);
    Require(s >= input.data() && s <= input.data() + input.size());
    Require(t >= target.data() && t <= target.data() + target.size());
    Require(result == ConversionResult::Ok || s < input.data() + input.size() ||
            result == ConversionResult::SourceIllegal);
    target.resize(static_cast<size_t>(t - target.data()));
    return target;
}

// The kernels compared with the portable one: every other one this machine has.
std::vector<const TextPrivate::UtfKernel*>& OtherKernels() {
    static std::vector<const TextPrivate::UtfKernel*> kernels;
    return kernels;
}

// Runs `routine` of a kernel over a copy of `input` into `capacity` units (and guard units after
// them); answers the result, the units read and the whole target.
template <class In, class Out, class Routine>
std::vector<uint64_t> KernelRun(Routine routine, const std::vector<In>& input, size_t capacity) {
    const std::vector<In> source(input);
    std::vector<Out> target(capacity + 16, Out(0x5A));
    const In* s = source.data();
    Out* t = target.data();
    const ConversionResult result = routine(s, source.data() + source.size(), t, target.data() + capacity);
    std::vector<uint64_t> outcome{static_cast<uint64_t>(result), static_cast<uint64_t>(s - source.data()),
                                  static_cast<uint64_t>(t - target.data())};
    outcome.insert(outcome.end(), target.begin(), target.end());
    return outcome;
}

// Every kernel's routine against the portable one's on the same input and room.
template <class In, class Out, class Pick>
void CompareKernels(Pick pick, const std::vector<In>& input, size_t capacity) {
    const auto& portable = *TextPrivate::FindUtfKernel(KernelId::Portable);
    const auto expected = KernelRun<In, Out>(pick(portable), input, capacity);
    for (const TextPrivate::UtfKernel* kernel : OtherKernels()) {
        Require(KernelRun<In, Out>(pick(*kernel), input, capacity) == expected);
    }
}

void CompareScans(const std::vector<Utf8Unit>& bytes) {
    const auto& portable = *TextPrivate::FindUtfKernel(KernelId::Portable);
    const Utf8Unit* end = bytes.data() + bytes.size();
    const Utf8Unit* expectedCursor = bytes.data();
    uint64_t expectedCount = 0;
    const bool legal = portable.countUtf8(expectedCursor, end, expectedCount);
    for (const TextPrivate::UtfKernel* kernel : OtherKernels()) {
        const Utf8Unit* cursor = bytes.data();
        uint64_t count = 0;
        Require(kernel->countUtf8(cursor, end, count) == legal && cursor == expectedCursor &&
                count == expectedCount);
        cursor = bytes.data();
        Require(kernel->validateUtf8(cursor, end) == legal && cursor == expectedCursor);
    }
}

// Bits 0 and 2 of the knob pick the mode.
ConversionMode ModeOf(uint8_t knob) {
    if ((knob & 1) == 0) return ConversionMode::Strict;
    return (knob & 4) != 0 ? ConversionMode::Replacing : ConversionMode::Lenient;
}

void FuzzUtf8(const uint8_t* data, size_t size, uint8_t knob) {
    const std::vector<Utf8Unit> bytes(data, data + size);
    const std::string text(reinterpret_cast<const char*>(data), size);
    const ConversionMode mode = ModeOf(knob);
    const size_t capacity = (knob & 2) != 0 ? size : size * knob / 256;
    ConversionResult r16 = ConversionResult::Ok;
    ConversionResult r32 = ConversionResult::Ok;
    const std::vector<Utf16Unit> part16 = RunCodec(&Utf8ToUtf16Range, bytes, capacity, mode, r16);
    const std::vector<Utf32Unit> part32 = RunCodec(&Utf8ToUtf32Range, bytes, capacity, mode, r32);
    CompareKernels<Utf8Unit, Utf16Unit>([](const auto& k) { return k.utf8ToUtf16; }, bytes, capacity);
    CompareKernels<Utf8Unit, Utf32Unit>([](const auto& k) { return k.utf8ToUtf32; }, bytes, capacity);
    CompareScans(bytes);

    Utf16String whole16;
    Utf32String whole32;
    const bool ok16 = Utf8ToUtf16(text, whole16);
    Require(Utf8ToUtf32(text, whole32) == ok16);
    Require(ok16 || (whole16.empty() && whole32.empty()));
    // Whatever a short target received is the start of the complete conversion.
    if (ok16) {
        Require(whole16.compare(0, part16.size(), Utf16String(part16.begin(), part16.end())) == 0);
        Require(whole32.compare(0, part32.size(), Utf32String(part32.begin(), part32.end())) == 0);
        std::string back;
        Require(Utf16ToUtf8(whole16, back) && back == text);
        Require(Utf32ToUtf8(whole32, back) && back == text);
    }
    const Utf8Unit* cursor = bytes.data();
    Require(IsLegalUtf8Range(cursor, bytes.data() + bytes.size()) == ok16);
    Require(cursor >= bytes.data() && cursor <= bytes.data() + bytes.size());
    const std::string terminated = text.substr(0, text.find('\0'));
    const uint32_t count = CountUtf8CodePoints(terminated.c_str());
    Require(count == 0 || count <= terminated.size());

    std::vector<unsigned char> buffer(size * 4);
    for (int width : {1, 2, 4}) {
        unsigned char* out = buffer.data();
        const char* error = nullptr;
        const bool ok = Utf8ToWideBuffer(width, text, out, error);
        Require(ok == ok16);
        Require(ok || (error >= text.data() && error < text.data() + text.size()));
    }

    Utf16String loose;
    TextPrivate::ReadLooseUtf8(text, loose);
    Require(loose.size() <= size);

    // Code pages: 1252 gives every byte back; UTF-8 gives at most a unit a byte, well-formed UTF-16
    // whatever the input (the strict result for well-formed input) and the same text in both forms.
    Utf16String paged16;
    Utf32String paged32;
    std::string back;
    Require(TextPrivate::DecodeCodePage(text, 1252, paged16) && paged16.size() == size);
    Require(TextPrivate::EncodeCodePage(paged16, 1252, back) && back == text);
    Require(TextPrivate::DecodeCodePage(text, 65001, paged16) && paged16.size() <= size);
    Require(TextPrivate::DecodeCodePage(text, 65001, paged32) && (!ok16 || paged16 == whole16));
    Require(Utf16ToUtf32(paged16, whole32) && whole32 == paged32);
    Require(CodePageToWide(text, 65001) == std::wstring(paged32.begin(), paged32.end()));
    Require(Utf8ToCodePage(text, 1252).size() <= size);
}

template <class Unit>
void FuzzWide(const uint8_t* data, size_t size, uint8_t knob) {
    const std::vector<Unit> units = AsUnits<Unit>(data, size);
    const std::basic_string<Unit> text(units.begin(), units.end());
    const ConversionMode mode = ModeOf(knob);
    const size_t capacity = units.size() * 4 * knob / 256;
    ConversionResult result = ConversionResult::Ok;
    std::string utf8;
    if constexpr (sizeof(Unit) == 2) {
        RunCodec(&Utf16ToUtf8Range, units, capacity, mode, result);
        CompareKernels<Unit, Utf8Unit>(
            [mode](const auto& k) {
                return [&k, mode](const Unit*& s, const Unit* e, Utf8Unit*& t, Utf8Unit* te) {
                    return k.utf16ToUtf8(s, e, t, te, mode);
                };
            },
            units, capacity);
        RunCodec(&Utf16ToUtf32Range, units, capacity / 4, mode, result);
        Utf32String utf32;
        const bool ok = Utf16ToUtf8(text, utf8);
        Require(Utf16ToUtf32(text, utf32) == ok);
        if (ok) {
            Utf16String back;
            Require(Utf8ToUtf16(utf8, back) && back == text);
            Require(Utf32ToUtf16(utf32, back) && back == text);
        }
        // Whatever the units, the replacing conversion gives legal UTF-8, and the strict result
        // wherever that succeeds.
        const std::string replaced = Utf16ToUtf8Replacing(text);
        const Utf8Unit* legal = reinterpret_cast<const Utf8Unit*>(replaced.data());
        Require(IsLegalUtf8Range(legal, legal + replaced.size()));
        Require(!ok || replaced == utf8);
        std::string viaMark = "unchanged";
        const bool markOk = Utf16TextToUtf8(text, viaMark);
        Require(markOk || viaMark.empty());
        // Code pages: a byte a unit in 1252; in UTF-8 legal bytes that read back as the units
        // themselves when they are well-formed.
        std::string paged;
        Utf16String back;
        Require(TextPrivate::EncodeCodePage(text, 1252, paged) && paged.size() == text.size());
        Require(TextPrivate::EncodeCodePage(text, 65001, paged) && paged.size() <= 3 * text.size());
        legal = reinterpret_cast<const Utf8Unit*>(paged.data());
        Require(IsLegalUtf8Range(legal, legal + paged.size()));
        Require(!ok || (TextPrivate::DecodeCodePage(paged, 65001, back) && back == text));
    } else {
        RunCodec(&Utf32ToUtf8Range, units, capacity, mode, result);
        CompareKernels<Unit, Utf8Unit>(
            [mode](const auto& k) {
                return [&k, mode](const Unit*& s, const Unit* e, Utf8Unit*& t, Utf8Unit* te) {
                    return k.utf32ToUtf8(s, e, t, te, mode);
                };
            },
            units, capacity);
        RunCodec(&Utf32ToUtf16Range, units, capacity / 2, mode, result);
        Utf16String utf16;
        const bool ok = Utf32ToUtf8(text, utf8);
        Require(Utf32ToUtf16(text, utf16) == ok);
        if (ok) {
            Utf32String back;
            Require(Utf8ToUtf32(utf8, back) && back == text);
            Require(Utf16ToUtf32(utf16, back) && back == text);
        }
        // Wide text of any elements through the public conversions: legal UTF-8, the strict result
        // and back for well-formed text, one or two bytes an element in 1252.
        const std::wstring wide(units.begin(), units.end());
        const std::string paged = WideToCodePage(wide, 65001);
        const auto* legal = reinterpret_cast<const Utf8Unit*>(paged.data());
        Require(IsLegalUtf8Range(legal, legal + paged.size()));
        Require(!ok || (paged == utf8 && CodePageToWide(paged, 0) == wide));
        const std::string in1252 = WideToCodePage(wide, 1252);
        Require(in1252.size() >= wide.size() && in1252.size() <= 2 * wide.size());
        unsigned char encoded[4];
        unsigned char* cursor = encoded;
        if (!units.empty()) {
            CodePointToUtf8(units[0], cursor);
            Require(cursor >= encoded && cursor <= encoded + 4);
        }
    }
}

void FuzzMarkup(const uint8_t* data, size_t size, uint8_t knob) {
    if (!HasEscapeTable()) {
        InitLineBreaking();
    }
    const std::string text(reinterpret_cast<const char*>(data), size);
    LoadEscapes(text);
    if (size >= 2) {
        FindEscape(std::u32string{static_cast<char32_t>('#'), static_cast<char32_t>(data[1])});
    }
    // Map bytes onto the characters colour codes are made of, plus a few others.
    static constexpr char32_t alphabet[] = {'#', 'E', '0', '9', 'a', 'f', 'g', 'F', ' ', 0x4E2D, 0xA0, 7};
    std::u32string u32;
    for (size_t i = 0; i < size; ++i) {
        u32.push_back(alphabet[data[i] % std::size(alphabet)]);
    }
    const int32_t index = static_cast<int32_t>(knob) - 128;
    const uint32_t next = NextVisibleChar(u32, index, (knob & 1) != 0);
    Require(next == 0 || (index + 1 >= 0 && static_cast<size_t>(index + 1) < u32.size()));
    if (u32.size() >= 2) {
        CanBreakBetween(u32[0], u32[1], true);
    }
}

}  // namespace
}  // namespace Quorvin

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    using namespace Quorvin;
    using namespace Quorvin::TextPrivate;
    const KernelRequest& request = ActiveUtfKernelRequest();
    if (!request.problem.empty()) {
        std::printf("%s: skipped\n", request.problem.c_str());
        std::exit(77);
    }
    std::printf("UTF kernel: %s; compared with the portable kernel:", ActiveUtfKernel().name);
    for (KernelId id : {KernelId::Sse2, KernelId::Avx2}) {
        std::string why;
        if (const UtfKernel* kernel = FindUtfKernel(id, &why)) {
            Quorvin::OtherKernels().push_back(kernel);
            std::printf(" %s", kernel->name);
        } else {
            std::printf(" (%s skipped: %s)", KernelName(id), why.c_str());
        }
    }
    std::printf("\n");
    std::fflush(stdout);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    const uint8_t selector = data[0];
    const uint8_t knob = data[1];
    data += 2;
    size -= 2;
    switch (selector % 4) {
    case 0: Quorvin::FuzzUtf8(data, size, knob); break;
    case 1: Quorvin::FuzzWide<Quorvin::Utf16Unit>(data, size, knob); break;
    case 2: Quorvin::FuzzWide<Quorvin::Utf32Unit>(data, size, knob); break;
    default: Quorvin::FuzzMarkup(data, size, knob); break;
    }
    return 0;
}
