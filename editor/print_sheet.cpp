// The print sheet window of "Просмотр и печать".
#include "editor/editor.h"

void show_print_sheet() {
    // The print sheet comes with printing.
}
