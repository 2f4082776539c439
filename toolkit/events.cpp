#include "toolkit/events.h"

namespace tk {
void events_init() {}
}
