#include "ground/clock.h"
// An upward include spelt with blanks around the hash is still an include.
  #  include "top/app.h"
