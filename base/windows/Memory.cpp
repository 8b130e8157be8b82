// The Windows side of base/Memory.h.
#include "base/Memory.h"

#include <windows.h>

namespace tavorin {

void SecureWipe(void* data, std::size_t size) noexcept {
    if (data != nullptr && size != 0) {
        SecureZeroMemory(data, size);
    }
}

void DisableCoreDumps() noexcept {
    // No dialog and no report to Windows Error Reporting, which would write the process's memory
    // into a dump: a crash ends the process at once, before the system's default filter runs.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter([](EXCEPTION_POINTERS*) -> LONG {
        TerminateProcess(GetCurrentProcess(), 0xC0000409);  // STATUS_STACK_BUFFER_OVERRUN: no report
        return EXCEPTION_CONTINUE_SEARCH;
    });
}

// The C runtime's heap hands large blocks to the system and back on its own.
void SetLargeBlockPolicy(std::size_t direct, std::size_t kept) noexcept { (void)direct, (void)kept; }

// Large pages need a privilege (SeLockMemoryPrivilege) and must be asked for when the memory is
// reserved; a buffer already allocated cannot be given them.
void AdviseLargePages(void* data, std::size_t size) noexcept { (void)data, (void)size; }

// Windows has no call that gives pages their memory without touching them, and touching them
// here could race with the thread that writes there: the first write faults them in.
void PrefaultPages(void* data, std::size_t size) noexcept { (void)data, (void)size; }

}  // namespace tavorin
