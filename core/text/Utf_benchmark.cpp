// Speed of the string conversions and UTF-8 validation on four kinds of text, beside the system's
// ICU conversions and memchr as comparators. Throughput is bytes of input per second.
#include <benchmark/benchmark.h>
#include <unicode/ustring.h>

#include <cstring>
#include <string>

#include "core/text/Utf.h"

namespace Quorvin {
namespace {

constexpr size_t TextBytes = 64 * 1024;

enum Kind { Ascii, Latin, Cjk, Emoji };

// About 64 KiB of one kind of text, made of whole sentences.
const std::string& Sample(Kind kind) {
    static const std::string samples[] = {
        "The quick brown fox jumps over the lazy dog; 0123456789, said the clerk (twice)!\n",
        "Gr\u00F6\u00DFere \u00DCbungen f\u00FCr Sch\u00FCler: \u00E9l\u00E8ve, d\u00E9j\u00E0 vu, "
        "fa\u00E7ade, "
        "na\u00EFve, se\u00F1or, cr\u00E8me br\u00FBl\u00E9e.\n",
        "\u65E5\u672C\u8A9E\u306E\u6587\u7AE0\u3068\u4E2D\u6587\u6587\u672C\u548C\uD55C\uAD6D\uC5B4 "
        "\uBB38\uC7A5\uC744 \u6DF7\u305C\u305F\u4F8B\u3067\u3059\u3002\n",
        "\U0001F600\U0001F603\U0001F604\U0001F601\U0001F606\U0001F605\U0001F923\U0001F602\U0001F642"
        "\U0001F643\U0001F609\U0001F60A\U0001F607\U0001F970\U0001F60D\U0001F929\n",
    };
    static std::string texts[4];
    std::string& text = texts[kind];
    if (text.empty()) {
        while (text.size() + samples[kind].size() <= TextBytes) {
            text += samples[kind];
        }
    }
    return text;
}

const Utf16String& Sample16(Kind kind) {
    static Utf16String texts[4];
    if (texts[kind].empty()) {
        Utf8ToUtf16(Sample(kind), texts[kind]);
    }
    return texts[kind];
}

void BM_Utf8ToUtf16(benchmark::State& state) {
    const std::string& text = Sample(static_cast<Kind>(state.range(0)));
    for (auto _ : state) {
        Utf16String out;
        benchmark::DoNotOptimize(Utf8ToUtf16(text, out));
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

// ICU under the same contract as Utf8ToUtf16: a fresh string sized for the worst case, cut to fit.
void BM_IcuStrFromUtf8(benchmark::State& state) {
    const std::string& text = Sample(static_cast<Kind>(state.range(0)));
    for (auto _ : state) {
        std::u16string out(text.size(), u'\0');
        int32_t length = 0;
        UErrorCode error = U_ZERO_ERROR;
        u_strFromUTF8(out.data(), static_cast<int32_t>(out.size()), &length, text.data(),
                      static_cast<int32_t>(text.size()), &error);
        out.resize(U_SUCCESS(error) ? static_cast<size_t>(length) : 0);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

// Both converters into one preallocated buffer: the conversion work alone.
void BM_Utf8ToUtf16RangeIntoBuffer(benchmark::State& state) {
    const std::string& text = Sample(static_cast<Kind>(state.range(0)));
    Utf16String buffer(text.size(), 0);
    for (auto _ : state) {
        const auto* s = reinterpret_cast<const Utf8Unit*>(text.data());
        Utf16Unit* t = buffer.data();
        benchmark::DoNotOptimize(
            Utf8ToUtf16Range(s, s + text.size(), t, t + buffer.size(), ConversionMode::Strict));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_IcuStrFromUtf8IntoBuffer(benchmark::State& state) {
    const std::string& text = Sample(static_cast<Kind>(state.range(0)));
    std::u16string buffer(text.size(), u'\0');
    for (auto _ : state) {
        int32_t length = 0;
        UErrorCode error = U_ZERO_ERROR;
        u_strFromUTF8(buffer.data(), static_cast<int32_t>(buffer.size()), &length, text.data(),
                      static_cast<int32_t>(text.size()), &error);
        benchmark::DoNotOptimize(length);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_Utf16ToUtf8(benchmark::State& state) {
    const Utf16String& text = Sample16(static_cast<Kind>(state.range(0)));
    for (auto _ : state) {
        std::string out;
        benchmark::DoNotOptimize(Utf16ToUtf8(text, out));
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size() * sizeof(Utf16Unit)));
}

void BM_IcuStrToUtf8(benchmark::State& state) {
    const Utf16String& text = Sample16(static_cast<Kind>(state.range(0)));
    const auto* units = reinterpret_cast<const UChar*>(text.data());
    for (auto _ : state) {
        std::string out(text.size() * 3, '\0');
        int32_t length = 0;
        UErrorCode error = U_ZERO_ERROR;
        u_strToUTF8(out.data(), static_cast<int32_t>(out.size()), &length, units,
                    static_cast<int32_t>(text.size()), &error);
        out.resize(U_SUCCESS(error) ? static_cast<size_t>(length) : 0);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size() * sizeof(Utf16Unit)));
}

void BM_Utf16ToUtf8RangeIntoBuffer(benchmark::State& state) {
    const Utf16String& text = Sample16(static_cast<Kind>(state.range(0)));
    std::string buffer(text.size() * 3, '\0');
    for (auto _ : state) {
        const Utf16Unit* s = text.data();
        auto* t = reinterpret_cast<Utf8Unit*>(buffer.data());
        benchmark::DoNotOptimize(
            Utf16ToUtf8Range(s, s + text.size(), t, t + buffer.size(), ConversionMode::Strict));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size() * sizeof(Utf16Unit)));
}

void BM_IcuStrToUtf8IntoBuffer(benchmark::State& state) {
    const Utf16String& text = Sample16(static_cast<Kind>(state.range(0)));
    const auto* units = reinterpret_cast<const UChar*>(text.data());
    std::string buffer(text.size() * 3, '\0');
    for (auto _ : state) {
        int32_t length = 0;
        UErrorCode error = U_ZERO_ERROR;
        u_strToUTF8(buffer.data(), static_cast<int32_t>(buffer.size()), &length, units,
                    static_cast<int32_t>(text.size()), &error);
        benchmark::DoNotOptimize(length);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size() * sizeof(Utf16Unit)));
}

void BM_IsLegalUtf8Range(benchmark::State& state) {
    const std::string& text = Sample(static_cast<Kind>(state.range(0)));
    const auto* begin = reinterpret_cast<const Utf8Unit*>(text.data());
    for (auto _ : state) {
        const Utf8Unit* cursor = begin;
        benchmark::DoNotOptimize(IsLegalUtf8Range(cursor, begin + text.size()));
        benchmark::DoNotOptimize(cursor);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

// A byte that never occurs, so memchr reads every byte: the floor for one pass over the text.
void BM_Memchr(benchmark::State& state) {
    const std::string& text = Sample(static_cast<Kind>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(std::memchr(text.data(), 0x01, text.size()));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void AllKinds(benchmark::internal::Benchmark* b) { b->ArgName("kind")->DenseRange(Ascii, Emoji); }

BENCHMARK(BM_Utf8ToUtf16)->Apply(AllKinds);
BENCHMARK(BM_IcuStrFromUtf8)->Apply(AllKinds);
BENCHMARK(BM_Utf8ToUtf16RangeIntoBuffer)->Apply(AllKinds);
BENCHMARK(BM_IcuStrFromUtf8IntoBuffer)->Apply(AllKinds);
BENCHMARK(BM_Utf16ToUtf8)->Apply(AllKinds);
BENCHMARK(BM_IcuStrToUtf8)->Apply(AllKinds);
BENCHMARK(BM_Utf16ToUtf8RangeIntoBuffer)->Apply(AllKinds);
BENCHMARK(BM_IcuStrToUtf8IntoBuffer)->Apply(AllKinds);
BENCHMARK(BM_IsLegalUtf8Range)->Apply(AllKinds);
BENCHMARK(BM_Memchr)->Arg(Ascii);

}  // namespace
}  // namespace Quorvin

BENCHMARK_MAIN();
