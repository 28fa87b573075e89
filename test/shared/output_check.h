#pragma once

// Standard output is checked when the program ends: a run whose lines did
// not reach their destination (a full disk, a closed descriptor) fails
// instead of ending as if they had.

#include <cstdio>

#include "shared/exit_status.h"

namespace zor::test::shared {

// Call first in main, before any file is opened: opens /dev/null on each of
// the descriptors 0, 1 and 2 that is closed, so that no file the program
// opens takes one of them (a library's warnings on standard error would go
// into it). A closed standard output still counts as lost (see below).
void OpenStandardDescriptors();

// Call next in main. At exit, standard output is flushed; when it could not
// be written, one line "<program>: cannot write standard output: <reason>"
// goes to standard error and the exit status becomes 3. A standard output
// that is closed at start counts as such a failure, and /dev/null takes its
// descriptor so that no file the program opens becomes standard output.
void CheckOutputAtExit(const char* program);

// Flushes `stream`: 0 when everything written to it reached its file, else
// the reason (an errno value). `failed` says the writes failed before, in a
// stream above this one.
int OutputError(std::FILE* stream, bool failed = false);

}  // namespace zor::test::shared
