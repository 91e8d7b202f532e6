/// The program's run from start-up to exit code, callable from tests.
#pragma once

// Start-up, options, banner, one run mode under an exception guard, the closing
// log lines; returns the process exit code. argv's strings may be rewritten.
int RunZentavor(int argc, char** argv);
