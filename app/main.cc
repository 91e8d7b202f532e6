#include "app/zentavor.h"

int main(int argc, char** argv) {
  return RunZentavor(argc, argv);
}
