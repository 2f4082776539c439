// diagram_batch: chess diagrams from position lists, without a display.
#include "batch/options.h"
#include "batch/run.h"

int main(int argc, char** argv) { return batch::run(batch::read_options(argc, argv)); }
