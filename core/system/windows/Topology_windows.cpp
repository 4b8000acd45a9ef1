// Processor topology from GetLogicalProcessorInformationEx, looked up at run time.
#include <cstdlib>

#include "core/system/Topology.h"
#include "core/windows/WindowsApi.h"

namespace Quorvin {

namespace {

using QueryFunction = BOOL(WINAPI*)(LOGICAL_PROCESSOR_RELATIONSHIP, PSYSTEM_LOGICAL_PROCESSOR_INFORMATION_EX,
                                    PDWORD);

struct FreeOnExit {
    void* memory;
    ~FreeOnExit() { std::free(memory); }
};

}  // namespace

void ProcessorTopology::Query(bool useEfficiencyClass) {
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    if (kernel == nullptr) return;
    const auto query = reinterpret_cast<QueryFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(kernel, "GetLogicalProcessorInformationEx")));
    if (query == nullptr) return;

    DWORD length = 0;
    if (query(RelationProcessorCore, nullptr, &length)) {
        AddCoreRecords(nullptr, 0, useEfficiencyClass);  // no cores to report
        return;
    }
    // Processors can be added while the process runs, so the answer may outgrow the length just
    // reported; ask again a few times with the new length.
    for (int attempt = 0; attempt < 4; ++attempt) {
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || length == 0) return;
        const DWORD capacity = length;
        FreeOnExit buffer{std::malloc(capacity)};
        if (buffer.memory == nullptr) return;
        if (query(RelationProcessorCore, static_cast<PSYSTEM_LOGICAL_PROCESSOR_INFORMATION_EX>(buffer.memory),
                  &length)) {
            AddCoreRecords(buffer.memory, length < capacity ? length : capacity, useEfficiencyClass);
            return;
        }
    }
}

}  // namespace Quorvin
