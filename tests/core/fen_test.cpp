#include <gtest/gtest.h>

#include "core/fen.h"
#include "core/piece_roles.h"

using namespace chess;

namespace {
const char* const start = "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1";
}

TEST(Fen, FullRecordsRoundTrip) {
    for (const char* fen : {start, "8/8/8/8/8/8/8/8 w - - 0 1", "QQQQQQQQ/QQQQQQQQ/8/8/8/8/8/k6K w - - 12 40",
                            "r3k2r/8/8/3pP3/8/8/8/R3K2R w Kq d6 0 23"}) {
        FenResult r = read_fen(fen);
        ASSERT_TRUE(r.ok) << fen << ": " << r.error;
        EXPECT_EQ(r.fields, 6);
        EXPECT_EQ(write_fen(r.position), fen);
    }
    EXPECT_EQ(write_fen(Position::initial()), "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
}

TEST(Fen, SquaresAreWhereTheTextPutsThem) {
    FenResult r = read_fen(start);
    ASSERT_TRUE(r.ok);
    const Position& p = r.position;
    EXPECT_EQ(p[parse_square("a8")], Piece::BlackRook);
    EXPECT_EQ(p[parse_square("e8")], Piece::BlackKing);
    EXPECT_EQ(p[parse_square("e4")], Piece::WhitePawn);
    EXPECT_EQ(p[parse_square("e2")], Piece::Empty);
    EXPECT_EQ(p[parse_square("d1")], Piece::WhiteQueen);
    EXPECT_EQ(p[parse_square("g1")], Piece::WhiteKnight);
    EXPECT_EQ(p.to_move, Side::Black);
    EXPECT_EQ(p.en_passant, "e3");
}

TEST(Fen, ShorterRecordsAndCaptions) {
    FenResult placement = read_fen("  8/8/8/4k3/8/8/8/4K3  ");
    ASSERT_TRUE(placement.ok) << placement.error;
    EXPECT_EQ(placement.fields, 1);
    EXPECT_EQ(placement.position.to_move, Side::Unknown);
    EXPECT_TRUE(placement.rest.empty());

    FenResult side = read_fen("8/8/8/4k3/8/8/8/4K3 b");
    ASSERT_TRUE(side.ok);
    EXPECT_EQ(side.position.to_move, Side::Black);

    FenResult captioned = read_fen("8/8/8/4k3/8/8/8/4K3 w - - 0 1   Мат в 2 хода \r\n");
    ASSERT_TRUE(captioned.ok);
    EXPECT_EQ(captioned.rest, "Мат в 2 хода");
}

TEST(Fen, EveryKindOfErrorSaysWhatAndWhere) {
    struct Case {
        const char* text;
        const char* message;
        std::size_t offset;
    };
    const Case cases[] = {
        {"", "no position", 0},
        {"8/8/ppppppppp/8/8/8/8/8", "rank 6 has 9 squares", 12},
        {"8/8/8/8/8/8/8/7", "rank 1 has 7 squares", 15},
        {"8/8/8/8/8/44/8/8", "", 0},  // a split run still adds up: accepted
        {"8/8/8/8/8/8/8/8/8", "more than 8 ranks", 15},
        {"8/8/8/8/8/8/8", "only 7 ranks", 13},
        {"8/8/8/3X4/8/8/8/8", "unknown piece letter 'X'", 7},
        {"8/8/8/8/8/8/8/8 x", "side to move must be 'w' or 'b', not \"x\"", 16},
        {"8/8/8/8/8/8/8/8 w KQxq", "castling field \"KQxq\" is not valid", 18},
        {"8/8/8/8/8/8/8/8 w K-", "castling field \"K-\" is not valid", 18},
        {"8/8/8/8/8/8/8/8 w - e5", "en passant square \"e5\" is not '-' or a square on rank 3 or 6", 20},
        {"8/8/8/8/8/8/8/8 w - - x1", "halfmove clock \"x1\" is not a number", 22},
        {"8/8/8/8/8/8/8/8 w - - 0 -3", "move number \"-3\" is not a number", 24},
        {"8/8/8/8/8/8/8/8 w - - 0 99999999999", "move number \"99999999999\" is not a number", 24},
    };
    for (const Case& c : cases) {
        FenResult r = read_fen(c.text);
        if (c.message[0] == '\0') {
            EXPECT_TRUE(r.ok) << c.text << ": " << r.error;
            continue;
        }
        EXPECT_FALSE(r.ok) << c.text;
        EXPECT_EQ(r.error, c.message) << c.text;
        EXPECT_EQ(r.error_offset, c.offset) << c.text;
    }
}

// What other programs and old collections write, read as they mean it.
TEST(Fen, ToleratesWhatRealFilesHold) {
    struct Case {
        const char* text;
        const char* written;  // as write_fen gives it back
    };
    const Case cases[] = {
        // Problem collections number their positions' moves from 0.
        {"8/8/8/4k3/8/8/8/4K2R w K - 0 0", "8/8/8/4k3/8/8/8/4K2R w K - 0 1"},
        // Castling letters in any order, and one twice.
        {"r3k2r/8/8/8/8/8/8/R3K2R w kqKQ - 0 1", "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1"},
        {"r3k2r/8/8/8/8/8/8/R3K2R b qKk - 3 9", "r3k2r/8/8/8/8/8/8/R3K2R b Kkq - 3 9"},
        {"r3k2r/8/8/8/8/8/8/R3K2R w KKq - 0 1", "r3k2r/8/8/8/8/8/8/R3K2R w Kq - 0 1"},
        // Chess960 files keep their side.
        {"4k3/8/8/8/8/8/8/1R2K1R1 w kBG - 0 1", "4k3/8/8/8/8/8/8/1R2K1R1 w BGk - 0 1"},
        // Counters not kept.
        {"8/8/8/4k3/8/8/8/4K3 w - - - -", "8/8/8/4k3/8/8/8/4K3 w - - 0 1"},
        {"8/8/8/4k3/8/8/8/4K3 b - - 5 -", "8/8/8/4k3/8/8/8/4K3 b - - 5 1"},
        {"8/8/8/4k3/8/8/8/4K3 b - - - 12", "8/8/8/4k3/8/8/8/4K3 b - - 0 12"},
        // Counters missing.
        {"8/8/8/4k3/8/8/8/4K3 w - -", "8/8/8/4k3/8/8/8/4K3 w - - 0 1"},
        {"8/8/8/4k3/8/8/8/4K3 w - - 7", "8/8/8/4k3/8/8/8/4K3 w - - 7 1"},
    };
    for (const Case& c : cases) {
        FenResult r = read_fen(c.text);
        ASSERT_TRUE(r.ok) << c.text << ": " << r.error;
        EXPECT_EQ(write_fen(r.position), c.written) << c.text;
    }
    // A caption still follows six fields, dashes among them.
    FenResult captioned = read_fen("8/8/8/4k3/8/8/8/4K3 w - - - - Study");
    ASSERT_TRUE(captioned.ok);
    EXPECT_EQ(captioned.rest, "Study");
}

TEST(Fen, MessagesNeverCarryBrokenText) {
    // A Cyrillic letter in the placement: its first byte is reported by value.
    FenResult r = read_fen("8/8/8/8/Ж7/8/8/8");
    ASSERT_FALSE(r.ok);
    EXPECT_EQ(r.error, "unknown piece letter byte 0xD0");
}

TEST(Fen, MarksHaveNoLetter) {
    Position p;
    p[parse_square("d4")] = Piece::Cross;
    p[parse_square("e5")] = Piece::Dot;
    p[parse_square("a1")] = Piece::WhiteKing;
    EXPECT_EQ(fen_placement(p), "8/8/8/8/8/8/8/K7");
}

TEST(PieceRoles, PicturesOfTheShippedSet) {
    EXPECT_EQ(picture_of(Piece::WhiteKing, false), 1);
    EXPECT_EQ(picture_of(Piece::WhiteKing, true), 2);
    EXPECT_EQ(picture_of(Piece::WhitePawn, true), 12);
    EXPECT_EQ(picture_of(Piece::BlackKing, false), 13);
    EXPECT_EQ(picture_of(Piece::BlackPawn, true), 24);
    EXPECT_EQ(picture_of(Piece::Empty, false), 25);
    EXPECT_EQ(picture_of(Piece::Empty, true), 26);
    EXPECT_EQ(picture_of(Piece::Cross, true), 30);
    EXPECT_EQ(picture_of(Piece::Dot, false), 31);
    for (int n = 1; n <= 32; ++n) {
        const Piece p = piece_of_picture(n);
        if (n == 27 || n == 28) {
            EXPECT_EQ(p, Piece::Empty);
            continue;
        }
        EXPECT_EQ(picture_of(p, n % 2 == 0), n) << n;
    }
    EXPECT_TRUE(is_dark_square(parse_square("a1")));
    EXPECT_FALSE(is_dark_square(parse_square("h1")));
    EXPECT_FALSE(is_dark_square(parse_square("a8")));
}
