#include "app/zentavor.h"
#include "ui/user_interface.h"

int main(int argc, char** argv) {
  const ConsoleRestorer restorer;
  return RunZentavor(argc, argv);
}
