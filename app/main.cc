// tablog SCRIPT OUTPUT: runs a script of tables and rules and writes the
// resulting tables to OUTPUT.
#include <malloc.h>

#include <cstdlib>
#include <iostream>

#include "app/run.h"

int main(int argc, char** argv) {
  // A run makes and frees millions of small rows; the allocator's cache of
  // small free blocks only makes freeing them stall on consolidation.
  mallopt(M_MXFAST, 0);
  // Row lists and sort buffers of large tables (4 MiB and up) come and go
  // whole: mapped apart, they go back to the system when freed instead of
  // staying in the heap, so that the memory a run holds follows its rows.
  mallopt(M_MMAP_THRESHOLD, 1 << 22);
  return tablog::runProgram(argc, argv, std::cout, std::getenv("TABLOG_THREADS"));
}
