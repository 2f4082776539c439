// The desktop's clipboard, as text.
#pragma once

#include <string>

// The clipboard's text; when the clipboard holds no text, the primary
// selection's (the text last selected anywhere). UTF-8; empty when neither
// holds text. Waits for the owner's answer in a nested GTK loop, so events
// of the program's windows may be queued meanwhile.
std::string clipboard_text();
// Puts the text on the clipboard, where other programs can paste it for as
// long as this program runs. 1 on success.
int clipboard_set_text(const std::string& text);
