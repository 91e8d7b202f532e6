#include "app/instance_check.h"

bool ProcessNamesIgnoreCase() {
  return false;
}
