// Where a windowed program's answers to its command line go (--help, --version, errors).
#pragma once

// A program linked for the windowing subsystem has no standard streams when started from a
// console; this attaches them to the console it was started from, where there is one. Streams
// already redirected (a pipe, a file) are left as they are.
void AfxAttachParentConsole();
