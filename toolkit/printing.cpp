#include "toolkit/printing.h"

// Placeholder until printing lands.
namespace tk {
void printer_init() {}
void printer_shutdown() {}
}
