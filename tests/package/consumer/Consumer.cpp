// Includes every header the installed core library offers on every system and calls something of
// each; exits 0 when every answer is the documented one. The package test checks that every
// installed header is included by one of the consumer's sources.
#include <core/base/BitMath.h>
#include <core/base/Compiler.h>
#include <core/base/KernelFamily.h>
#include <core/base/ProcessorFeatures.h>  // Cpuid
#include <core/base/StartupOrder.h>
#include <core/data/BloomFilter.h>
#include <core/data/Hash.h>
#include <core/data/Md5.h>
#include <core/data/PerfectHash.h>
#include <core/data/RandomIdentifier.h>
#include <core/data/StringUtilities.h>
#include <core/diagnostics/Ensure.h>
#include <core/geometry/Frustum.h>
#include <core/geometry/Noise.h>
#include <core/geometry/RayIntersection.h>
#include <core/geometry/Vec3.h>
#include <core/geometry/internal/FrustumBoxTest.h>
#include <core/process/Process.h>
#include <core/runtime/GlobalInstance.h>
#include <core/runtime/NameRegistry.h>
#include <core/sync/SpinLocks.h>
#include <core/sync/Sync.h>
#include <core/system/HardwareBreakpoint.h>
#include <core/system/ModulePath.h>
#include <core/system/Pages.h>
#include <core/system/PathRules.h>
#include <core/system/Topology.h>
#include <core/text/CodePage.h>
#include <core/text/InlineMarkup.h>
#include <core/text/LineBreak.h>
#include <core/text/StyleTable.h>
#include <core/text/Utf.h>
#include <core/time/Clock.h>
#include <core/time/TimerConstants.h>
#include <core/time/internal/TickMath.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "SystemCalls.h"

namespace {

int failures = 0;

void Check(bool answer, const char* what) {
    if (answer) return;
    std::printf("wrong answer: %s\n", what);
    ++failures;
}

}  // namespace

int main() {
    using namespace Quorvin;
    // base
    Check(MultiplyDivide64(1ull << 40, 1ull << 40, 1ull << 60) == 1ull << 20, "MultiplyDivide64");
    Check(std::strcmp(KernelName(KernelId::Avx2), "avx2") == 0, "KernelName");
    uint32_t cpuid[4] = {};
    Cpuid(0, 0, cpuid);
    Check(cpuid[0] >= 1, "Cpuid");
    Check(StartupOrder::NameTable < StartupOrder::StyleTable, "StartupOrder");
    // data
    BloomFilter bloom;
    bloom.Initialize(100, 0.01);
    bloom.Insert(42);
    Check(bloom.MayContain(42), "BloomFilter");
    const std::vector<uint64_t> keys{3, 1, 4, 15, 9, 26};
    PerfectHash hash;
    Check(hash.Build(keys) && hash.Lookup(15) < keys.size(), "PerfectHash");
    Check(MurmurHash32("", 0) == 0, "MurmurHash32");
    Check(Md5HexString("abc", 3) == "900150983cd24fb0d6963f7d28e17f72", "Md5HexString");
    char identifier[9] = {};
    RandomAlphanumeric(identifier, 8);
    Check(std::strlen(identifier) == 8, "RandomAlphanumeric");
    Check(CompactWhitespace("  a\t\tb") == "a b", "CompactWhitespace");
    // diagnostics
    EnsurePrivate::ReportCheck(0, "consumer", "true", 0);
    // geometry
    Frustum frustum;
    Check(frustum.IsVisible({0, 0, 0}, {1, 1, 1}) != 0, "Frustum");
    Check(GradientNoise(3.0f) == 0.5f, "GradientNoise");  // exactly 0.5 on the lattice
    const Triangle triangle({0, 0, 0}, {1, 0, 0}, {0, 1, 0});
    RayHit hit;
    Check(IntersectTriangleProjected(triangle, {0.2f, 0.2f, 1}, {0, 0, -1}, {0, 0, 1}, true, hit),
          "ray test");
    Check(GeometryPrivate::Abs(_mm_set1_ps(-2.0f))[0] == 2.0f, "FrustumBoxTest");
    // runtime
    Check(NameRegistry::GetId({"consumer", 8, 1}) == 0, "NameRegistry");  // the first name: 0
    Check(GetGlobalInstance() == nullptr, "GetGlobalInstance");
    // sync
    SpinLock spinLock;
    spinLock.Lock();
    spinLock.Unlock();
    Event event;
    event.Set();
    Check(event.TryWait(), "Event");
    // system
    void* pages = AllocatePages(4096);
    Check(pages != nullptr && ReleasePages(pages, 4096) == 0, "Pages");
    Check(!GetModulePath(nullptr).empty(), "GetModulePath");
    ProcessorTopology topology;
    topology.Query(true);
    Check(topology.valid &&
              topology.CountLogicalProcessors().first + topology.CountLogicalProcessors().second > 0,
          "ProcessorTopology");
    DebugRegisters registers;
    Check(PlaceBreakpoint(registers, 0x1000, BreakpointKind::Write, BreakpointSize::Byte4) == 0,
          "PlaceBreakpoint");
    Check(RemoveHardwareBreakpoint(nullptr) == false, "RemoveHardwareBreakpoint");
    Check(JoinPath(L"C:\\Games", L"run.exe") == L"C:\\Games\\run.exe", "JoinPath");
    // process
    Check(RunProcess(L"", QuorvinConsumer::SucceedingCommand()) == 0, "RunProcess");
    // text
    Check(CodePageToWide("K\xc3\xa9", 65001) == L"K\u00e9", "CodePageToWide");
    Check(CanBreakBetween(0x4E00, 0x4E01, true), "CanBreakBetween");
    Check(!IsMarker('a'), "IsMarker");
    Check(RegisterStyle("consumer", 1, 2, 3, 4, 5, 0.5f, 6, 0.25f) >= 0, "RegisterStyle");
    std::u32string text;
    Check(Utf8ToUtf32("K\xc3\xa9", text) && text.size() == 2, "Utf8ToUtf32");
    // time
    Check(ComputeTimerConstants(10000000).ticksPerMillisecond == 10000, "ComputeTimerConstants");
    Check(TickCount::Now().ToMilliseconds() >= 0, "TickCount");
    Check(TimePrivate::TicksToUnits(1000, 0, 1000, 1000) == 1000, "TicksToUnits");
    failures += QuorvinConsumer::CheckSystemOnly();
    std::printf("%d wrong answers\n", failures);
    return failures == 0 ? 0 : 1;
}
