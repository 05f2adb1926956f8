// How much memory the process can still get. A host that is granted more
// than the machine has is killed on first touch rather than refused, so the
// reader asks before the host allocates.
#include "memory.h"

#include <cstdio>

#if defined(__linux__)
#include <sys/resource.h>
#include <unistd.h>
#elif defined(__APPLE__)
#include <mach/mach.h>
#include <sys/resource.h>
#include <unistd.h>
#elif defined(_WIN32)
#include <windows.h>
#endif

namespace {

#if defined(__linux__)
// A field of /proc/meminfo in bytes, or -1.
int64_t meminfo_bytes(const char *field)
{
    FILE *f = fopen("/proc/meminfo", "re");
    if (f == nullptr)
        return -1;
    char line[256];
    long long kilobytes = -1;
    while (fgets(line, sizeof line, f) != nullptr) {
        char name[64];
        long long value = 0;
        if (sscanf(line, "%63[^:]: %lld", name, &value) == 2 && __builtin_strcmp(name, field) == 0) {
            kilobytes = value;
            break;
        }
    }
    fclose(f);
    return kilobytes < 0 ? -1 : kilobytes * 1024;
}

int64_t address_space_used()
{
    FILE *f = fopen("/proc/self/statm", "re");
    if (f == nullptr)
        return 0;
    long long pages = 0;
    if (fscanf(f, "%lld", &pages) != 1)
        pages = 0;
    fclose(f);
    return pages * sysconf(_SC_PAGESIZE);
}

int64_t machine_available()
{
    int64_t available = meminfo_bytes("MemAvailable");
    if (available < 0)
        available = static_cast<int64_t>(sysconf(_SC_AVPHYS_PAGES)) * sysconf(_SC_PAGESIZE);
    return available;
}
#elif defined(__APPLE__)
int64_t address_space_used()
{
    mach_task_basic_info_data_t info;
    mach_msg_type_number_t count = MACH_TASK_BASIC_INFO_COUNT;
    if (task_info(mach_task_self(), MACH_TASK_BASIC_INFO, reinterpret_cast<task_info_t>(&info), &count) != KERN_SUCCESS)
        return 0;
    return static_cast<int64_t>(info.virtual_size);
}

int64_t machine_available()
{
    vm_statistics64_data_t stats;
    mach_msg_type_number_t count = HOST_VM_INFO64_COUNT;
    if (host_statistics64(mach_host_self(), HOST_VM_INFO64, reinterpret_cast<host_info64_t>(&stats), &count) !=
        KERN_SUCCESS)
        return INT64_MAX;
    int64_t pages = static_cast<int64_t>(stats.free_count) + stats.inactive_count + stats.purgeable_count;
    return pages * static_cast<int64_t>(vm_page_size);
}
#elif defined(_WIN32)
int64_t machine_available()
{
    MEMORYSTATUSEX status;
    status.dwLength = sizeof status;
    if (!GlobalMemoryStatusEx(&status))
        return INT64_MAX;
    uint64_t least = status.ullAvailPhys + status.ullAvailPageFile / 2;
    if (status.ullAvailVirtual < least)
        least = status.ullAvailVirtual;
    return least > INT64_MAX ? INT64_MAX : static_cast<int64_t>(least);
}
#else
int64_t machine_available() { return INT64_MAX; }
#endif

} // namespace

int64_t memory_available(const MatrixChannel *ch)
{
    if (ch != nullptr && ch->memory_budget > 0)
        return ch->memory_budget;
    int64_t available = machine_available();
#if defined(__linux__) || defined(__APPLE__)
    struct rlimit limit;
    if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        int64_t left = static_cast<int64_t>(limit.rlim_cur) - address_space_used();
        if (left < available)
            available = left > 0 ? left : 0;
    }
#endif
    return available;
}

int64_t output_bytes(int64_t columns, int64_t slots, int complex_values)
{
    // Both terms stay far below 2^62 for any 32-bit column count and capped slot count.
    int64_t entry = complex_values ? 24 : 16;
    return 2 * ((columns + 1) * 8 + slots * entry);
}

int64_t result_bytes(const MatrixChannel *ch, int64_t columns, int64_t slots, int complex_values)
{
    int copies = ch != nullptr && ch->result_copies > 0 ? ch->result_copies : 2;
    return output_bytes(columns, slots, complex_values) / 2 * copies;
}

int64_t reservable_bytes(const MatrixChannel *ch, int64_t available)
{
    if (ch != nullptr && ch->memory_budget > 0)
        return 0;
#if defined(__linux__) || defined(__APPLE__)
    struct rlimit limit;
    if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        return 0;
#endif
    return available / 2;
}

int memory_fits(int64_t needed, int64_t held, int64_t available)
{
    return needed - held <= available ? 1 : 0;
}
