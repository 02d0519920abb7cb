// newsclass: the thin executable around runNewsclass.
#include <malloc.h>
#include <unistd.h>

#include <iostream>

#include "driver/cmd_cli.h"

int main(int argc, char** argv) {
  // The stages build maps of hundreds of thousands of small nodes. Growing and trimming the heap
  // in 64 MiB steps instead of page-sized ones saves a system call per few pages, which costs
  // the data-file loads up to a third of their time; memory is still only used when touched.
  mallopt(M_TOP_PAD, 64 << 20);
  mallopt(M_TRIM_THRESHOLD, 128 << 20);
  std::ios::sync_with_stdio(false);
  // Standard output goes through a buffer that keeps the reason of a failed write (a full disk,
  // a closed pipe), so that runNewsclass can report it; std::cout would only turn bad.
  newsclass::FileDescriptorBuffer standardOutput(STDOUT_FILENO);
  std::ostream out(&standardOutput);
  std::cin.tie(&out);
  return newsclass::runNewsclass(argc, argv, std::cin, out, std::cerr);
}
