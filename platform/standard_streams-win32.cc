#include "platform/standard_streams.h"

// Windows hands a process without a console no standard handles at all; the
// console text then goes nowhere (see PutConsoleText), and a pipe whose reader
// has gone fails the write without a signal.
void PrepareStandardStreams() {}
