// Modal file requesters over GtkFileChooserDialog.
#pragma once

#include <string>

#include "pictures/failure.h"
#include "toolkit/objects.h"

// patterns: "name|pattern;pattern|name|pattern..." (filters numbered from 0,
// "*.*" meaning every file; a list without '|' gives no filter and every file
// is listed); pattern_index selects a filter. default_path: a folder when it
// ends in '/', otherwise a file name, which the save requester also proposes
// as the name to save under. Result: the chosen full path, or "" when
// cancelled. Paths go in and come out as UTF-8.
//
// Saving over an existing file asks first, in the chooser's own way; "no"
// returns to the chooser. extension (".jpg"), when given, is added to a
// chosen name that does not already end in it (in any case): the result is
// that final name, and the question is asked about it.
std::string save_file_requester(const std::string& title, const std::string& default_path,
                                const std::string& patterns, int pattern_index,
                                const std::string& extension = std::string());
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

// name with extension added, unless it already ends in it in any case.
std::string with_extension(const std::string& name, const std::string& extension);

// Messages.
enum class FileAccess { Reading, Writing };
// Why a load, save or copy failed, in the users' words; the one place that
// holds these texts. Reading and writing differ only where the cause does.
std::string failure_message(FailureKind kind, FileAccess access);
// A modal error message with an OK button, over window `over` when it is
// open: text says what failed, detail why. Returns once it is answered.
void message_requester(const std::string& title, const std::string& text, const std::string& detail,
                       ObjectId over = -1);
// After a failed load, save or copy: one line on standard error (the
// failure's own text), then the message, `what` naming the file, with the
// cause of last_failure().
void failure_requester(const std::string& title, const std::string& what, FileAccess access, ObjectId over = -1);
