#include "toolkit/language.h"

#include <clocale>
#include <filesystem>
#include <system_error>

namespace {

// share/locale beside the running program; "" when the system cannot say
// where that is, leaving gettext its own default, the system's share/locale.
std::string program_locale_folder() {
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return "";
    return (program.parent_path().parent_path() / "share" / "locale").string();
}

}  // namespace

void language_start(const std::string& locale_folder) {
    std::setlocale(LC_ALL, "");
    // Positions, layouts and records are written and read with '.' whatever
    // the desktop's decimal sign; toolkit_init keeps it so after GTK's own
    // setlocale.
    std::setlocale(LC_NUMERIC, "C");
    const std::string folder = locale_folder.empty() ? program_locale_folder() : locale_folder;
    if (!folder.empty()) bindtextdomain(text_domain, folder.c_str());
    bind_textdomain_codeset(text_domain, "UTF-8");
    textdomain(text_domain);
}
