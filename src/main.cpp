// Varnu: a chess engine for xboard/CECP front ends.
#include <cstdio>

#include "engine/engine.h"
#include "engine/platform.h"

int main(int argc, char** argv) {
  varnu::useBinaryStandardStreams();
  varnu::Output out(stdout);
  varnu::Engine engine(out);
  engine.printBanner();
  engine.readOptions(argc, argv);
  return engine.run(stdin);
}
