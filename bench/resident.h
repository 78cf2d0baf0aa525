// Resident set size of the benchmark process, for the memory figures.
#pragma once

#include <cstdint>
#include <fstream>

namespace qm::bench {

// Bytes of this process held in memory; 0 where the system does not tell (read on Linux only).
inline std::uint64_t ResidentBytes()
{
#ifdef __linux__
    std::ifstream statm("/proc/self/statm");
    std::uint64_t size = 0;
    std::uint64_t resident = 0;
    if (statm >> size >> resident)
        return resident * 4096;
#endif
    return 0;
}

} // namespace qm::bench
