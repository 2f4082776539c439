// Text on pictures as the screen draws it.
#pragma once

#include "pictures/drawing.h"

namespace tk {
// The default screen's resolution and font settings: the X resources of its
// root window beneath what GTK puts on its widgets' contexts. False without a
// screen.
bool screen_text_settings(TextSettings& settings);
}  // namespace tk
