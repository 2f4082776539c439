// Running diagram_batch's work: the inputs read as streams and the diagrams
// drawn as they come, one file each by worker processes, or as pages.
#pragma once

#include "batch/options.h"

namespace batch {

// The exit status: exit_done, exit_partly or exit_nothing. Ends the program
// itself when the input holds nothing to draw, or by the signal that
// interrupted it.
int run(const Options& options);

}  // namespace batch
