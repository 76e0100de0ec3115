// A lower room that includes a higher one: the breach the check must name.
#include "Low.h"
#include "High.h"
