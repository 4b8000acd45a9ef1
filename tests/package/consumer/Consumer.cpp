// Uses several components of the installed core library; exits 0 when each answers as documented.
#include <core/data/Md5.h>
#include <core/diagnostics/Ensure.h>
#include <core/runtime/NameRegistry.h>
#include <core/system/PathRules.h>
#include <core/text/Utf.h>
#include <core/time/TimerConstants.h>

#include <cstdio>
#include <string>

int main() {
    std::u32string text;
    const bool converted = Quorvin::Utf8ToUtf32("K\xc3\xa9", text);
    const std::string digest = Quorvin::Md5HexString("abc", 3);
    Quorvin::EnsurePrivate::ReportCheck(0, "consumer", "true", 0);
    const uint32_t id = Quorvin::NameRegistry::GetId({"consumer", 8, 1});  // the first name: 0
    const bool pathJoined = Quorvin::JoinPath(L"C:\\Games", L"run.exe") == L"C:\\Games\\run.exe";
    const int64_t ticksPerMillisecond = Quorvin::ComputeTimerConstants(10000000).ticksPerMillisecond;
    std::printf("%d %zu %s %u %d %lld\n", converted, text.size(), digest.c_str(), id, pathJoined,
                static_cast<long long>(ticksPerMillisecond));
    return converted && text.size() == 2 && digest == "900150983cd24fb0d6963f7d28e17f72" && id == 0 &&
                   pathJoined && ticksPerMillisecond == 10000
               ? 0
               : 1;
}
