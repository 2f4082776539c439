#include "core/problem.h"

#include <gtest/gtest.h>

#include "core/fairy_men.h"
#include "core/fen.h"

namespace chess {
namespace {

Position board(const char* placement) {
    FenResult r = read_fen(placement);
    EXPECT_TRUE(r.ok) << r.error;
    return r.position;
}

TEST(MenCount, CountsMenBySideWithNeutralsApartAndMarksLeftOut) {
    // Promoted men count as what they are now: three white queens are three men.
    Position p = board("QQQ1k3/8/8/8/8/8/8/4K3");
    EXPECT_EQ(count_text(count_men(p)), "(4+1)");

    p[square_of(3, 3)] = Piece::Cross;
    p[square_of(4, 4)] = Piece::WhiteRook;
    p.looks[square_of(4, 4)].neutral = true;
    p[square_of(5, 5)] = Piece::BlackPawn;
    p.looks[square_of(5, 5)].turn = 2;  // a fairy man is a man of its side
    MenCount count = count_men(p);
    EXPECT_EQ(count.white, 4);
    EXPECT_EQ(count.black, 2);
    EXPECT_EQ(count.neutral, 1);
    EXPECT_EQ(count_text(count), "(4+2+1)");

    EXPECT_EQ(count_text(count_men(Position{})), "(0+0)");
}

}  // namespace
}  // namespace chess

namespace chess {
namespace {

TEST(FairyMen, CodesInAnyCaseNameTheirTurnedManAndBack) {
    const FairyKind* grasshopper = fairy_kind("g");
    ASSERT_NE(grasshopper, nullptr);
    EXPECT_EQ(grasshopper->man, Piece::WhiteQueen);
    EXPECT_EQ(grasshopper->turn, 2);
    EXPECT_EQ(fairy_kind("Ca"), fairy_kind("CA"));
    // The ordinary men's letters are no fairy codes; the knight is S.
    EXPECT_EQ(fairy_kind("S"), nullptr);
    EXPECT_EQ(fairy_kind("Q"), nullptr);
    EXPECT_EQ(fairy_kind("XX"), nullptr);
    // Either side's turned man is its kind; a plain man none.
    EXPECT_EQ(fairy_kind_of(Piece::BlackQueen, {2, false}), grasshopper);
    EXPECT_EQ(fairy_kind_of(Piece::WhiteKnight, {2, true})->singular, "Nightrider");
    EXPECT_EQ(fairy_kind_of(Piece::WhiteQueen, {}), nullptr);
    EXPECT_EQ(man_name(Piece::BlackKnight, {}), "bS");
    EXPECT_EQ(man_name(Piece::WhiteKnight, {3, false}), "wCa");
    EXPECT_EQ(man_name(Piece::WhiteQueen, {2, true}), "nG");
}

TEST(FairyMen, LooksFieldRoundTripsAndRefusesWhatIsNotAMansLooks) {
    Position p = read_fen("4k3/8/8/8/3R4/8/2Q5/4K2N w - - 0 1").position;
    p.looks[parse_square("c2")] = {2, false};
    p.looks[parse_square("d4")] = {0, true};
    p.looks[parse_square("h1")] = {1, true};
    p.looks[parse_square("a5")] = {2, false};  // no man there: not written
    const std::string field = looks_field(p);
    EXPECT_EQ(field, "h1:1n,c2:2,d4:n");
    Position back = read_fen("4k3/8/8/8/3R4/8/2Q5/4K2N w - - 0 1").position;
    std::string error;
    ASSERT_TRUE(read_looks_field(field, back, error)) << error;
    p.looks[parse_square("a5")] = {};
    EXPECT_EQ(back, p);
    EXPECT_EQ(looks_field(back.initial()), "");

    for (const char* bad : {"c2", "c2:", "c2:4", "c2:0", "c2:2x", "i9:2", "c2:2,c2:n", "a5:2", "c2:2,"}) {
        Position q = back;
        EXPECT_FALSE(read_looks_field(bad, q, error)) << bad;
        EXPECT_FALSE(error.empty());
    }
}

}  // namespace
}  // namespace chess
