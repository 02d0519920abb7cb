// The random numbers liblinear's dual solvers draw. They visit the training articles in an order
// drawn with the C library's rand(), so a model depends on where rand()'s sequence stands when
// training starts. This program supplies rand() and srand() itself (the dynamic linker binds
// liblinear's calls to them): the same sequence as the GNU C library's, kept per thread. A
// training seeds its own thread's sequence, so models trained side by side on several threads
// are each the model trained alone, bit for bit.
#ifndef NEWSCLASS_LINEAR_SOLVER_RANDOM_H_
#define NEWSCLASS_LINEAR_SOLVER_RANDOM_H_

namespace newsclass {

// Starts the calling thread's rand() sequence again from seed 1, where every training starts.
void seedSolverShuffle();

}  // namespace newsclass

#endif  // NEWSCLASS_LINEAR_SOLVER_RANDOM_H_
