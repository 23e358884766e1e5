#pragma once
// The process's heap on large pages, for a short program that fills tens of megabytes
// at once (the command line reads every library of a workspace and exports every source
// into memory). Fresh memory is given to a process page by page as it is first written,
// and in a virtual machine that costs more per 4 KB page than filling it: a search over
// the PFC workspace spent a quarter of its time in those faults. With transparent huge
// pages on request (Linux THP in "madvise" or "always" mode) a 2 MB page comes with one
// fault; elsewhere nothing changes.

#include <cstddef>

namespace platform {

// Grows the heap once by reserve bytes (address space; pages come as they are written)
// and asks for large pages over it. Allocations up to 32 MB are then taken from the heap,
// and freed memory is kept for the next allocation rather than handed back. For a
// program's start, before its big allocations; true when the system took the request.
bool UseLargePagesForHeap(size_t reserve);

}  // namespace platform
