// Chess problems as problem databases give them: YAML entries, one a
// document or a list of them (or several documents, each after "---"):
//
//     - authors: ["Kovács, Lörinc", "Novák, Jan"]
//       source: {name: Problem Magazine, issue: 12, date: {year: 2019}}
//       award: 1st Prize
//       stipulation: "#2"
//       algebraic:
//         white: [Kb1, Qc2, Pa2b3, Gh8]
//         black: [Ke4]
//         neutral: [Rd8]
//       twins: {b: Move c2 c3, c: Cont Rotate 90}
//       options: [SetPlay]
//       comment: After a game
//       solution: |
//         1.Qc2-e2+ ...
//
// The men are written as the solver's text writes them (input/problem_text.h),
// a twin's changes too. Also read: title, and conditions (a list). Other keys
// are reported once and skipped; a file that is not UTF-8 is read as
// Windows-1252 (Latin-1), text by text.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "input/problem_text.h"

namespace chess::input {

class InputSource;

// Whether the first line of text (from its first mark) starts a YAML
// document ("---") or a problem entry's key ("authors:", "- stipulation:").
bool starts_problem_yaml(std::string_view text);

// Hands each problem entry of the input to `take` as it is read, so that a
// database of any size is read in little memory. False, with a message in
// error, when the input could not be read (the problems before were handed
// on); where the text stops being YAML, a problem is refused with its line
// and the rest of the file skipped.
bool read_problem_yaml(InputSource& input, const std::function<void(ProblemEntry& entry)>& take,
                       std::string& error);

}  // namespace chess::input
