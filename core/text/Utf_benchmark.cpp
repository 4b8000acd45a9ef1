// Speed of the UTF conversions, validation and counting on text of four scripts made of random words
// (so that no branch predictor learns it), at 64 KiB and 16 MiB, beside the system's ICU in the same
// run. Throughput is bytes of input per second.
//
// Names are Routine/Script/Size/Implementation, e.g. Utf8ToUtf16/Latin/64KiB/Quorvin beside
// Utf8ToUtf16/Latin/64KiB/Icu; the Quorvin rows carry the kernel that ran as their label, and the
// context names it too (quorvin_text_kernel). QUORVIN_TEXT_KERNEL=portable|sse2|avx2 forces one.
//
//   build/native/bin/quorvin_text_benchmark --benchmark_filter=/64KiB/ --benchmark_repetitions=5
//       --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>
#if defined(__x86_64__)
#include <immintrin.h>
#endif
#include <unicode/ustring.h>
#include <unicode/utf8.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "core/text/Utf.h"
#include "core/text/internal/UtfKernel.h"
#include "tests/support/InTurnTiming.h"
#include "tests/support/TextTestSupport.h"

namespace Quorvin {
namespace {

using Script = TextTest::TextGenerator::Script;

struct Kind {
    const char* name;
    Script script;
};
constexpr Kind Kinds[] = {
    {"Ascii", Script::Ascii}, {"Latin", Script::Latin}, {"Cjk", Script::Cjk}, {"Emoji", Script::Emoji}};

struct Size {
    const char* name;
    size_t bytes;
};
constexpr Size Sizes[] = {{"64KiB", 64 * 1024}, {"16MiB", 16 * 1024 * 1024}};

struct Texts {
    std::string utf8;
    Utf16String utf16;
    Utf32String utf32;
};

// The text of one script and size in all three forms, made once. The UTF-8 is cut to the size on a
// character boundary.
const Texts& Sample(const Kind& kind, const Size& size) {
    static std::map<std::pair<int, size_t>, Texts> cache;
    Texts& texts = cache[{static_cast<int>(kind.script), size.bytes}];
    if (texts.utf8.empty()) {
        TextTest::TextGenerator gen(2024 + static_cast<uint32_t>(kind.script));
        std::vector<uint32_t> scalars = gen.ScriptScalars(kind.script, size.bytes);
        size_t bytes = 0;
        size_t count = 0;
        for (; count < scalars.size(); ++count) {
            const uint32_t c = scalars[count];
            const size_t length = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
            if (bytes + length > size.bytes) {
                break;
            }
            bytes += length;
        }
        scalars.resize(count);
        texts.utf8 = TextTest::ReferenceUtf8(scalars);
        texts.utf16 = TextTest::ReferenceUtf16(scalars);
        texts.utf32 = TextTest::ReferenceUtf32(scalars);
    }
    return texts;
}

const char* ActiveKernelName() { return TextPrivate::ActiveUtfKernel().name; }

const Utf8Unit* Bytes(const std::string& s) { return reinterpret_cast<const Utf8Unit*>(s.data()); }
const UChar* IcuUnits(const Utf16String& s) { return reinterpret_cast<const UChar*>(s.data()); }
int32_t Length(size_t size) { return static_cast<int32_t>(size); }

void Finish(benchmark::State& state, size_t inputBytes, bool quorvin) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * inputBytes));
    if (quorvin) {
        state.SetLabel(ActiveKernelName());
    }
}

// --- UTF-8 to UTF-16: into a buffer of one unit per byte, and as the string conversion.

void Utf8ToUtf16Quorvin(benchmark::State& state, const Texts& text) {
    Utf16String buffer(text.utf8.size(), 0);
    for (auto _ : state) {
        const Utf8Unit* s = Bytes(text.utf8);
        Utf16Unit* t = buffer.data();
        benchmark::DoNotOptimize(
            Utf8ToUtf16Range(s, s + text.utf8.size(), t, t + buffer.size(), ConversionMode::Strict));
        benchmark::ClobberMemory();
    }
    Finish(state, text.utf8.size(), true);
}

void Utf8ToUtf16Icu(benchmark::State& state, const Texts& text) {
    std::u16string buffer(text.utf8.size(), u'\0');
    for (auto _ : state) {
        int32_t length = 0;
        UErrorCode error = U_ZERO_ERROR;
        u_strFromUTF8(buffer.data(), Length(buffer.size()), &length, text.utf8.data(),
                      Length(text.utf8.size()), &error);
        benchmark::DoNotOptimize(length);
        benchmark::ClobberMemory();
    }
    Finish(state, text.utf8.size(), false);
}

void Utf8ToUtf16StringQuorvin(benchmark::State& state, const Texts& text) {
    for (auto _ : state) {
        Utf16String out;
        benchmark::DoNotOptimize(Utf8ToUtf16(text.utf8, out));
        benchmark::DoNotOptimize(out.data());
    }
    Finish(state, text.utf8.size(), true);
}

// ICU under the same contract: a fresh string sized for the worst case, cut to fit.
void Utf8ToUtf16StringIcu(benchmark::State& state, const Texts& text) {
    for (auto _ : state) {
        std::u16string out(text.utf8.size(), u'\0');
        int32_t length = 0;
        UErrorCode error = U_ZERO_ERROR;
        u_strFromUTF8(out.data(), Length(out.size()), &length, text.utf8.data(), Length(text.utf8.size()),
                      &error);
        out.resize(U_SUCCESS(error) ? static_cast<size_t>(length) : 0);
        benchmark::DoNotOptimize(out.data());
    }
    Finish(state, text.utf8.size(), false);
}

// --- UTF-16 to UTF-8.

void Utf16ToUtf8Quorvin(benchmark::State& state, const Texts& text) {
    std::string buffer(text.utf16.size() * 3, '\0');
    for (auto _ : state) {
        const Utf16Unit* s = text.utf16.data();
        auto* t = reinterpret_cast<Utf8Unit*>(buffer.data());
        benchmark::DoNotOptimize(
            Utf16ToUtf8Range(s, s + text.utf16.size(), t, t + buffer.size(), ConversionMode::Strict));
        benchmark::ClobberMemory();
    }
    Finish(state, text.utf16.size() * 2, true);
}

void Utf16ToUtf8Icu(benchmark::State& state, const Texts& text) {
    std::string buffer(text.utf16.size() * 3, '\0');
    for (auto _ : state) {
        int32_t length = 0;
        UErrorCode error = U_ZERO_ERROR;
        u_strToUTF8(buffer.data(), Length(buffer.size()), &length, IcuUnits(text.utf16),
                    Length(text.utf16.size()), &error);
        benchmark::DoNotOptimize(length);
        benchmark::ClobberMemory();
    }
    Finish(state, text.utf16.size() * 2, false);
}

void Utf16ToUtf8StringQuorvin(benchmark::State& state, const Texts& text) {
    for (auto _ : state) {
        std::string out;
        benchmark::DoNotOptimize(Utf16ToUtf8(text.utf16, out));
        benchmark::DoNotOptimize(out.data());
    }
    Finish(state, text.utf16.size() * 2, true);
}

void Utf16ToUtf8StringIcu(benchmark::State& state, const Texts& text) {
    for (auto _ : state) {
        std::string out(text.utf16.size() * 3, '\0');
        int32_t length = 0;
        UErrorCode error = U_ZERO_ERROR;
        u_strToUTF8(out.data(), Length(out.size()), &length, IcuUnits(text.utf16), Length(text.utf16.size()),
                    &error);
        out.resize(U_SUCCESS(error) ? static_cast<size_t>(length) : 0);
        benchmark::DoNotOptimize(out.data());
    }
    Finish(state, text.utf16.size() * 2, false);
}

// --- UTF-8 and UTF-32. ICU has no such conversion; its UTF-8 macros stand in.

void Utf8ToUtf32Quorvin(benchmark::State& state, const Texts& text) {
    Utf32String buffer(text.utf8.size(), 0);
    for (auto _ : state) {
        const Utf8Unit* s = Bytes(text.utf8);
        Utf32Unit* t = buffer.data();
        benchmark::DoNotOptimize(
            Utf8ToUtf32Range(s, s + text.utf8.size(), t, t + buffer.size(), ConversionMode::Strict));
        benchmark::ClobberMemory();
    }
    Finish(state, text.utf8.size(), true);
}

void Utf8ToUtf32Icu(benchmark::State& state, const Texts& text) {
    std::vector<UChar32> buffer(text.utf8.size());
    const auto* bytes = Bytes(text.utf8);
    const int32_t length = Length(text.utf8.size());
    for (auto _ : state) {
        int32_t i = 0;
        size_t k = 0;
        while (i < length) {
            UChar32 c;
            U8_NEXT(bytes, i, length, c);
            if (c < 0) {
                break;
            }
            buffer[k++] = c;
        }
        benchmark::DoNotOptimize(k);
        benchmark::ClobberMemory();
    }
    Finish(state, text.utf8.size(), false);
}

void Utf32ToUtf8Quorvin(benchmark::State& state, const Texts& text) {
    std::string buffer(text.utf32.size() * 4, '\0');
    for (auto _ : state) {
        const Utf32Unit* s = text.utf32.data();
        auto* t = reinterpret_cast<Utf8Unit*>(buffer.data());
        benchmark::DoNotOptimize(
            Utf32ToUtf8Range(s, s + text.utf32.size(), t, t + buffer.size(), ConversionMode::Strict));
        benchmark::ClobberMemory();
    }
    Finish(state, text.utf32.size() * 4, true);
}

void Utf32ToUtf8Icu(benchmark::State& state, const Texts& text) {
    std::string buffer(text.utf32.size() * 4, '\0');
    auto* out = reinterpret_cast<uint8_t*>(buffer.data());
    for (auto _ : state) {
        int32_t k = 0;
        bool ok = true;
        for (char32_t c : text.utf32) {
            U8_APPEND(out, k, Length(buffer.size()), static_cast<UChar32>(c), ok);
        }
        benchmark::DoNotOptimize(ok);
        benchmark::ClobberMemory();
    }
    Finish(state, text.utf32.size() * 4, false);
}

// --- Validation and counting. ICU's fastest validations: the preflight of u_strFromUTF8 (no
// target) and a U8_NEXT loop.

void IsLegalQuorvin(benchmark::State& state, const Texts& text) {
    const Utf8Unit* begin = Bytes(text.utf8);
    for (auto _ : state) {
        const Utf8Unit* cursor = begin;
        benchmark::DoNotOptimize(IsLegalUtf8Range(cursor, begin + text.utf8.size()));
        benchmark::DoNotOptimize(cursor);
    }
    Finish(state, text.utf8.size(), true);
}

void IsLegalIcuPreflight(benchmark::State& state, const Texts& text) {
    for (auto _ : state) {
        int32_t length = 0;
        UErrorCode error = U_ZERO_ERROR;
        u_strFromUTF8(nullptr, 0, &length, text.utf8.data(), Length(text.utf8.size()), &error);
        benchmark::DoNotOptimize(error == U_BUFFER_OVERFLOW_ERROR);
    }
    Finish(state, text.utf8.size(), false);
}

void IsLegalIcuU8Next(benchmark::State& state, const Texts& text) {
    const auto* bytes = Bytes(text.utf8);
    const int32_t length = Length(text.utf8.size());
    for (auto _ : state) {
        int32_t i = 0;
        UChar32 c = 0;
        while (i < length && c >= 0) {
            U8_NEXT(bytes, i, length, c);
        }
        benchmark::DoNotOptimize(c >= 0);
    }
    Finish(state, text.utf8.size(), false);
}

void CountQuorvin(benchmark::State& state, const Texts& text) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(CountUtf8CodePoints(text.utf8.c_str()));
    }
    Finish(state, text.utf8.size(), true);
}

// The same work: the length of a NUL-terminated text, then its characters, stopping at a bad one.
void CountIcuU8Next(benchmark::State& state, const Texts& text) {
    const auto* bytes = Bytes(text.utf8);
    for (auto _ : state) {
        const int32_t length = Length(std::strlen(text.utf8.c_str()));
        int32_t i = 0;
        uint32_t count = 0;
        UChar32 c = 0;
        while (i < length) {
            U8_NEXT(bytes, i, length, c);
            if (c < 0) {
                count = 0;
                break;
            }
            ++count;
        }
        benchmark::DoNotOptimize(count);
    }
    Finish(state, text.utf8.size(), false);
}

// A byte that never occurs, so memchr reads every byte: the floor for one pass over the text.
void Memchr(benchmark::State& state, const Texts& text) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(std::memchr(text.utf8.data(), 0x01, text.utf8.size()));
    }
    Finish(state, text.utf8.size(), false);
}

#if defined(__x86_64__)
// --- The memory's and the instructions' own limits for ASCII, with AVX2: what the conversion and
// the validation would cost if they did nothing but move or look at the bytes.

// Zero-extends the bytes to 16-bit units, 64 bytes a step, without a single check.
__attribute__((target("avx2"))) void WideningCopyAvx2(const unsigned char* s, size_t size, char16_t* t) {
    size_t i = 0;
    for (; i + 64 <= size; i += 64) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i + 32));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(t + i),
                            _mm256_cvtepu8_epi16(_mm256_castsi256_si128(a)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(t + i + 16),
                            _mm256_cvtepu8_epi16(_mm256_extracti128_si256(a, 1)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(t + i + 32),
                            _mm256_cvtepu8_epi16(_mm256_castsi256_si128(b)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(t + i + 48),
                            _mm256_cvtepu8_epi16(_mm256_extracti128_si256(b, 1)));
    }
    for (; i < size; ++i) t[i] = s[i];
}

// ORs all the bytes together, 128 bytes a step, and answers whether any has its top bit set.
__attribute__((target("avx2"))) bool OrReductionAvx2(const unsigned char* s, size_t size) {
    __m256i any = _mm256_setzero_si256();
    size_t i = 0;
    for (; i + 128 <= size; i += 128) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i + 32));
        const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i + 64));
        const __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i + 96));
        any = _mm256_or_si256(any, _mm256_or_si256(_mm256_or_si256(a, b), _mm256_or_si256(c, d)));
    }
    unsigned char rest = 0;
    for (; i < size; ++i) rest |= s[i];
    return _mm256_movemask_epi8(any) != 0 || rest >= 0x80;
}

void WideningCopyLimit(benchmark::State& state, const Texts& text) {
    std::u16string buffer(text.utf8.size(), u'\0');
    for (auto _ : state) {
        WideningCopyAvx2(Bytes(text.utf8), text.utf8.size(), buffer.data());
        benchmark::ClobberMemory();
    }
    Finish(state, text.utf8.size(), false);
}

void OrReductionLimit(benchmark::State& state, const Texts& text) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(OrReductionAvx2(Bytes(text.utf8), text.utf8.size()));
    }
    Finish(state, text.utf8.size(), false);
}

// Ours and the limit take turns (InTurnTiming.h), a call each, over the same text and into the same
// output buffer. Only for text past the caches, where a call lasts milliseconds: at 64 KiB a call
// takes a microsecond, and turns of one call would time the clock and upset the branch predictors
// about as much as they time the work.
void Utf8ToUtf16InTurnWithWideningCopy(benchmark::State& state, const Texts& text) {
    Utf16String buffer(text.utf8.size(), 0);
    Testing::InTurn inTurn;
    for (auto _ : state) {
        state.SetIterationTime(inTurn.Run(
            1, 1,
            [&](size_t, size_t) {
                const Utf8Unit* s = Bytes(text.utf8);  // the conversion moves both cursors
                Utf16Unit* t = buffer.data();
                benchmark::DoNotOptimize(
                    Utf8ToUtf16Range(s, s + text.utf8.size(), t, t + buffer.size(), ConversionMode::Strict));
                benchmark::ClobberMemory();
            },
            [&](size_t, size_t) {
                WideningCopyAvx2(Bytes(text.utf8), text.utf8.size(), buffer.data());
                benchmark::ClobberMemory();
            }));
    }
    inTurn.Report(state);
    Finish(state, text.utf8.size(), true);
}

void IsLegalInTurnWithOrReduction(benchmark::State& state, const Texts& text) {
    const Utf8Unit* begin = Bytes(text.utf8);
    Testing::InTurn inTurn;
    for (auto _ : state) {
        state.SetIterationTime(inTurn.Run(
            1, 1,
            [&](size_t, size_t) {
                const Utf8Unit* cursor = begin;
                benchmark::DoNotOptimize(IsLegalUtf8Range(cursor, begin + text.utf8.size()));
                benchmark::DoNotOptimize(cursor);
            },
            [&](size_t, size_t) { benchmark::DoNotOptimize(OrReductionAvx2(begin, text.utf8.size())); }));
    }
    inTurn.Report(state);
    Finish(state, text.utf8.size(), true);
}
#endif

using Body = void (*)(benchmark::State&, const Texts&);

struct Routine {
    const char* name;
    Body quorvin;
    const char* comparator;
    Body other;
    const char* secondComparator = nullptr;
    Body second = nullptr;
};

const Routine Routines[] = {
    {"Utf8ToUtf16", Utf8ToUtf16Quorvin, "Icu", Utf8ToUtf16Icu},
    {"Utf16ToUtf8", Utf16ToUtf8Quorvin, "Icu", Utf16ToUtf8Icu},
    {"IsLegalUtf8Range", IsLegalQuorvin, "IcuPreflight", IsLegalIcuPreflight, "IcuU8Next", IsLegalIcuU8Next},
    {"Utf8ToUtf16String", Utf8ToUtf16StringQuorvin, "Icu", Utf8ToUtf16StringIcu},
    {"Utf16ToUtf8String", Utf16ToUtf8StringQuorvin, "Icu", Utf16ToUtf8StringIcu},
    {"Utf8ToUtf32", Utf8ToUtf32Quorvin, "IcuU8Next", Utf8ToUtf32Icu},
    {"Utf32ToUtf8", Utf32ToUtf8Quorvin, "IcuU8Append", Utf32ToUtf8Icu},
    {"CountUtf8CodePoints", CountQuorvin, "IcuU8Next", CountIcuU8Next},
};

void Register() {
    for (const Routine& routine : Routines) {
        for (const Size& size : Sizes) {
            for (const Kind& kind : Kinds) {
                const std::string base = std::string(routine.name) + "/" + kind.name + "/" + size.name + "/";
                const auto add = [&](const char* implementation, Body body) {
                    const Kind* k = &kind;
                    const Size* z = &size;
                    benchmark::RegisterBenchmark(
                        (base + implementation).c_str(),
                        [body, k, z](benchmark::State& state) { body(state, Sample(*k, *z)); });
                };
                add("Quorvin", routine.quorvin);
                add(routine.comparator, routine.other);
                if (routine.second != nullptr) {
                    add(routine.secondComparator, routine.second);
                }
            }
        }
    }
    for (const Size& size : Sizes) {
        const Size* z = &size;
        benchmark::RegisterBenchmark((std::string("Memchr/Ascii/") + size.name + "/Libc").c_str(),
                                     [z](benchmark::State& state) { Memchr(state, Sample(Kinds[0], *z)); });
#if defined(__x86_64__)
        if (__builtin_cpu_supports("avx2")) {
            benchmark::RegisterBenchmark(
                (std::string("Utf8ToUtf16/Ascii/") + size.name + "/WideningCopyLimit").c_str(),
                [z](benchmark::State& state) { WideningCopyLimit(state, Sample(Kinds[0], *z)); });
            benchmark::RegisterBenchmark(
                (std::string("IsLegalUtf8Range/Ascii/") + size.name + "/OrReductionLimit").c_str(),
                [z](benchmark::State& state) { OrReductionLimit(state, Sample(Kinds[0], *z)); });
            if (size.bytes > (size_t{1} << 20)) {
                benchmark::RegisterBenchmark(
                    (std::string("Utf8ToUtf16/Ascii/") + size.name + "/InTurnWithWideningCopy").c_str(),
                    [z](benchmark::State& state) {
                        Utf8ToUtf16InTurnWithWideningCopy(state, Sample(Kinds[0], *z));
                    })
                    ->UseManualTime();
                benchmark::RegisterBenchmark(
                    (std::string("IsLegalUtf8Range/Ascii/") + size.name + "/InTurnWithOrReduction").c_str(),
                    [z](benchmark::State& state) {
                        IsLegalInTurnWithOrReduction(state, Sample(Kinds[0], *z));
                    })
                    ->UseManualTime();
            }
        }
#endif
    }
}

}  // namespace
}  // namespace Quorvin

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    const auto& request = Quorvin::TextPrivate::ActiveUtfKernelRequest();
    if (!request.problem.empty()) {
        std::fprintf(stderr, "%s\n", request.problem.c_str());
        return 1;
    }
    benchmark::AddCustomContext("quorvin_text_kernel", Quorvin::ActiveKernelName());
    Quorvin::Register();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
