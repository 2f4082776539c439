#include "toolkit/printing.h"

// Placeholder until printing lands: no print system, so nothing is printed.
int print_requester() { return 0; }
int printing_begin(const std::string&) { return 1; }
void printer_new_page() {}
int printer_page_width() { return 0; }
int printer_page_height() { return 0; }
DrawTarget printer_target() { return nullptr; }
void printing_end() {}

namespace tk {
void printer_init() {}
void printer_shutdown() {}
}
