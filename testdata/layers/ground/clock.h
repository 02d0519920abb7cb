// Ground floor: system headers and headers without a folder are not the check's business.
#include <chrono>
#include "linear.h"
#include "CLI/CLI.hpp"
