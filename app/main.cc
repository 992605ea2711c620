// tablog SCRIPT OUTPUT: runs a script of tables and rules and writes the
// resulting tables to OUTPUT.
#include <iostream>

#include "app/run.h"

int main(int argc, char** argv) { return tablog::runProgram(argc, argv, std::cout); }
