// A higher room that includes a lower one, as it may.
#include "High.h"
#include "Low.h"
