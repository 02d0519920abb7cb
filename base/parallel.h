// Work spread over threads without changing what it produces: tasks are numbered, each task
// writes only its own results, and the caller combines them in task order afterwards.
#ifndef NEWSCLASS_BASE_PARALLEL_H_
#define NEWSCLASS_BASE_PARALLEL_H_

#include <cstddef>
#include <functional>

namespace newsclass {

// Runs work(task, lane) for every task in [0, count) on up to `threads` threads, the calling
// thread among them, and returns when all have finished. `lane` (0 to threads - 1) names the
// thread, so that each can keep scratch space of its own. With threads <= 1, or a single task,
// everything runs on the calling thread in task order and no thread is started. When tasks
// throw, the exception of the lowest-numbered one is rethrown once all have stopped: the error a
// single thread would have met first. Tasks after a failed one may or may not have run.
void runInParallel(int threads, size_t count,
                   const std::function<void(size_t task, size_t lane)>& work);

// The default thread count: the machine's cores, at least 1.
int machineThreads();

}  // namespace newsclass

#endif  // NEWSCLASS_BASE_PARALLEL_H_
