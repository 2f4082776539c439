// Chess problems in the solver's text format and as problem databases' YAML
// entries, read as diagram items: the examples README.md shows, a
// composer's Latin-1 file with CRLF line ends and abbreviated keywords, and
// damaged files reported with their lines.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "core/fairy_men.h"
#include "core/fen.h"
#include "input/diagram_items.h"
#include "input/problem_text.h"
#include "tests/support/temp_dir.h"

using namespace chess;
using namespace chess::input;

namespace {

const std::string examples = std::string(SOURCE_DIR) + "/examples/";
const std::string corpus = std::string(SOURCE_DIR) + "/tests/input/corpus/";

class ProblemFiles : public ::testing::Test {
protected:
    std::string write(const std::string& name, const std::string& bytes) {
        const std::string path = scratch.file(name);
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    void read(const std::string& path) {
        ItemReader reader([&](const DiagramItem& item) { items.push_back(item); },
                          [&](const ReadProblem& problem) { problems.push_back(problem); });
        reader.read(path, kind_of(path));
    }
    // The man and looks on a square, as a twin prints them: "nR", "bN".
    std::string man(const DiagramItem& item, const char* square) const {
        const int sq = parse_square(square);
        return man_name(item.position[sq], item.position.looks[static_cast<std::size_t>(sq)]);
    }
    TempDir scratch;
    std::vector<DiagramItem> items;
    std::vector<ReadProblem> problems;
};

// The first example problem, the same whichever format it came in.
void expect_first_example(const DiagramItem& item) {
    ASSERT_NE(item.problem, nullptr);
    const Problem& p = *item.problem;
    EXPECT_EQ(item.caption, "#2");
    EXPECT_EQ(p.stipulation, "#2");
    EXPECT_EQ(p.award, "2nd Prize" + std::string(p.source.starts_with("Problem Review 7") ? ", Problem Review Ty" : ""));
    EXPECT_EQ(p.remarks, std::vector<std::string>{"After a study by C. Novak"});
    EXPECT_EQ(fen_placement(item.position), "3R3Q/8/5n2/4p3/3Nk3/1P6/P1Q5/1K6");
    EXPECT_EQ(count_text(count_men(item.position)), "(6+3+1)");
    EXPECT_EQ(item.position.to_move, Side::White);
    // The grasshopper an upside-down queen, the nightrider an upside-down
    // knight, the neutral rook a white rook drawn half black.
    EXPECT_EQ(item.position.looks[parse_square("h8")], (Looks{2, false}));
    EXPECT_EQ(item.position.looks[parse_square("f6")], (Looks{2, false}));
    EXPECT_EQ(item.position.looks[parse_square("d8")], (Looks{0, true}));
    ASSERT_EQ(p.legend.size(), 2u);
    EXPECT_EQ(p.legend[0].name, "Nightrider");
    EXPECT_EQ(p.legend[0].squares, std::vector<int>{parse_square("f6")});
    EXPECT_EQ(p.legend[1].name, "Grasshopper");
    // A continued twin turns the twin before it, not the diagram.
    ASSERT_EQ(p.twins.size(), 2u);
    EXPECT_EQ(p.twins[0].label, "b)");
    EXPECT_EQ(p.twins[0].text, "wQc2\u2192c3");
    EXPECT_EQ(p.twins[1].label, "c)");
    EXPECT_EQ(p.twins[1].text, "rotation 90\u00B0");
}

TEST_F(ProblemFiles, TheSolversTextFormatFieldByField) {
    read(examples + "problems.pop");
    EXPECT_TRUE(problems.empty()) << problems[0].message;
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].line, 1);
    expect_first_example(items[0]);
    const Problem& first = *items[0].problem;
    EXPECT_EQ(first.authors, (std::vector<std::string>{"Anna Lindqvist", "Boris Petrov"}));
    EXPECT_EQ(first.source, "Problem Review 2021");
    EXPECT_EQ(first.title, "Hoppers on the Long Diagonal");
    EXPECT_EQ(first.solution, "");  // NextProblem: nothing between the two

    const Problem& second = *items[1].problem;
    EXPECT_EQ(items[1].line, 15);
    EXPECT_EQ(second.authors, std::vector<std::string>{"Dora Weiss"});
    EXPECT_EQ(second.conditions, std::vector<std::string>{"Circe"});
    EXPECT_EQ(second.options, std::vector<std::string>{"Intelligent"});
    EXPECT_EQ(items[1].position.to_move, Side::Black);  // a helpmate
    ASSERT_EQ(second.legend.size(), 1u);
    EXPECT_EQ(second.legend[0].name, "Grasshoppers");
    EXPECT_EQ(second.legend[0].squares, (std::vector<int>{parse_square("g1"), parse_square("g2")}));
    ASSERT_EQ(second.twins.size(), 2u);
    EXPECT_EQ(second.twins[0].text, "wKh1\u2194bKa1");
    EXPECT_EQ(second.twins[1].text, "+wQd4");
    // The solver's output after EndProblem, its indentation kept.
    EXPECT_EQ(second.solution,
              "1.Ka1-b1 Gg2-b7   2.Kb1-c1 Ra8-a1 #\n"
              "   1.Pb2-b1=Q Ra8-a2  2.Qb1-c2 Gg1-b1 #");
}

TEST_F(ProblemFiles, DatabaseYamlEntriesFieldByField) {
    read(examples + "problems.yaml");
    EXPECT_TRUE(problems.empty()) << problems[0].message;
    ASSERT_EQ(items.size(), 2u);
    expect_first_example(items[0]);
    const Problem& first = *items[0].problem;
    EXPECT_EQ(first.authors, (std::vector<std::string>{"Lindqvist, Anna", "Petrov, Boris"}));
    EXPECT_EQ(first.source, "Problem Review 7, 4/2021");
    EXPECT_EQ(first.options, std::vector<std::string>{"SetPlay"});
    EXPECT_EQ(first.solution, "1.Qc2-e2! (2.Qe2-d3 #)\n   1...Nf6-d5 2.Sd4-f3 #");

    const Problem& second = *items[1].problem;
    EXPECT_EQ(second.authors, std::vector<std::string>{"Dora Weiss"});
    EXPECT_EQ(second.source, "Fairy Quarterly, 1998");
    EXPECT_EQ(second.conditions, std::vector<std::string>{"Circe"});
    EXPECT_EQ(items[1].position.to_move, Side::Black);
    EXPECT_EQ(fen_placement(items[1].position), "R7/8/8/8/8/8/1p4Q1/k5QK");
}

// Documents after "---", as an export of single entries gives them, in
// Latin-1, with the men in one string and twins labelled with their ')'.
TEST_F(ProblemFiles, YamlDocumentsInLatin1) {
    const std::string path = write("export",
                                   "---\r\n"
                                   "authors: \"M\xfcller, J\xf6rg\"\r\n"
                                   "stipulation: s#3\r\n"
                                   "algebraic: {white: Kb1 Qc2 LEc3, black: [Ka8], neutral: Pe4}\r\n"
                                   "twins: {b): Cont Exchange b1 a8}\r\n"
                                   "---\r\n"
                                   "algebraic: {white: [Ke1], black: [Ke8]}\r\n");
    read(path);
    ASSERT_EQ(items.size(), 2u);
    const Problem& p = *items[0].problem;
    EXPECT_EQ(p.authors, std::vector<std::string>{"M\u00FCller, J\u00F6rg"});
    EXPECT_EQ(man(items[0], "c3"), "wLe");
    EXPECT_EQ(man(items[0], "e4"), "nP");
    ASSERT_EQ(p.twins.size(), 1u);
    EXPECT_EQ(p.twins[0].label, "b)");
    EXPECT_EQ(p.twins[0].text, "wKb1\u2194bKa8");
    EXPECT_EQ(p.legend.size(), 1u);
    EXPECT_EQ(items[1].line, 7);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].message, path + ":2: not UTF-8: read as Windows-1252 (Latin-1)");
}

TEST_F(ProblemFiles, AComposersLatin1FileWithCrlfAndAbbreviations) {
    read(corpus + "composer_latin1.pop");
    ASSERT_EQ(items.size(), 1u);
    const DiagramItem& item = items[0];
    const Problem& p = *item.problem;
    EXPECT_EQ(p.authors, (std::vector<std::string>{"L\u00F6rinc Kov\u00E1cs", "Jan Nov\u00E1k"}));
    EXPECT_EQ(p.source, "Fairy Review 1990");
    EXPECT_EQ(p.award, "1st Hon. Mention");
    EXPECT_EQ(p.stipulation, "ser-h#4");
    EXPECT_EQ(item.position.to_move, Side::Black);
    EXPECT_EQ(p.remarks, std::vector<std::string>{"Grasshoppers on g1, g2"});
    // Lower-case letters, a two-letter code after its dot, neutral men.
    EXPECT_EQ(man(item, "h1"), "wK");
    EXPECT_EQ(man(item, "g2"), "wG");
    EXPECT_EQ(man(item, "c3"), "wLe");
    EXPECT_EQ(man(item, "e4"), "nP");
    EXPECT_EQ(man(item, "b8"), "bN");
    EXPECT_EQ(count_text(count_men(item.position)), "(4+2+1)");
    ASSERT_EQ(p.twins.size(), 3u);
    EXPECT_EQ(p.twins[0].text, "wKh1\u2194bKa8");
    EXPECT_EQ(p.twins[1].text, "mirror a1\u2194h1");
    EXPECT_EQ(p.twins[2].label, "d)");
    EXPECT_EQ(p.twins[2].text, "-nPe4");
    EXPECT_EQ(p.solution, "  1.Ka8-a7 2.Nb8-c6 ...");
    // How it was read, and the keyword it does not know, each said once.
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_EQ(problems[0].severity, ReadProblem::Severity::Notice);
    EXPECT_EQ(problems[0].message, corpus + "composer_latin1.pop:2: not UTF-8: read as Windows-1252 (Latin-1)");
    EXPECT_EQ(problems[1].severity, ReadProblem::Severity::Notice);
    EXPECT_EQ(problems[1].message, corpus + "composer_latin1.pop:10: unknown keyword 'Zeroposition' skipped");
}

TEST_F(ProblemFiles, WhatAProblemFileIsTakenFor) {
    EXPECT_EQ(kind_of(write("a.pop", "anything")), Kind::ProblemText);
    EXPECT_EQ(kind_of(write("b.txt", "\xEF\xBB\xBF\r\n  BEGINPROBLEM\r\n")), Kind::ProblemText);
    EXPECT_EQ(kind_of(write("c", "beg\npie white ka1\n")), Kind::ProblemText);
    EXPECT_EQ(kind_of(write("d.YML", "x")), Kind::ProblemYaml);
    EXPECT_EQ(kind_of(write("e", "---\nauthors: x\n")), Kind::ProblemYaml);
    EXPECT_EQ(kind_of(write("f.txt", "- stipulation: \"#2\"\n")), Kind::ProblemYaml);
    // A list is still a list: a caption is no keyword, "be" no abbreviation.
    EXPECT_EQ(kind_of(write("g.txt", "4k3/8/8/8/8/8/8/4K3 w - - 0 1 BeginProblem\n")), Kind::List);
    EXPECT_EQ(kind_of(write("h.txt", "be\n")), Kind::List);
}

TEST_F(ProblemFiles, DamagedProblemsAreReportedWithTheirLines) {
    const std::string path = write("bad.pop",
                                   "BeginProblem\n"
                                   "Stipulation #2\n"
                                   "Pieces White Ke1 Qi9 Black Ke8\n"  // 3: no such square
                                   "NextProblem\n"
                                   "Pieces White Ke1 Xa2\n"            // 5: no such man
                                   "NextProblem\n"
                                   "Pieces White Ke1 Rh1 Black Ke8\n"
                                   "Stipulation #2\n"
                                   "Twin Move d4 d5\n"                 // 9: nobody on d4
                                   "Twin Rotate 45\n"                  // 10
                                   "Twin Move h1 h8\n"
                                   "EndProblem\n");
    read(path);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].number, 3u);
    ASSERT_EQ(items[0].problem->twins.size(), 1u);
    EXPECT_EQ(items[0].problem->twins[0].label, "b)");
    EXPECT_EQ(items[0].problem->twins[0].text, "wRh1\u2192h8");
    ASSERT_EQ(problems.size(), 4u);
    EXPECT_EQ(problems[0].severity, ReadProblem::Severity::Rejected);
    EXPECT_EQ(problems[0].number, 1u);
    EXPECT_EQ(problems[0].message, path + ":3: 'Qi9': \"i9\" are not squares");
    EXPECT_EQ(problems[1].message, path + ":5: 'Xa2' is no man on a square (such as Ke1, Pa2b3, Gc2)");
    EXPECT_EQ(problems[2].severity, ReadProblem::Severity::Damaged);
    EXPECT_EQ(problems[2].number, 3u);
    EXPECT_EQ(problems[2].message, path + ":9: twin: no man on d4; the twin is left out");
    EXPECT_EQ(problems[3].message, path + ":10: twin: rotate needs 90, 180 or 270; the twin is left out");

    // YAML: a man on no square, and a file that is no YAML.
    problems.clear();
    items.clear();
    const std::string yaml = write("bad.yaml",
                                   "- stipulation: '#2'\n"
                                   "  algebraic: {white: [Ke1], black: [Ke8, Pz9]}\n"
                                   "  distinction: 3rd Prize\n"
                                   "- algebraic: {white: [Ke1], black: [Ke8]}\n");
    read(yaml);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].number, 2u);
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_EQ(problems[0].message, yaml + ":3: unknown key 'distinction' skipped");
    EXPECT_EQ(problems[1].message, yaml + ":2: 'Pz9': \"z9\" are not squares");
    // The entries before the text stops being YAML are read.
    problems.clear();
    items.clear();
    read(write("broken.yaml", "- algebraic: {white: [Ke1]}\n- authors: [a, b\n- stipulation: x\n"));
    EXPECT_EQ(items.size(), 1u);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].severity, ReadProblem::Severity::Rejected);
    EXPECT_NE(problems[0].message.find("broken.yaml:3: not YAML: "), std::string::npos) << problems[0].message;
    problems.clear();
    read(write("deep.yaml", "- algebraic: " + std::string(100000, '[') + "\n"));
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].message.find(": not YAML: nested too deep; "), std::string::npos) << problems[0].message;
}

// Where each change of the whole board takes the men, and how it is printed.
TEST(ProblemTwins, ChangesOfTheWholeBoardAndSeveralChangesInOneTwin) {
    const Position diagram = read_fen("8/8/8/8/8/8/1k6/K6R w - - 0 1").position;
    auto twin = [&](std::string_view changes, std::string& text) {
        Position p = diagram;
        std::string error;
        EXPECT_TRUE(apply_twin(changes, p, text, error)) << changes << ": " << error;
        return fen_placement(p);
    };
    std::string text;
    EXPECT_EQ(twin("Rotate 90", text), "K7/1k6/8/8/8/8/8/R7");  // clockwise: a1 to a8, h1 to a1
    EXPECT_EQ(twin("rot 180", text), "R6K/6k1/8/8/8/8/8/8");
    EXPECT_EQ(twin("Mirror a1<-->h1", text), "8/8/8/8/8/8/6k1/R6K");
    EXPECT_EQ(text, "mirror a1\u2194h1");
    EXPECT_EQ(twin("Mirror a1<-->a8", text), "K6R/1k6/8/8/8/8/8/8");
    EXPECT_EQ(twin("Mirror a1<-->h8", text), "R7/8/8/8/8/8/1k6/K7");
    EXPECT_EQ(twin("Shift b2 b3", text), "8/8/8/8/8/1k6/K6R/8");
    EXPECT_EQ(text, "shift b2\u2192b3");
    EXPECT_EQ(twin("PolishType", text), "8/8/8/8/8/8/1K6/k6r");
    EXPECT_EQ(twin("Move h1 h5 Remove b2 Stipulation ser-h#3 ", text), "8/8/8/7R/8/8/8/K7");
    EXPECT_EQ(text, "wRh1\u2192h5, -bKb2, ser-h#3");
    EXPECT_EQ(twin("Add neutral Ga3c3", text), "8/8/8/8/8/Q1Q5/1k6/K6R");
    EXPECT_EQ(text, "+nGa3, +nGc3");

    Position p;
    std::string error;
    for (const char* bad : {"Shift h1 a1", "Add white Kb2", "Mirror a1-h1", "Exchange a1 c3", "Move", "Turn 90"}) {
        p = diagram;
        EXPECT_FALSE(apply_twin(bad, p, text, error)) << bad;
    }
}

TEST_F(ProblemFiles, CaptionTemplatesNameTheProblemsFields) {
    ItemReader reader([&](const DiagramItem& item) { items.push_back(item); },
                      [&](const ReadProblem& problem) { problems.push_back(problem); });
    std::string error;
    reader.set_caption_template(*CaptionTemplate::parse("{author}: {source} ({award}), {stipulation}", error));
    reader.read(examples + "problems.pop");
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].caption, "Anna Lindqvist, Boris Petrov: Problem Review 2021 (2nd Prize), #2");
}

}  // namespace
