#include "core/problem.h"

#include <gtest/gtest.h>

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
