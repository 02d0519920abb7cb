// Large buffers filled once from start to end (a rank's share of a vector file, a piece of
// another rank's) fault their memory in 4 KiB at a time, and on a virtual machine each fault
// costs microseconds: hundreds of megabytes cost more in faults than in filling. Asking the
// kernel for 2 MiB pages over such a buffer makes the faults 512 times fewer.
#ifndef NEWSCLASS_BASE_HUGE_PAGES_H_
#define NEWSCLASS_BASE_HUGE_PAGES_H_

#include <cstddef>
#include <string>

namespace newsclass {

// Advises 2 MiB pages for the whole 2 MiB blocks inside [data, data + size); memory already
// touched, a kernel without them or a refusal leave things as they were (it is only advice).
void adviseHugePages(char* data, size_t size);

// Gives `buffer` room for `bytes` bytes at least, advised as above when the room is new.
void reserveWithHugePages(std::string& buffer, size_t bytes);

}  // namespace newsclass

#endif  // NEWSCLASS_BASE_HUGE_PAGES_H_
