// Uses several components of the installed core library; exits 0 when each answers as documented.
#include <core/data/Md5.h>
#include <core/diagnostics/Ensure.h>
#include <core/text/Utf.h>

#include <cstdio>
#include <string>

int main() {
    std::u32string text;
    const bool converted = Quorvin::Utf8ToUtf32("K\xc3\xa9", text);
    const std::string digest = Quorvin::Md5HexString("abc", 3);
    Quorvin::EnsurePrivate::ReportCheck(0, "consumer", "true", 0);
    std::printf("%d %zu %s\n", converted, text.size(), digest.c_str());
    return converted && text.size() == 2 && digest == "900150983cd24fb0d6963f7d28e17f72" ? 0 : 1;
}
