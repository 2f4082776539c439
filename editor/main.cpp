// diagram_editor: the board editor.
#include "editor/editor.h"

int main(int argc, char** argv) { return run_editor(argc, argv); }
