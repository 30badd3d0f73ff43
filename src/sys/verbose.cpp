#include "sys/verbose.h"

bool verbose = false;
