#include "sim/commands.h"

int main(int argc, char** argv) {
  return RunSimulator(std::vector<std::string>(argv + 1, argv + argc));
}
