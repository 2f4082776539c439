// Running diagram_batch's work: the inputs read as streams and the diagrams
// drawn as they come, one file each by worker processes, or as pages.
#pragma once

#include <functional>

#include "batch/options.h"
#include "input/diagram_items.h"

namespace batch {

// The exit status: exit_done, exit_partly or exit_nothing. Ends the program
// itself when the input holds nothing to draw, or by the signal that
// interrupted it.
int run(const Options& options);

// Every input of the command line read in order (a folder as its pictures),
// each item handed to take as it is read, each problem told on standard
// error (and rejected set). The number of places the items took.
std::size_t read_inputs(const Options& options, const std::function<void(const chess::input::DiagramItem&)>& take,
                        bool& rejected);

}  // namespace batch
