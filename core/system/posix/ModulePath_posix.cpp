// Module paths on Linux: the loader's list of objects (dl_iterate_phdr) finds the one whose segments
// hold the address; the executable's path comes from the kernel (/proc/self/exe).
#include <link.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "core/system/ModulePath.h"
#include "core/system/PathRules.h"
#include "core/text/Utf.h"

namespace Quorvin {
namespace {

constexpr char ExecutableLink[] = "/proc/self/exe";

// The module that holds an address: its name as the loader keeps it ("" for the executable).
struct ModuleSearch {
    uintptr_t address = 0;
    const char* name = nullptr;
};

int FindLoadedObject(dl_phdr_info* info, size_t, void* data) noexcept {
    auto& search = *static_cast<ModuleSearch*>(data);
    for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& segment = info->dlpi_phdr[i];
        if (segment.p_type != PT_LOAD) continue;
        const uintptr_t start = info->dlpi_addr + segment.p_vaddr;
        if (search.address - start < segment.p_memsz) {  // wraps (and fails) below the start
            search.name = info->dlpi_name != nullptr ? info->dlpi_name : "";
            return 1;
        }
    }
    return 0;
}

// The loader's name of the module at `module`: "" for the executable (whose path the kernel gives),
// null when no loaded object holds the address. Allocates nothing.
const char* LoaderName(void* module) noexcept {
    if (module == nullptr) return "";
    ModuleSearch search;
    search.address = reinterpret_cast<uintptr_t>(module);
    dl_iterate_phdr(&FindLoadedObject, &search);
    return search.name;
}

// Only an absolute name is a full file name: the loader keeps a relative one as it was given, in a
// current directory that may have changed since, and the vDSO's name names no file at all.
bool IsFullName(const char* name) { return name[0] == '/'; }

// Length of the ill-formed part that starts at `at`: the lead byte and the bytes after it that could
// still have continued a well-formed sequence (1 to 3). Each such part becomes one U+FFFD.
size_t IllFormedLength(const Utf8Unit* at, const Utf8Unit* end) noexcept {
    const Utf8Unit lead = *at;
    size_t length = 0;
    Utf8Unit low = 0x80;
    Utf8Unit high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // no overlong forms
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;   // no overlong forms
        if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
    } else {
        return 1;
    }
    size_t taken = 1;
    while (taken < length && at + taken < end && at[taken] >= low && at[taken] <= high) {
        low = 0x80;
        high = 0xBF;
        ++taken;
    }
    return taken < length ? taken : length;
}

// Decodes the UTF-8 bytes [source, end) into `output` (capacity units, room for the terminator
// kept), U+FFFD for each ill-formed part, and returns the number of code points, or 0 when they do
// not fit. The bytes may lie at the end of `output` itself: a code point is stored only over bytes
// already read, and when it would land on bytes not yet read the text cannot fit (each code point
// takes at most four bytes, so more code points remain than units are left). Allocates nothing.
size_t DecodeInto(const Utf8Unit* source, const Utf8Unit* end, wchar_t* output, size_t capacity) noexcept {
    size_t count = 0;
    auto store = [&](Utf32Unit codePoint, const Utf8Unit* readTo) {
        if (count + 1 >= capacity) return false;
        const auto slot = reinterpret_cast<uintptr_t>(output + count);
        if (slot + sizeof(wchar_t) > reinterpret_cast<uintptr_t>(readTo) &&
            slot < reinterpret_cast<uintptr_t>(end))
            return false;
        output[count++] = static_cast<wchar_t>(codePoint);
        return true;
    };
    Utf32Unit chunk[64];
    while (source < end) {
        Utf32Unit* decoded = chunk;
        const ConversionResult result =
            Utf8ToUtf32Range(source, end, decoded, chunk + std::size(chunk), ConversionMode::Strict);
        for (const Utf32Unit* at = chunk; at < decoded; ++at)
            if (!store(*at, source)) return 0;
        if (result == ConversionResult::SourceIllegal || result == ConversionResult::SourceExhausted) {
            source += IllFormedLength(source, end);
            if (!store(ReplacementCharacter, source)) return 0;
        }
    }
    if (count >= capacity) return 0;
    output[count] = L'\0';
    return count;
}

// The executable's path from the kernel, whole, into `bytes` (grown as needed).
bool ReadExecutableLink(std::string& bytes) {
    constexpr size_t Largest = (MaxModulePathLength + 1) * 4;
    for (size_t size = 256;; size *= 2) {
        bytes.resize(size);
        const ssize_t length = readlink(ExecutableLink, bytes.data(), size);
        if (length < 0) return false;
        if (static_cast<size_t>(length) < size) {
            bytes.resize(static_cast<size_t>(length));
            return true;
        }
        if (size >= Largest) return false;  // more bytes than MaxModulePathLength code points can take
    }
}

}  // namespace

size_t ReadModuleFileName(void* module, wchar_t* buffer, size_t capacity) noexcept {
    if (capacity == 0 || buffer == nullptr) return 0;
    if (capacity > MaxModulePathLength + 1) capacity = MaxModulePathLength + 1;
    const char* name = LoaderName(module);
    if (name == nullptr) return 0;
    if (name[0] != '\0') {
        if (!IsFullName(name)) return 0;
        const auto* bytes = reinterpret_cast<const Utf8Unit*>(name);
        return DecodeInto(bytes, bytes + std::strlen(name), buffer, capacity);
    }
    // The executable: the link is read into the caller's buffer and moved to its end, then decoded
    // towards its start, so nothing is allocated and no stack is taken. A link that fills the whole
    // buffer may be cut, and has at least one code point per four bytes: too many for the buffer.
    auto* bytes = reinterpret_cast<char*>(buffer);
    const size_t room = capacity * sizeof(wchar_t);
    const ssize_t length = readlink(ExecutableLink, bytes, room);
    if (length <= 0 || static_cast<size_t>(length) >= room) return 0;
    char* moved = bytes + room - static_cast<size_t>(length);
    std::memmove(moved, bytes, static_cast<size_t>(length));
    const auto* start = reinterpret_cast<const Utf8Unit*>(moved);
    return DecodeInto(start, start + length, buffer, capacity);
}

std::wstring ReadModuleFileName(void* module) {
    const char* name = LoaderName(module);
    if (name == nullptr) return std::wstring();
    std::string bytes;
    if (name[0] == '\0') {
        if (!ReadExecutableLink(bytes)) return std::wstring();
    } else if (IsFullName(name)) {
        bytes = name;
    } else {
        return std::wstring();
    }
    // One unit per byte always suffices: an ill-formed part becomes one code point.
    std::wstring path(bytes.size() + 1, L'\0');
    const auto* start = reinterpret_cast<const Utf8Unit*>(bytes.data());
    const size_t capacity = path.size() < MaxModulePathLength + 1 ? path.size() : MaxModulePathLength + 1;
    path.resize(DecodeInto(start, start + bytes.size(), path.data(), capacity));
    return path;
}

std::string GetModulePath(void* module) {
    const std::wstring path = ReadModuleFileName(module);
    // Every element is a Unicode scalar value (ill-formed bytes became U+FFFD), so this cannot fail.
    std::string utf8;
    Utf32ToUtf8(Utf32String(path.begin(), path.end()), utf8);
    return utf8;
}

std::wstring GetModuleDirectory() { return PosixParentPath(ReadModuleFileName(nullptr)); }

}  // namespace Quorvin
