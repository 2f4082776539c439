#include "toolkit/gadgets.h"

namespace tk {
void gadgets_init() {}
void gadgets_shutdown() {}
}
