// Tests stand outside the house: they may include from any floor.
#include "top/app.h"
#include "helpers/fake.h"
