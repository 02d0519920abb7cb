#include "side/other.h"
