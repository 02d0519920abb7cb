#include "ground/clock.h"
