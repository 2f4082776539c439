// diagram_editor: the board editor.
#include "editor/editor.h"
#include "toolkit/language.h"

int main(int argc, char** argv) {
    language_start();
    return run_editor(argc, argv);
}
