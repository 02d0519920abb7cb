// MPI underneath when the program is built with it (NEWSCLASS_WITH_MPI); otherwise one rank.
#include "base/cluster.h"

#include <pthread.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <thread>
#include <utility>

#ifdef NEWSCLASS_WITH_MPI
#include <mpi.h>
#endif

#include "base/huge_pages.h"
#include "base/staged_folder.h"

namespace newsclass::cluster {
namespace {

int gRank = 0;
int gSize = 1;
int gLocalSize = 1;
bool gJoined = false;

#ifndef NEWSCLASS_WITH_MPI
// The size of the job a launcher announces in the environment, 0 when none does: Open MPI's
// mpirun or a PMI launcher (srun).
int launcherJobSize() {
  for (const char* name : {"OMPI_COMM_WORLD_SIZE", "PMI_SIZE"}) {
    if (const char* value = std::getenv(name)) {
      const int size = std::atoi(value);
      if (size > 0) return size;
    }
  }
  return 0;
}
#endif

// Whether a launcher started this process: Open MPI's mpirun, or srun through PMI or PMIx.
bool underLauncher() {
  for (const char* name : {"OMPI_COMM_WORLD_SIZE", "PMIX_RANK", "PMI_RANK"}) {
    if (std::getenv(name) != nullptr) return true;
  }
  return false;
}

#ifdef NEWSCLASS_WITH_MPI
// When one rank fails or dies the launcher ends the others with SIGTERM (SIGKILL a little
// later). A rank ended so removes its staged data files first, so that the data folder keeps
// no trace of the run. The signals are blocked in every thread (the mask is inherited) and
// taken by one thread of their own, where removing files is safe.
void watchForTermination() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::thread([signals] {
    int signal = 0;
    if (sigwait(&signals, &signal) != 0) return;
    StagedFolder::removeAllUncommitted();
    ::_exit(128 + signal);
  }).detach();
}

// MPI counts are ints; a message goes in pieces of at most 1 GiB.
constexpr uint64_t kPiece = uint64_t{1} << 30;

void check(int result, const char* what) {
  if (result != MPI_SUCCESS) throw std::runtime_error(std::string("MPI: ") + what + " failed");
}

// Waits for a started operation without spinning: a rank waiting for another (rank 0 alone
// picks the keywords; the others wait) sleeps between checks, so that it leaves the core to
// the ranks and threads that work, and to the kernel writing the files. The pause grows from
// 50 microseconds to 2 milliseconds while nothing arrives. Only a message's size is awaited
// so; its bytes, which the other rank is sending by then, are taken with the plain blocking
// calls, as a large message moves only while both ends drive it.
void await(MPI_Request& request, const char* what) {
  long pause = 50'000;
  for (;;) {
    int done = 0;
    check(MPI_Test(&request, &done, MPI_STATUS_IGNORE), what);
    if (done) return;
    const timespec wait{0, pause};
    nanosleep(&wait, nullptr);
    pause = std::min(pause * 2, 2'000'000L);
  }
}

void broadcastFrom(int root, std::string& bytes) {
  uint64_t size = bytes.size();
  MPI_Request request;
  check(MPI_Ibcast(&size, 1, MPI_UINT64_T, root, MPI_COMM_WORLD, &request), "broadcast");
  await(request, "broadcast");
  if (gRank != root) bytes.resize(size);
  for (uint64_t done = 0; done < size; done += kPiece) {
    const int piece = static_cast<int>(std::min(kPiece, size - done));
    check(MPI_Bcast(bytes.data() + done, piece, MPI_BYTE, root, MPI_COMM_WORLD), "broadcast");
  }
}

void sendTo(int to, const std::string& bytes) {
  uint64_t size = bytes.size();
  MPI_Request request;
  // Synchronous: the size is taken only once the receiver is there for it, so that the sender
  // sleeps while it waits, not spinning in the send of the bytes.
  check(MPI_Issend(&size, 1, MPI_UINT64_T, to, 0, MPI_COMM_WORLD, &request), "send");
  await(request, "send");
  for (uint64_t done = 0; done < size; done += kPiece) {
    const int piece = static_cast<int>(std::min(kPiece, size - done));
    check(MPI_Send(bytes.data() + done, piece, MPI_BYTE, to, 1, MPI_COMM_WORLD), "send");
  }
}

// Receives into `bytes`, whose room is kept from one message to the next: a long run of
// pieces reuses the same memory instead of faulting in new pages for each.
void receiveInto(int from, std::string& bytes) {
  uint64_t size = 0;
  MPI_Request request;
  check(MPI_Irecv(&size, 1, MPI_UINT64_T, from, 0, MPI_COMM_WORLD, &request), "receive");
  await(request, "receive");
  reserveWithHugePages(bytes, size);
  bytes.resize(size);
  for (uint64_t done = 0; done < size; done += kPiece) {
    const int piece = static_cast<int>(std::min(kPiece, size - done));
    check(MPI_Recv(bytes.data() + done, piece, MPI_BYTE, from, 1, MPI_COMM_WORLD,
                   MPI_STATUS_IGNORE),
          "receive");
  }
}

std::string receiveFrom(int from) {
  std::string bytes;
  receiveInto(from, bytes);
  return bytes;
}
#endif

}  // namespace

std::string start(int* argc, char*** argv) {
  if (!underLauncher()) return "";
#ifdef NEWSCLASS_WITH_MPI
  // Only the main thread calls MPI; the stages' worker threads never do.
  watchForTermination();
  int provided = 0;
  if (MPI_Init_thread(argc, argv, MPI_THREAD_FUNNELED, &provided) != MPI_SUCCESS) {
    return "MPI: cannot join the job the launcher started";
  }
  gJoined = true;
  MPI_Comm_rank(MPI_COMM_WORLD, &gRank);
  MPI_Comm_size(MPI_COMM_WORLD, &gSize);
  MPI_Comm local;
  if (MPI_Comm_split_type(MPI_COMM_WORLD, MPI_COMM_TYPE_SHARED, gRank, MPI_INFO_NULL, &local) ==
      MPI_SUCCESS) {
    MPI_Comm_size(local, &gLocalSize);
    MPI_Comm_free(&local);
  }
  return "";
#else
  (void)argc;
  (void)argv;
  const int size = launcherJobSize();
  if (size > 1) {
    return "this newsclass was built without MPI, so the " + std::to_string(size) +
           " processes the launcher started would each run alone; build it with Open MPI "
           "(libopenmpi-dev) or run one process";
  }
  return "";
#endif
}

void finish() {
#ifdef NEWSCLASS_WITH_MPI
  if (gJoined) MPI_Finalize();
  gJoined = false;
#endif
}

int rank() { return gRank; }
int ranksOnThisMachine() { return gLocalSize; }
int size() { return gSize; }

void abortJob(int code) {
#ifdef NEWSCLASS_WITH_MPI
  if (gJoined) MPI_Abort(MPI_COMM_WORLD, code);
#endif
  std::_Exit(code);
}

ArticleRange shareOf(ArticleRange range, int rank, int ranks) {
  const int64_t total = range.size();
  const int64_t base = total / ranks;
  const int64_t longer = total % ranks;
  const int64_t before = base * rank + std::min<int64_t>(rank, longer);
  const int64_t length = base + (rank < longer ? 1 : 0);
  ArticleRange share;
  share.firstId = static_cast<int32_t>(range.firstId + before);
  share.lastId = static_cast<int32_t>(range.firstId + before + length - 1);
  return share;
}

void broadcast(std::string& bytes) {
#ifdef NEWSCLASS_WITH_MPI
  if (gSize > 1) broadcastFrom(0, bytes);
#else
  (void)bytes;
#endif
}

void gatherToRoot(std::string bytes,
                  const std::function<void(int fromRank, std::string bytes)>& take) {
#ifdef NEWSCLASS_WITH_MPI
  if (gSize <= 1) return;
  if (gRank != 0) {
    sendTo(0, bytes);
    return;
  }
  for (int from = 1; from < gSize; ++from) take(from, receiveFrom(from));
#else
  (void)bytes;
  (void)take;
#endif
}

void gatherPiecesToRoot(std::vector<std::string> pieces,
                        const std::function<void(int fromRank, const std::string& piece)>& take) {
#ifdef NEWSCLASS_WITH_MPI
  if (gSize <= 1) return;
  if (gRank != 0) {
    sendTo(0, std::to_string(pieces.size()));
    for (std::string& piece : pieces) {
      sendTo(0, piece);
      std::string().swap(piece);
    }
    return;
  }
  std::string piece;
  for (int from = 1; from < gSize; ++from) {
    const size_t count = std::stoull(receiveFrom(from));
    for (size_t i = 0; i < count; ++i) {
      receiveInto(from, piece);
      take(from, piece);
    }
  }
#else
  (void)pieces;
  (void)take;
#endif
}

std::vector<std::string> allGather(std::string bytes) {
  std::vector<std::string> all(static_cast<size_t>(gSize));
  all[static_cast<size_t>(gRank)] = std::move(bytes);
#ifdef NEWSCLASS_WITH_MPI
  for (int root = 0; root < gSize && gSize > 1; ++root) broadcastFrom(root, all[static_cast<size_t>(root)]);
#endif
  return all;
}

void barrier() {
#ifdef NEWSCLASS_WITH_MPI
  if (gSize <= 1) return;
  MPI_Request request;
  check(MPI_Ibarrier(MPI_COMM_WORLD, &request), "barrier");
  await(request, "barrier");
#endif
}

}  // namespace newsclass::cluster
