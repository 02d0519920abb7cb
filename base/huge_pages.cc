#include "base/huge_pages.h"

#include <sys/mman.h>

#include <cstdint>

namespace newsclass {

void adviseHugePages(char* data, size_t size) {
#ifdef MADV_HUGEPAGE
  constexpr uintptr_t kHugePage = uintptr_t{2} << 20;
  const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + kHugePage - 1) & ~(kHugePage - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + size) & ~(kHugePage - 1);
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
  (void)data;
  (void)size;
#endif
}

void reserveWithHugePages(std::string& buffer, size_t bytes) {
  if (buffer.capacity() >= bytes) return;
  buffer.reserve(bytes);
  adviseHugePages(buffer.data(), buffer.capacity());
}

}  // namespace newsclass
