// Copies of the texts the crash-report library hands out.
#pragma once

#include <string>

namespace Quorvin::CrashPrivate {

/// The library promises never to hand out null; should it do so anyway, the text is empty rather
/// than a crash inside the crash reporter.
inline std::string CopyLibraryText(const char* text) {
    return text != nullptr ? std::string(text) : std::string();
}

}  // namespace Quorvin::CrashPrivate
