#include "toolkit/requesters.h"

// Placeholder until the requesters land.
namespace tk {
void requesters_init() {}
}
