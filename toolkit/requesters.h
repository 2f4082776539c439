// Modal file requesters over GtkFileChooserDialog.
#pragma once

#include <string>

// patterns: "name|pattern;pattern|name|pattern..."; pattern_index selects a
// filter. Result: the chosen full path, or "" when cancelled.
std::string save_file_requester(const std::string& title, const std::string& default_path,
                                const std::string& patterns, int pattern_index);
// flags 1 allows several files; requester_next_file returns the others.
std::string open_file_requester(const std::string& title, const std::string& default_path,
                                const std::string& patterns, int pattern_index, unsigned flags = 0);
std::string requester_next_file();
int requester_pattern_index();

namespace tk {
void requesters_init();
}
