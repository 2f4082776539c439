// The desktop programs' language: their texts go through gettext, the
// Russian texts being the message ids, so that with no catalogue (or on a
// Russian or C locale) the programs read as they always have.
#pragma once

#include <glib/gi18n.h>

#include <string>

// The catalogues' name: the package's.
inline constexpr const char* text_domain = "chess-diagrams";

// Takes the desktop's language (LC_ALL "" with numbers kept in the C form
// the files are written in) and the catalogues of text_domain from
// locale_folder, or when that is empty from share/locale beside the running
// program: <prefix>/bin/../share/locale once installed, the build tree's
// share/locale for a program run from its build folder. Before toolkit_init.
void language_start(const std::string& locale_folder = "");
