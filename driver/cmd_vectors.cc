// Placeholder: this command is being built.
#include "driver/commands.h"

namespace newsclass {

void addBuildVectorsCommand(CLI::App&, CommandSet&) {}
int runDefaultSequence(RunContext&, bool) { return 0; }

}  // namespace newsclass
