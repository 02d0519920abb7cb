// The processes of one run. Started by mpirun (or srun under Slurm), newsclass is one of the
// job's ranks, which share the pipeline's work and exchange byte strings through MPI; started
// alone it is rank 0 of 1, and every exchange below hands the caller its own bytes back.
#ifndef NEWSCLASS_BASE_CLUSTER_H_
#define NEWSCLASS_BASE_CLUSTER_H_

#include <functional>
#include <string>
#include <vector>

#include "base/stage_environment.h"

namespace newsclass::cluster {

// Joins the job when a launcher started this process (its variables are in the environment)
// and the program was built with MPI; call once, first thing in main. Returns an error message
// when the process cannot take part: a launcher started several copies of a program built
// without MPI, each of which would do the whole run alone.
std::string start(int* argc, char*** argv);
// Leaves the job; call once, last thing in main.
void finish();

// This process's rank, from 0, and the number of ranks (1 when alone).
int rank();
int size();
inline bool distributed() { return size() > 1; }
// The ranks of the job on this machine, this one included (1 when alone).
int ranksOnThisMachine();

// Ends every rank of the job with exit code `code` (the launcher's exit code too); alone, ends
// this process. Whatever the other ranks were doing stops where it was.
[[noreturn]] void abortJob(int code);

// The ids of `range` that rank `rank` of `ranks` takes: consecutive shares in rank order, the
// first range.size() % ranks of them one id longer. A share of a range shorter than the number
// of ranks may be empty (size() == 0).
ArticleRange shareOf(ArticleRange range, int rank, int ranks);
inline ArticleRange ownShareOf(ArticleRange range) { return shareOf(range, rank(), size()); }

// Rank 0's `bytes` on every rank.
void broadcast(std::string& bytes);
// On rank 0: `take(r, bytes of rank r)` for r = 1, 2, ... in order, one message at a time (the
// root never holds more than one other rank's message); on other ranks: sends `bytes` to rank 0.
void gatherToRoot(std::string bytes, const std::function<void(int fromRank, std::string bytes)>& take);
// The same for a message in pieces (a file's text): `take` gets every piece of rank 1, then of
// rank 2, and so on, one at a time; the piece `take` gets lives until the next one arrives.
void gatherPiecesToRoot(std::vector<std::string> pieces,
                        const std::function<void(int fromRank, const std::string& piece)>& take);
// Every rank's bytes, in rank order, on every rank.
std::vector<std::string> allGather(std::string bytes);
// Waits until every rank has called it.
void barrier();

}  // namespace newsclass::cluster

#endif  // NEWSCLASS_BASE_CLUSTER_H_
