// The set-once instance slot.
#include "core/runtime/GlobalInstance.h"

#include <atomic>

#include "core/diagnostics/Ensure.h"

namespace Quorvin {
namespace {

struct alignas(64) InstanceSlot {
    std::atomic<void*> pointer{nullptr};
};

InstanceSlot Slot;
DefaultGlobalInstance DefaultInstance;

void Install(void* instance) {
    void* ptr = Slot.pointer.exchange(instance);
    QUORVIN_ENSURE(ptr == nullptr);
}

}  // namespace

void* SetGlobalInstance(void* instance) {
    Install(instance);
    return instance;
}

void* GetGlobalInstance() { return Slot.pointer.load(); }

void InstallDefaultGlobalInstance() {
    Install(&DefaultInstance);
    DefaultInstance.installed = 1;
}

}  // namespace Quorvin
