// The choice of UTF kernel, and every kernel this machine has against the portable one on long
// generated text of each script, damaged and cut short.
#include "core/text/internal/UtfKernel.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/base/Compiler.h"
#include "tests/support/KernelTesting.h"
#include "tests/support/TextTestSupport.h"

namespace Quorvin::TextPrivate {
namespace {

using TextTest::TextGenerator;
using R = ConversionResult;

[[maybe_unused]] const testing::Environment* const forcedKernelCheck =
    Testing::AddForcedKernelCheck("UTF", UtfKernels);

TEST(UtfKernels, TheChoiceIsTheForcedKernelOrTheFastestOneAvailable) {
    const KernelRequest& request = ActiveUtfKernelRequest();
    const UtfKernel* portable = FindUtfKernel(KernelId::Portable);
    ASSERT_NE(portable, nullptr);
    EXPECT_STREQ(portable->name, "portable");
    std::string why;
    const UtfKernel* sse2 = FindUtfKernel(KernelId::Sse2, &why);
    EXPECT_EQ(sse2 == nullptr, QUORVIN_HAS_SSE2 == 0) << why;
    const UtfKernel* avx2 = FindUtfKernel(KernelId::Avx2, &why);
    if (avx2 == nullptr) {
        EXPECT_FALSE(why.empty());
    } else {
        EXPECT_STREQ(avx2->name, "avx2");
    }
    if (!request.requested.empty()) {
        EXPECT_EQ(ActiveUtfKernel().name, request.requested);
        return;
    }
    const UtfKernel* fastest = QUORVIN_HAS_SSE2 == 0 ? portable : avx2 != nullptr ? avx2 : sse2;
    EXPECT_EQ(&ActiveUtfKernel(), fastest);
}

// What a routine did: its result, how far it read, and the whole target buffer (written units and
// the guard units after them).
template <class Out>
struct Outcome {
    R result;
    ptrdiff_t consumed;
    ptrdiff_t written;
    std::vector<Out> target;
    bool operator==(const Outcome&) const = default;
};

// Runs `routine` over all of `input`, held in a block of exactly its size, into `capacity` units
// followed by guard units.
template <class In, class Out, class Routine>
Outcome<Out> RunRoutine(Routine routine, const std::vector<In>& input, size_t capacity) {
    const std::vector<In> source(input);
    std::vector<Out> target(capacity + 16, Out(0x5A));
    const In* s = source.data();
    Out* t = target.data();
    const R result = routine(s, source.data() + source.size(), t, target.data() + capacity);
    return {result, s - source.data(), t - target.data(), std::move(target)};
}

template <class Out>
void PrintTo(const Outcome<Out>& o, std::ostream* os) {
    *os << "result " << static_cast<int>(o.result) << ", consumed " << o.consumed << ", written "
        << o.written;
}

TEST(UtfKernels, EveryKernelGivesThePortableResultsOnLongTextOfEachScript) {
    const UtfKernel& reference = *FindUtfKernel(KernelId::Portable);
    std::vector<const UtfKernel*> kernels;
    std::string skipped;
    for (KernelId id : {KernelId::Sse2, KernelId::Avx2}) {
        std::string why;
        if (const UtfKernel* kernel = FindUtfKernel(id, &why)) {
            kernels.push_back(kernel);
        } else {
            skipped += std::string(KernelName(id)) + " (" + why + ") ";
        }
    }
    if (!skipped.empty()) {
        std::printf("kernels not compared here: %s\n", skipped.c_str());
    }
    if (kernels.empty()) {
        GTEST_SKIP() << "no kernel but the portable one: " << skipped;
    }
    TextGenerator gen(21);
    static const std::string_view damages[] = {
        "\x80", "\xC1\xBF", "\xE0\x9F\xBF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xF8\x88\x80\x80\x80",
        "\xFF", "\xC3",     "\xE2\x82",     "\xF0\x9F\x98"};
    for (int i = 0; i < 1500; ++i) {
        SCOPED_TRACE(testing::Message() << "case " << i);
        const auto script = static_cast<TextGenerator::Script>(gen.Below(6));
        const std::vector<uint32_t> scalars =
            gen.ScriptScalars(script, 16 + gen.Below(i % 10 == 0 ? 3000 : 300));
        std::string text = TextTest::ReferenceUtf8(scalars);
        Utf16String utf16 = TextTest::ReferenceUtf16(scalars);
        std::vector<Utf32Unit> utf32(scalars.begin(), scalars.end());
        if (gen.Chance(60)) {
            const size_t at = gen.Below(static_cast<uint32_t>(text.size()));
            if (gen.Chance(70)) {
                text.insert(at, damages[gen.Below(std::size(damages))]);
            } else {
                text.resize(at);
            }
            const size_t at16 = gen.Below(static_cast<uint32_t>(utf16.size()));
            utf16.insert(utf16.begin() + static_cast<ptrdiff_t>(at16),
                         static_cast<Utf16Unit>(0xD800 + gen.Below(0x800)));
            utf32[gen.Below(static_cast<uint32_t>(utf32.size()))] =
                gen.Chance(50) ? 0xD800 + gen.Below(0x800) : 0x110000;
        }
        const std::vector<Utf8Unit> bytes(text.begin(), text.end());
        const std::vector<Utf16Unit> units(utf16.begin(), utf16.end());
        // Room for everything, or a little too little.
        const auto room = [&](size_t full) {
            return gen.Chance(50) ? full : full - std::min<size_t>(full, gen.Below(6));
        };
        const size_t room16 = room(utf16.size());
        const size_t room32 = room(scalars.size());
        const size_t room8 = room(TextTest::ReferenceUtf8(scalars).size() + 3);
        const auto mode = static_cast<ConversionMode>(gen.Below(3));  // Strict, Lenient or Replacing
        for (const UtfKernel* kernel : kernels) {
            SCOPED_TRACE(kernel->name);
            ASSERT_EQ((RunRoutine<Utf8Unit, Utf16Unit>(kernel->utf8ToUtf16, bytes, room16)),
                      (RunRoutine<Utf8Unit, Utf16Unit>(reference.utf8ToUtf16, bytes, room16)));
            ASSERT_EQ((RunRoutine<Utf8Unit, Utf32Unit>(kernel->utf8ToUtf32, bytes, room32)),
                      (RunRoutine<Utf8Unit, Utf32Unit>(reference.utf8ToUtf32, bytes, room32)));
            const auto encode16 = [&](const UtfKernel& k) {
                return RunRoutine<Utf16Unit, Utf8Unit>(
                    [&](auto& s, auto se, auto& t, auto te) { return k.utf16ToUtf8(s, se, t, te, mode); },
                    units, room8);
            };
            ASSERT_EQ(encode16(*kernel), encode16(reference));
            const auto encode32 = [&](const UtfKernel& k) {
                return RunRoutine<Utf32Unit, Utf8Unit>(
                    [&](auto& s, auto se, auto& t, auto te) { return k.utf32ToUtf8(s, se, t, te, mode); },
                    utf32, room8);
            };
            ASSERT_EQ(encode32(*kernel), encode32(reference));
            uint64_t count = 0;
            uint64_t expectedCount = 0;
            const Utf8Unit* cursor = bytes.data();
            const Utf8Unit* expectedCursor = bytes.data();
            const bool legal =
                reference.countUtf8(expectedCursor, bytes.data() + bytes.size(), expectedCount);
            ASSERT_EQ(kernel->countUtf8(cursor, bytes.data() + bytes.size(), count), legal);
            ASSERT_EQ(cursor, expectedCursor);
            ASSERT_EQ(count, expectedCount);
            cursor = bytes.data();
            ASSERT_EQ(kernel->validateUtf8(cursor, bytes.data() + bytes.size()), legal);
            ASSERT_EQ(cursor, expectedCursor);
        }
    }
}

}  // namespace
}  // namespace Quorvin::TextPrivate
