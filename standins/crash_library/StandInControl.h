// Test-only access to the stand-in crash-report library's record of the calls it received.
// Attachment content longer than 4096 bytes is recorded as "<N bytes>", without being read.
#pragma once

extern "C" {
/// Every call received since the last clear, one line each: "operation(argument,...)". Texts are
/// shown byte for byte except that bytes below 0x20, 0x7F and above, '\' , ',' , '(' and ')'
/// are written as \xNN, so a line feed or carriage return in a value stays visible.
__declspec(dllimport) const char* SkarnetStandInCallLog();
/// Forgets the recorded calls (the stored parameters are kept).
__declspec(dllimport) void SkarnetStandInClearLog();
/// The crash callback registered through setCrashCallback, or null.
__declspec(dllimport) void (*SkarnetStandInCrashCallback())();
}
