// The diagram picture: rendering the board and task text, saving it, and the
// four print slot files in TEMP/.
#include <cerrno>
#include <cstdio>

#include "editor/clipboard.h"
#include "editor/editor.h"
#include "raster/piece_set_diagram.h"

namespace {

const Colour white = colour_rgb(255, 255, 255);

std::string slot_name(int n) { return number_text(n) + ".jpg"; }

// A slot file that could not be written: the user is told, naming the file.
void report_slot_failure(const std::string& what, int n) {
    failure_requester(_("Chess diagram"), what + _(": файл ") + temp_folder + slot_name(n) + _(" не записан"),
                      FileAccess::Writing, board_window);
}

}  // namespace

std::string diagram_task_text() {
    std::string text = gadget_text(task_field);
    // The placeholder only invites typing; it is not the task.
    return text == _(task_placeholder) ? std::string() : text;
}

bool enter_temp_folder() {
    if (set_current_directory(temp_folder) == 0) return true;
    const int error = errno;
    const std::string line =
        _("Не удалось перейти в папку ") + temp_folder + _(": диаграммы для печати не изменены");
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
    message_requester(_("Chess diagram"), line, failure_message(failure_kind_of_errno(error), FileAccess::Writing),
                      board_window);
    return false;
}

void render_diagram() {
    // Made current for the slot files; a save by full path does not need it.
    set_current_directory(temp_folder);
    chess::raster::piece_set_diagram(diagram_image, board_position, diagram_task_text(), font_handle(task_font));
    // What the picture shows, kept inside it for later readers.
    image_set_comment(diagram_image, board_record());
}

void save_diagram() {
    render_diagram();
    // ".jpg" is added unless the name has it; the question before replacing
    // a file is asked about that final name.
    const std::string path = save_file_requester(_("Save image"), save_folder, _("JPEG Image|*.jpg"), 0, ".jpg");
    if (path.empty()) return;  // cancelled
    if (!image_save(diagram_image, path, FormatJPEG))
        failure_requester(_("Chess diagram"), _("Не удалось сохранить диаграмму в файл ") + path, FileAccess::Writing,
                          board_window);
}

void add_to_print() {
    if (!enter_temp_folder()) return;
    render_diagram();
    // Counted only once written: a slot that kept an older file must never
    // be shown as this diagram.
    const int n = print_slot_count + 1;
    if (image_save(diagram_image, slot_name(n), FormatJPEG)) {
        print_slot_count = n;
    } else {
        report_slot_failure(_("Диаграмма не добавлена к печати"), n);
    }
}

void clear_print_slots() {
    // Whatever the files hold now, none of them is shown any more.
    print_slot_count = 0;
    if (!enter_temp_folder()) return;
    image_create(blank_slot_image, 5, 5);
    drawing_begin(image_target(blank_slot_image));
    drawing_mode(GradientFill);
    draw_box(0, 0, 10, 10, white);
    drawing_end();
    if (!image_save(blank_slot_image, slot_name(1), FormatJPEG)) {
        report_slot_failure(_("Диаграммы для печати не очищены"), 1);
        return;
    }
    for (int n = 2; n <= print_slots; ++n) {
        if (!copy_file(slot_name(1), slot_name(n))) {
            report_slot_failure(_("Диаграммы для печати не очищены"), n);
            return;
        }
    }
}
