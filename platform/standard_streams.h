/// The standard streams as a run needs them: descriptors 0, 1 and 2 always
/// taken, so that no file the run opens becomes its console, and a console
/// reader that goes away never ends the run in the middle of a flash.
#pragma once

// Call first of all, before any file is opened. POSIX: each of descriptors 0,
// 1 and 2 that is closed is opened on /dev/null, and SIGPIPE is ignored, so a
// write to a pipe nobody reads fails (EPIPE) instead of ending the process.
// Windows: nothing to do; a standard handle that is missing means no console.
void PrepareStandardStreams();
