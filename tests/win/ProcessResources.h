// What the process holds, for tests that repeat a command many times and
// expect nothing to grow: committed private memory, GDI objects, USER objects
// and kernel handles. The system's counters are used where they work; Wine
// leaves GetGuiResources and the handle count at 0, so there the objects are
// counted one by one instead.
#pragma once

#include <windows.h>
#include <winternl.h>

#include <cstdint>
#include <ostream>

static_assert(sizeof(void*) == 8, "the process block offset below is that of 64-bit programs");

namespace process_resources {

// The committed private memory of the process, walked region by region.
inline SIZE_T PrivateBytes()
{
    SIZE_T total = 0;
    MEMORY_BASIC_INFORMATION info{};
    for (auto* address = static_cast<uint8_t*>(nullptr);
         VirtualQuery(address, &info, sizeof(info)) == sizeof(info);
         address = static_cast<uint8_t*>(info.BaseAddress) + info.RegionSize) {
        if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE)
            total += info.RegionSize;
        if (info.RegionSize == 0)
            break;
    }
    return total;
}

// Live GDI objects. Without the system's count, the entries of the process's
// GDI handle table (the process block's GdiSharedHandleTable; 24-byte entries
// whose byte 14 is the object's type, 0 when free, and whose byte 12 has the
// stock flag 0x80) that hold a non-stock object.
inline DWORD GdiObjects()
{
    if (DWORD count = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS))
        return count;
    using QueryProcess = NTSTATUS(NTAPI*)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);
    auto query = reinterpret_cast<QueryProcess>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess"));
    PROCESS_BASIC_INFORMATION basic{};
    if (!query || query(GetCurrentProcess(), ProcessBasicInformation, &basic, sizeof(basic), nullptr) != 0)
        return 0;
    const auto* peb = reinterpret_cast<const uint8_t*>(basic.PebBaseAddress);
    const auto* table = *reinterpret_cast<const uint8_t* const*>(peb + 0xF8);
    if (!table)
        return 0;
    DWORD count = 0;
    for (int i = 0; i < 0x10000; ++i) {
        const uint8_t* entry = table + 24 * i;
        if (entry[14] && !(entry[12] & 0x80))
            ++count;
    }
    return count;
}

// Live USER objects. Without the system's count, the windows and menus found
// under every handle value the system hands out (0x20 and up in steps of 2,
// which also match without their upper half).
inline DWORD UserObjects()
{
    if (DWORD count = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS))
        return count;
    DWORD count = 0;
    for (uintptr_t value = 0x20; value < 0x20 + 2 * 0x8000; value += 2)
        if (IsWindow(reinterpret_cast<HWND>(value)) || IsMenu(reinterpret_cast<HMENU>(value)))
            ++count;
    return count;
}

// Open kernel handles. Without the system's count, the handle values (multiples
// of 4) that the system says something about.
inline DWORD KernelHandles()
{
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count)
        return count;
    count = 0;
    for (uintptr_t value = 4; value < 0x10000; value += 4) {
        DWORD flags = 0;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags))
            ++count;
    }
    return count;
}

struct Snapshot {
    SIZE_T bytes = PrivateBytes();
    DWORD gdi = GdiObjects();
    DWORD user = UserObjects();
    DWORD handles = KernelHandles();
};

inline std::ostream& operator<<(std::ostream& out, const Snapshot& s)
{
    return out << s.bytes << " bytes, " << s.gdi << " GDI, " << s.user << " USER, " << s.handles << " handles";
}

} // namespace process_resources
