// A family of interchangeable kernels, one of which a process chooses once: the fastest that this
// build has and this machine runs (AVX2, then the SSE2 baseline, then portable code), or the one a
// test hook names in an environment variable. Every kernel of a family gives exactly the same
// results; the choice only changes speed.
//
// A test hook that names a kernel the build or the machine lacks is reported, never replaced: the
// request keeps the reason, and the family's tests show it as their skip reason.
//
// Thread-safety: every member may be called from any thread; the choice is made once.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>

#include "core/base/Compiler.h"

namespace Quorvin {

/// The kernels of a family in order of preference, lowest first.
enum class KernelId { Portable, Sse2, Avx2 };
/// The number of KernelId values.
inline constexpr int KernelCount = 3;

/// The name of kernel `id` as a test hook spells it: "portable", "sse2" or "avx2".
inline const char* KernelName(KernelId id) noexcept {
    switch (id) {
    case KernelId::Portable: return "portable";
    case KernelId::Sse2: return "sse2";
    case KernelId::Avx2: return "avx2";
    }
    return "?";
}

/// What a test hook asked for and whether it was granted.
struct KernelRequest {
    std::string requested;  ///< the variable's value, empty when it is not set
    std::string problem;    ///< empty when the request is granted (or absent), else the reason
    bool known = true;      ///< false when the name is none of the kernels'
};

/// The kernels of one family (a table type `Kernel` of function pointers) and the one the process
/// uses. Declare one object per kernel type, constant-initialised (`constinit`), so that it is in
/// place before any constructor runs.
template <class Kernel>
class KernelFamily {
public:
    /// Returns the family's kernel `id`, or null with the reason in `whyNot` (when given) when the
    /// build or the machine lacks it.
    using Finder = const Kernel* (*)(KernelId id, std::string* whyNot) noexcept;

    /// `hook` names the environment variable that forces a kernel. `beforeChoice`, when given, is
    /// the table that InUse() returns until the choice is made: its functions make the choice
    /// through Active() and call on, so that callers of InUse() never test whether it is made.
    constexpr KernelFamily(const char* hook, Finder find, const Kernel* beforeChoice = nullptr) noexcept
        : hook(hook), find(find), inUse(beforeChoice) {}

    KernelFamily(const KernelFamily&) = delete;
    KernelFamily& operator=(const KernelFamily&) = delete;

    /// The kernel `id` (see Finder).
    const Kernel* Find(KernelId id, std::string* whyNot = nullptr) const noexcept { return find(id, whyNot); }

    /// The chosen kernel; the first call makes the choice.
    const Kernel& Active() noexcept { return *Choice().kernel; }

    /// What the test hook asked for at the choice.
    const KernelRequest& Request() noexcept { return Choice().request; }

    /// The table to call through: `beforeChoice` until the choice is made, the chosen kernel from
    /// then on, so that a call costs one load and an indirect call. Null only for a family without
    /// `beforeChoice` whose choice is not made yet.
    const Kernel* InUse() const noexcept { return inUse.load(std::memory_order_acquire); }

private:
    struct Chosen {
        const Kernel* kernel = nullptr;  // never null once chosen
        KernelRequest request;
    };

    // Made on the first call, under the guard of a function-local static: one per kernel type,
    // hence one family object per kernel type.
    const Chosen& Choice() noexcept {
        static const Chosen chosen = Choose();
        return chosen;
    }

    // Without a request the choice is AVX2, else SSE2, else portable; a build without SSE2 code
    // leaves the faster kernels to the hook. With the hook set, the named kernel is used if it is
    // available; otherwise the choice stays automatic and the request says why.
    Chosen Choose() noexcept {
        Chosen chosen;
        chosen.kernel = find(KernelId::Portable, nullptr);
#if QUORVIN_HAS_SSE2
        if (const Kernel* avx2 = find(KernelId::Avx2, nullptr)) {
            chosen.kernel = avx2;
        } else if (const Kernel* sse2 = find(KernelId::Sse2, nullptr)) {
            chosen.kernel = sse2;
        }
#endif
        chosen.request = ForcedRequest(chosen.kernel);
        inUse.store(chosen.kernel, std::memory_order_release);
        return chosen;
    }

    KernelRequest ForcedRequest(const Kernel*& kernel) const {
        KernelRequest request;
        const char* forced = std::getenv(hook);
        if (forced == nullptr || *forced == '\0') return request;
        request.requested = forced;
        for (int i = 0; i < KernelCount; ++i) {
            const auto id = static_cast<KernelId>(i);
            if (request.requested != KernelName(id)) continue;
            std::string whyNot;
            if (const Kernel* named = find(id, &whyNot)) {
                kernel = named;
            } else {
                request.problem = std::string(hook) + "=" + request.requested + ": " + whyNot;
            }
            return request;
        }
        request.known = false;
        request.problem =
            std::string(hook) + "=" + request.requested + ": no such kernel (portable, sse2 or avx2)";
        return request;
    }

    const char* hook;
    Finder find;
    std::atomic<const Kernel*> inUse;
};

}  // namespace Quorvin
