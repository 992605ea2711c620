// tablog SCRIPT OUTPUT: runs a script of tables and rules and writes the
// resulting tables to OUTPUT.
#include <malloc.h>

#include <iostream>

#include "app/run.h"

int main(int argc, char** argv) {
  // A run makes and frees millions of small rows; the allocator's cache of
  // small free blocks only makes freeing them stall on consolidation.
  mallopt(M_MXFAST, 0);
  return tablog::runProgram(argc, argv, std::cout);
}
