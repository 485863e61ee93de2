// Standard input, output and error as a program started with one of them closed (`2>&-`) finds
// them: the next file it opens takes the free number, and what it prints lands in there (the X
// connection, a udev socket, the trace). POSIX only: a Windows GUI program writes nothing
// through them and opens its files as handles.
#pragma once

// Puts /dev/null on each of descriptors 0, 1 and 2 that is closed. First thing in main, before
// anything opens a file.
void OpenMissingStandardDescriptors();
