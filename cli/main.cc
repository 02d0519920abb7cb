// newsclass: the thin executable around runNewsclass.
#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "base/cluster.h"
#include "cli/cmd_cli.h"

namespace {

// The standard stream that is closed, or nullptr when all three are open. A closed descriptor
// 0, 1 or 2 would be handed to the first file this run opens (the lock file, a data file), and
// answers would then be written into that file, or input read from it.
const char* closedStandardStream() {
  static const char* const kNames[] = {"standard input", "standard output", "standard error"};
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF) return kNames[fd];
  }
  return nullptr;
}

// The vector models are filled once, page by page: a model of 100,000 articles touches
// hundreds of thousands of fresh 4 KiB pages, and on a virtual machine each fault costs
// microseconds (a quarter of a 100,000-headline pipeline). glibc advises 2 MiB pages for the
// heap it grows when its hugetlb tunable is set, which it reads only as a process starts: so
// the process sets it and starts itself again, once. A user's own setting of it is kept, and
// a failed restart goes on as it was.
void restartWithLargeHeapPages(char** argv) {
#ifdef __GLIBC__
  const char* tunables = std::getenv("GLIBC_TUNABLES");
  if (tunables != nullptr && std::strstr(tunables, "glibc.malloc.hugetlb") != nullptr) return;
  const std::string previous = tunables != nullptr ? tunables : "";
  const std::string value =
      (previous.empty() ? "" : previous + ":") + "glibc.malloc.hugetlb=1";
  if (::setenv("GLIBC_TUNABLES", value.c_str(), 1) != 0) return;
  ::execv("/proc/self/exe", argv);
  if (tunables != nullptr) {
    ::setenv("GLIBC_TUNABLES", previous.c_str(), 1);
  } else {
    ::unsetenv("GLIBC_TUNABLES");
  }
#else
  (void)argv;
#endif
}

}  // namespace

int main(int argc, char** argv) {
  // Before anything opens a file.
  if (const char* closed = closedStandardStream()) {
    if (::fcntl(STDERR_FILENO, F_GETFD) != -1) {
      const std::string line = std::string("newsclass: ") + closed + " is closed\n";
      [[maybe_unused]] ssize_t ignored = ::write(STDERR_FILENO, line.data(), line.size());
    }
    return 2;
  }
  restartWithLargeHeapPages(argv);
  // Under mpirun or srun this process is one rank of a job (base/cluster.h).
  const std::string clusterError = newsclass::cluster::start(&argc, &argv);
  if (!clusterError.empty()) {
    std::cerr << "newsclass: " << clusterError << "\n";
    return 2;
  }
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
  const int code = newsclass::runNewsclass(argc, argv, std::cin, out, std::cerr);
  out.flush();
  newsclass::cluster::finish();
  return code;
}
