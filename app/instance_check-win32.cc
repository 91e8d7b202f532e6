#include "app/instance_check.h"

bool ProcessNamesIgnoreCase() {
  return true;
}
