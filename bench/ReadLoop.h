// The read loop: a child started the same way as the program starts its jobs and drained by a
// loop of 256-byte ReadFile calls that keeps nothing.
#ifndef VELQUETH_BENCH_READLOOP_H
#define VELQUETH_BENCH_READLOOP_H

#include "bench/FloodFamily.h"

PhysicalResult DrainPhysical(const Paths& paths, unsigned long bytes, unsigned long lineLength);

#endif
