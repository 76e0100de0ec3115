// The memory figures of this process: the resident set now (VmRSS) and its
// peak so far (VmHWM) from /proc/self/status, in kB (0 where a line is
// missing), and the bytes the program holds on the heap.
//
// Under a sanitizer the resident set also holds the sanitizer's own memory:
// ASan keeps freed blocks in a quarantine of up to 256 MB before reusing
// them, so its resident set climbs for minutes with no leak at all. The heap
// figure is the one to judge growth by: the sanitizer's count of live
// allocated bytes, or malloc's in a build without one.
#pragma once

#include <malloc.h>

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VORELAN_SANITIZER_HEAP 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define VORELAN_SANITIZER_HEAP 1
#endif
#endif
#ifdef VORELAN_SANITIZER_HEAP
// The sanitizer runtime's count of live heap bytes (GCC ships no header for it).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

struct ProcessMemory {
  std::uint64_t residentKb = 0;
  std::uint64_t peakResidentKb = 0;
  std::uint64_t heapKb = 0;

  static ProcessMemory now() {
    ProcessMemory memory;
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
      std::istringstream fields(line);
      std::string name;
      std::uint64_t kb = 0;
      fields >> name >> kb;
      if (name == "VmRSS:") memory.residentKb = kb;
      if (name == "VmHWM:") memory.peakResidentKb = kb;
    }
#ifdef VORELAN_SANITIZER_HEAP
    memory.heapKb = __sanitizer_get_current_allocated_bytes() / 1024;
#else
    const struct mallinfo2 heap = mallinfo2();
    memory.heapKb = (heap.uordblks + heap.hblkhd) / 1024;
#endif
    return memory;
  }
};
