#include "middle/stage.h"
#include "ground/clock.h"
#include "side/other.h"
#include "top/facade.h"
// The deliberate upward include: middle is below top.
#include "top/app.h"
