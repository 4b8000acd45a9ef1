// Tests of module paths on Linux: this program, a small library loaded from folders named with text
// outside the BMP, with bytes that are not UTF-8 and at the longest path the system allows, and a
// copy of this program run from such a path.
#include <dlfcn.h>
#include <limits.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "core/system/ModulePath.h"
#include "core/text/Utf.h"

extern char** environ;

namespace Quorvin {
namespace {

namespace fs = std::filesystem;

constexpr char TestLibrary[] = QUORVIN_MODULE_PATH_TEST_LIBRARY;
constexpr char ChildMarker[] = "QUORVIN_MODULE_PATH_EXPECTED";

class TempFolder {
public:
    TempFolder() {
        std::string pattern = (fs::temp_directory_path() / "quorvin-module-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed";
        path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    std::string Path() const { return path_; }

private:
    std::string path_;
};

// A library loaded from a path of our choosing, with an address inside it.
class LoadedCopy {
public:
    // Copies the test library to `path` (its folder is created) and loads it from there by `name`
    // (the path itself unless given).
    explicit LoadedCopy(const std::string& path, const std::string& name = "") {
        fs::create_directories(fs::path(path).parent_path());
        fs::copy_file(TestLibrary, path, fs::copy_options::overwrite_existing);
        handle_ = dlopen((name.empty() ? path : name).c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle_ == nullptr) {
            ADD_FAILURE() << "dlopen: " << dlerror();
            return;
        }
        function_ = dlsym(handle_, "QuorvinModulePathTestFunction");
        variable_ = dlsym(handle_, "quorvinModulePathTestVariable");
    }
    ~LoadedCopy() {
        if (handle_ != nullptr) dlclose(handle_);
    }
    void* Handle() const { return handle_; }
    void* Function() const { return function_; }
    void* Variable() const { return variable_; }

private:
    void* handle_ = nullptr;
    void* function_ = nullptr;
    void* variable_ = nullptr;
};

std::u32string CodePoints(const std::string& utf8) {
    std::u32string result;
    EXPECT_TRUE(Utf8ToUtf32(utf8, result)) << utf8;
    return result;
}

std::wstring Wide(const std::u32string& text) { return std::wstring(text.begin(), text.end()); }

// Every way of reading a module's name must give `expected` (well-formed UTF-8): the UTF-8 path, the
// wide path, and the unallocating read into a buffer that fits exactly, but not into one unit less.
void ExpectName(void* module, const std::string& expected) {
    EXPECT_EQ(GetModulePath(module), expected);
    const std::wstring wide = Wide(CodePoints(expected));
    EXPECT_EQ(ReadModuleFileName(module), wide);
    std::vector<wchar_t> buffer(wide.size() + 1, L'?');
    EXPECT_EQ(ReadModuleFileName(module, buffer.data(), buffer.size()), wide.size());
    EXPECT_EQ(std::wstring(buffer.data()), wide);
    std::vector<wchar_t> small(wide.size(), L'?');
    EXPECT_EQ(ReadModuleFileName(module, small.data(), small.size()), 0u);
}

// An independent reading of file-name bytes: the longest well-formed sequence at each position,
// else one U+FFFD for the longest run there that some continuation bytes could still complete
// (found by trying them; 80, 90 and A0 between them meet every second-byte range), else one for
// the byte alone.
std::string ReplaceIllFormed(const std::string& bytes) {
    auto wellFormed = [](const std::string& sequence) {
        std::u32string ignored;
        return Utf8ToUtf32(sequence, ignored);
    };
    std::string result;
    for (size_t at = 0; at < bytes.size();) {
        size_t sequence = 0;
        for (size_t length = 1; length <= 4 && at + length <= bytes.size(); ++length)
            if (wellFormed(bytes.substr(at, length))) sequence = length;
        if (sequence != 0) {
            result += bytes.substr(at, sequence);
            at += sequence;
            continue;
        }
        size_t prefix = 1;
        for (size_t length = 2; length <= 3 && at + length <= bytes.size(); ++length) {
            bool completes = false;
            for (size_t extra = 1; extra + length <= 4 && !completes; ++extra) {
                for (const char second : {'\x80', '\x90', '\xA0'}) {
                    if (wellFormed(bytes.substr(at, length) + std::string(extra, second))) completes = true;
                }
            }
            if (!completes) break;
            prefix = length;
        }
        result += "\xEF\xBF\xBD";
        at += prefix;
    }
    return result;
}

int CalledFromTheExecutable() { return 1; }
int variableOfTheExecutable = 2;

TEST(ModulePath, TheExecutableAndAnythingInIt) {
    const std::string self = fs::canonical("/proc/self/exe").string();
    ExpectName(nullptr, self);
    ExpectName(reinterpret_cast<void*>(&CalledFromTheExecutable), self);
    ExpectName(&variableOfTheExecutable, self);
    EXPECT_EQ(GetModuleDirectory(), Wide(CodePoints(fs::path(self).parent_path().string())));

    // A C library function: the loader's own answer names the same file.
    void* inLibrary = dlsym(RTLD_DEFAULT, "sched_yield");
    Dl_info info{};
    ASSERT_NE(dladdr(inLibrary, &info), 0);
    ASSERT_EQ(info.dli_fname[0], '/');
    EXPECT_NE(std::string(info.dli_fname), self);
    ExpectName(inLibrary, info.dli_fname);

    // Addresses in no module: the heap, a fresh mapping, the top of the address space.
    void* heap = std::malloc(64);
    void* mapping = mmap(nullptr, 4096, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(mapping, MAP_FAILED);
    for (void* nowhere : {heap, mapping, reinterpret_cast<void*>(~uintptr_t{0})}) {
        EXPECT_EQ(GetModulePath(nowhere), "");
        EXPECT_EQ(ReadModuleFileName(nowhere), L"");
        wchar_t buffer[64] = {L'?'};
        EXPECT_EQ(ReadModuleFileName(nowhere, buffer, 64), 0u);
    }
    munmap(mapping, 4096);
    std::free(heap);
    wchar_t none[1];
    EXPECT_EQ(ReadModuleFileName(nullptr, none, 0), 0u);
    EXPECT_EQ(ReadModuleFileName(nullptr, nullptr, 100), 0u);
}

TEST(ModulePath, LibraryInFoldersNamedOutsideTheBmp) {
    TempFolder folder;
    const std::string path =
        folder.Path() + "/模块 \xF0\x9F\x98\x80 \xF0\x90\x8D\x88/\xF0\x9D\x84\x9E/lib\xF0\x9F\x8E\xB5.so";
    LoadedCopy library(path);
    ASSERT_NE(library.Function(), nullptr);
    ExpectName(library.Function(), path);
    ExpectName(library.Variable(), path);
    // Code points, not UTF-16 units: U+1F600 is one element.
    const std::wstring wide = ReadModuleFileName(library.Function());
    EXPECT_NE(wide.find(static_cast<wchar_t>(0x1F600)), std::wstring::npos);
    EXPECT_NE(wide.find(L"/\U0001D11E/lib\U0001F3B5.so"), std::wstring::npos);

    // A library loaded through a relative name has no full name to give.
    const std::string relative = folder.Path() + "/relative/librelative.so";
    const fs::path before = fs::current_path();
    fs::create_directories(folder.Path() + "/relative");
    fs::current_path(folder.Path() + "/relative");
    LoadedCopy byRelativeName(relative, "./librelative.so");
    fs::current_path(before);
    ASSERT_NE(byRelativeName.Function(), nullptr);
    EXPECT_EQ(GetModulePath(byRelativeName.Function()), "");
    wchar_t buffer[512];
    EXPECT_EQ(ReadModuleFileName(byRelativeName.Function(), buffer, 512), 0u);
}

TEST(ModulePath, BytesThatAreNotUtf8BecomeReplacementCharacters) {
    TempFolder folder;
    // A stray continuation, an overlong form, an encoded surrogate, a four-byte start cut short and a
    // three-byte start cut by the separator.
    const std::string folderBytes = "bad-\xFF-\xC0\xAF-\xED\xA0\x80-\xF0\x9F\x98-\xC3\xA9-\xE2\x82";
    LoadedCopy library(folder.Path() + "/" + folderBytes + "/lib.so");
    ASSERT_NE(library.Function(), nullptr);
    const std::string expected =
        folder.Path() + "/bad-\uFFFD-\uFFFD\uFFFD-\uFFFD\uFFFD\uFFFD-\uFFFD-\u00E9-\uFFFD/lib.so";
    EXPECT_EQ(ReplaceIllFormed(folder.Path() + "/" + folderBytes + "/lib.so"), expected);
    ExpectName(library.Function(), expected);

    // Random names (any bytes but '/' and NUL) against the independent reading.
    std::mt19937 random(9);
    for (int round = 0; round < 40; ++round) {
        std::string name;
        const size_t length = 1 + random() % 24;
        while (name.size() < length) {
            const auto byte =
                static_cast<char>(random() % 4 == 0 ? 0x20 + random() % 0x60 : 0x80 + random() % 0x80);
            if (byte != '/') name += byte;
        }
        const std::string path = folder.Path() + "/" + std::to_string(round) + name + "/lib.so";
        LoadedCopy copy(path);
        ASSERT_NE(copy.Function(), nullptr);
        ExpectName(copy.Function(), ReplaceIllFormed(path));
    }
}

// A path of about `bytes` bytes under `base`: components of up to 250 bytes mixing ASCII with
// characters of two, three and four bytes.
std::string LongPath(const std::string& base, size_t bytes, const std::string& leaf) {
    const std::string pieces[] = {"a", "\xC3\xA9", "\xE4\xB8\xAD", "\xF0\x9F\x98\x80"};
    std::string path = base;
    size_t piece = 0;
    while (path.size() + leaf.size() + 2 < bytes) {
        std::string component;
        const size_t limit = std::min<size_t>(250, bytes - path.size() - leaf.size() - 2);
        while (component.size() + pieces[piece % 4].size() <= limit) component += pieces[piece++ % 4];
        if (component.empty()) break;
        path += "/" + component;
    }
    return path + "/" + leaf;
}

TEST(ModulePath, LibraryAtTheLongestPathTheSystemAllows) {
    TempFolder folder;
    // The loader opens the file by its name, so the name must stay below PATH_MAX with its NUL.
    const std::string path = LongPath(folder.Path(), PATH_MAX - 1, "lib.so");
    ASSERT_GT(path.size(), PATH_MAX - 16u);
    ASSERT_LT(path.size(), static_cast<size_t>(PATH_MAX));
    LoadedCopy library(path);
    ASSERT_NE(library.Function(), nullptr);
    ExpectName(library.Function(), path);
    EXPECT_GT(ReadModuleFileName(library.Function()).size(), 255u);
}

TEST(ModulePath, TheExecutableCopiedToALongPath) {
    if (const char* expected = std::getenv(ChildMarker)) {
        // The copy: its own path, read at its full length.
        ExpectName(nullptr, expected);
        EXPECT_EQ(GetModuleDirectory(), Wide(CodePoints(fs::path(expected).parent_path().string())));
        return;
    }
    TempFolder folder;
    const std::string path = LongPath(folder.Path(), PATH_MAX - 1, "copy-of-tests");
    ASSERT_GT(path.size(), 255u * 8);
    fs::create_directories(fs::path(path).parent_path());
    fs::copy_file("/proc/self/exe", path);
    fs::permissions(path, fs::perms::owner_all);

    std::string marker = std::string(ChildMarker) + "=" + path;
    std::vector<char*> environment;
    for (char** variable = environ; *variable != nullptr; ++variable) environment.push_back(*variable);
    environment.push_back(marker.data());
    environment.push_back(nullptr);
    std::string filter = "--gtest_filter=ModulePath.TheExecutableCopiedToALongPath";
    char* arguments[] = {const_cast<char*>(path.c_str()), filter.data(), nullptr};
    pid_t child = 0;
    ASSERT_EQ(posix_spawn(&child, path.c_str(), nullptr, nullptr, arguments, environment.data()), 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the copy at " << path.size() << " bytes did not read its own path";
}

}  // namespace
}  // namespace Quorvin
