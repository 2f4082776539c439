// What diagram_batch checks before it writes anything: an output that would
// replace one of its inputs, and an output path that cannot take what the
// run writes there.
#pragma once

#include <string>

#include "batch/options.h"

namespace batch {

// Whether two paths name the same existing file, through any path, hard
// link or symbolic link.
bool same_file(const std::string& a, const std::string& b);

// Ends the run, nothing written, when the output would replace an input:
// the output file is one of them, or the output folder is an input folder
// or holds an input file named as the run names its files (*.jpg for
// JPEG, ...). Standard input never collides.
void refuse_replacing_inputs(const Options& options, const Plan& plan);

// Ends the run, nothing written, when the output path is no folder where
// one is planned, or no plain file (a FIFO, a device) where one file is.
void refuse_unfit_output(const Plan& plan);

}  // namespace batch
