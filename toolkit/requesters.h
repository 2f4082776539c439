// Modal file requesters over GtkFileChooserDialog.
#pragma once

#include <string>

// patterns: "name|pattern;pattern|name|pattern..." (filters numbered from 0,
// "*.*" meaning every file; a list without '|' gives no filter and every file
// is listed); pattern_index selects a filter. default_path: a folder when it
// ends in '/', otherwise a file name, which the save requester also proposes
// as the name to save under. Result: the chosen full path, or "" when
// cancelled. Paths go in and come out as UTF-8.
std::string save_file_requester(const std::string& title, const std::string& default_path,
                                const std::string& patterns, int pattern_index);
// flags 1 allows several files: the first is the result, requester_next_file
// returns the others in the chooser's order.
std::string open_file_requester(const std::string& title, const std::string& default_path,
                                const std::string& patterns, int pattern_index, unsigned flags = 0);
// The next path of the last choice; "" once they are used up (and ever after,
// until the next requester).
std::string requester_next_file();
// The filter shown when the last requester closed, accepted or cancelled; 0
// before any requester and when no filter was shown.
int requester_pattern_index();

namespace tk {
void requesters_init();
}
