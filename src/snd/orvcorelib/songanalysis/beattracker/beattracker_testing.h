// Hooks for tests only: the tracker defines them, production code never calls them.
#pragma once

#include "orvsys/orvint.h"

// Puts every process-wide working value of the tracker back to its program-start value
// (all zero), so that each test starts as a fresh process would.
void beattracker_resetProcessStatics();

// Lets the next `granted` memory allocations of the tracker's life cycle succeed and refuses
// every one after them; a negative count lifts the limit.
void beattracker_refuseAllocationsAfter(s32 granted);
