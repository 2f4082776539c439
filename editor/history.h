// Undo and redo of what the board shows and the task says: square clicks,
// pasted positions, "Очистить доску" and typed tasks, step by step.
#pragma once

// Steps kept back; older ones are forgotten.
constexpr int history_steps = 200;

// Forgets every step; the board and task as they are now are the start.
void history_reset();
// Takes the board and the task as they are now as the next step, when they
// differ from the last one taken: called after every action, and before an
// undo, so that a task typed since counts as a step of its own.
void history_record();
// Ctrl+Z and Ctrl+Shift+Z: back to the previous step and forward again.
// Nothing when there is none.
void history_undo();
void history_redo();
