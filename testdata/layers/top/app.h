#include "middle/stage.h"
#include "top/facade.h"
