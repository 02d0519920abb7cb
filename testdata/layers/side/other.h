#include "middle/stage.h"
#include "helpers/fake.h"
