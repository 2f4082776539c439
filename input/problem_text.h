// Chess problems in the text format of the common problem solver, the form
// composers keep and share their problems in:
//
//     BeginProblem
//     Author    Lörinc Kovács
//     Origin    Problem Magazine 2019
//     Stipulation #2
//     Pieces
//       White Kb1 Qc2 Sd4 Pa2b3 Gh8
//       Black Ke4 Nf6
//       Neutral Rd8
//     Twin Move c2 c3
//     Twin Cont Rotate 90
//     EndProblem
//     1.Qc2-e2+ ...              <- the solution, as the solver wrote it
//
// Keywords in any case, and as their first three letters or more ("sti",
// "Pie", "AUTH"); problems separated by NextProblem, or each from
// BeginProblem to EndProblem. Author (repeatable), Origin, Title, Award,
// Stipulation, Condition, Option and Remark each take the rest of their
// line. Pieces takes White, Black and Neutral groups of men: a piece
// letter (K Q R B S P: S is the knight) or a fairy code (G grasshopper, N
// nightrider, Z, Ca, Le, Ro, Pa, Va, Li: core/fairy_men.h) followed by one
// square or more ("Pa2b3"). A Twin line changes the diagram (Move, Exchange,
// Remove, Add, Rotate, Mirror, Shift, Stipulation, Condition, PolishType);
// "Twin Cont" changes the twin before instead. The text after EndProblem up
// to the next BeginProblem is the problem's solution, its lines' indentation
// kept. Lines may end in LF or CRLF; a file that is not UTF-8 is read as
// Windows-1252 (Latin-1).
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/position.h"
#include "core/problem.h"

namespace chess::input {

class InputSource;

// Something said about a problem while reading it, at a line of the input.
struct ProblemNote {
    bool damaged = false;  // else a notice: nothing of the diagram lost
    long line = 0;
    std::string text;
};

// One problem of a file.
struct ProblemEntry {
    long line = 0;  // where it starts
    // False: the problem cannot be drawn as written; error and error_line
    // say why.
    bool ok = false;
    Position position;  // the diagram (a twin's changes are in its text)
    Problem problem;
    std::string error;
    long error_line = 0;
    std::vector<ProblemNote> notes;  // in the input's order
};

// Whether text starts, after blanks and a byte-order mark, with the
// BeginProblem keyword (as its abbreviation too).
bool starts_problem_text(std::string_view text);

// Hands each problem of the input to `take` as it is read. False, with a
// message in error, when reading failed (the problems before were handed on).
bool read_problem_text(InputSource& input, const std::function<void(ProblemEntry& entry)>& take,
                       std::string& error);

// The parts of a problem that every problem format writes alike.

// Whether word is the keyword (in small letters) or its abbreviation of
// three letters or more, in any case.
bool abbreviates(std::string_view word, std::string_view keyword);

enum class ProblemSide { White, Black, Neutral };
// The side of "White", "bla", "NEUTRAL"...; false for another word.
bool problem_side(std::string_view word, ProblemSide& side);
// Puts the men of one word such as "Pa2b3", "Gc2" or ".CAa1" on the position,
// for White, Black or (neutral) White with neutral looks. False, with what
// is wrong, for an unknown man, a bad square or a square already taken.
bool place_men(std::string_view word, ProblemSide side, Position& position, std::string& error);

// One twin's changes ("Move e1 e2 Stipulation #3") applied to `position`
// (the diagram's, or the twin's before for a continued twin), giving the
// printed text ("wKe1→e2, #3"). False, with what is wrong.
bool apply_twin(std::string_view changes, Position& position, std::string& text, std::string& error);
// Whether a twin's changes start with Cont (continued): it then applies to
// the twin before; `changes` is left after the word.
bool continued_twin(std::string_view& changes);
// "b)" for the first twin, "c)" for the next...
std::string twin_label(std::size_t index);

// What follows from the men and the stipulation: the legend of the fairy
// men, and the side that moves first (Black in a helpmate).
void finish_problem(Position& position, Problem& problem);

}  // namespace chess::input
