#include "editor/history.h"

#include <deque>

#include "editor/editor.h"

namespace {

struct Step {
    std::array<chess::Piece, 64> squares{};
    std::string task;
    bool operator==(const Step&) const = default;
};

std::deque<Step> steps;
// The step the board and task show; steps after it can be redone.
std::size_t current = 0;

Step now() { return Step{board_position.squares, diagram_task_text()}; }

void show(const Step& step) {
    board_position = chess::Position{};
    board_position.squares = step.squares;
    show_board();
    // An empty task shows the invitation unless the field is being typed in.
    gadget_set_text(task_field, step.task.empty() && active_gadget() != task_field ? _(task_placeholder) : step.task);
}

}  // namespace

void history_reset() {
    steps.assign(1, now());
    current = 0;
}

void history_record() {
    if (steps.empty()) history_reset();
    const Step step = now();
    if (step == steps[current]) return;
    steps.erase(steps.begin() + static_cast<std::ptrdiff_t>(current) + 1, steps.end());
    steps.push_back(step);
    if (steps.size() > history_steps + 1) steps.pop_front();
    current = steps.size() - 1;
}

void history_undo() {
    history_record();
    if (current == 0) return;
    show(steps[--current]);
}

void history_redo() {
    history_record();
    if (current + 1 >= steps.size()) return;
    show(steps[++current]);
}
