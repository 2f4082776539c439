#include <gtest/gtest.h>

#include <random>

#include "core/fen.h"
#include "core/moves.h"

using namespace chess;

namespace {

Board board(const char* fen) {
    FenResult r = read_fen(fen);
    EXPECT_TRUE(r.ok) << fen << ": " << r.error;
    std::string why;
    std::optional<Board> b = Board::from_position(r.position, &why);
    EXPECT_TRUE(b.has_value()) << fen << ": " << why;
    return b ? *b : Board::initial();
}

// Plays moves written in SAN; fails the test at the first refused one.
void play(Board& b, std::initializer_list<const char*> moves) {
    for (const char* text : moves) {
        SanResult r = b.parse_san(text);
        ASSERT_TRUE(r.ok) << text << ": " << r.error;
        b.play(r.move);
    }
}

std::string refusal(const char* fen, const char* san) {
    SanResult r = board(fen).parse_san(san);
    EXPECT_FALSE(r.ok) << san << " was taken in " << fen;
    return r.error;
}

// The SAN the rules write for a move read from the given text.
std::string rewritten(const Board& b, const char* san) {
    SanResult r = b.parse_san(san);
    EXPECT_TRUE(r.ok) << san << ": " << r.error;
    return r.ok ? b.san(r.move) : std::string();
}

const char* const kiwipete = "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1";

}  // namespace

TEST(Perft, InitialPositionAndKnownTestPositions) {
    const Board start = Board::initial();
    EXPECT_EQ(perft(start, 1), 20u);
    EXPECT_EQ(perft(start, 2), 400u);
    EXPECT_EQ(perft(start, 3), 8902u);
    EXPECT_EQ(perft(start, 4), 197281u);
    // Castling both ways, pins, en passant and promotions all at once.
    EXPECT_EQ(perft(board(kiwipete), 1), 48u);
    EXPECT_EQ(perft(board(kiwipete), 2), 2039u);
    EXPECT_EQ(perft(board(kiwipete), 3), 97862u);
    // En passant that uncovers the king along the rank.
    EXPECT_EQ(perft(board("8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1"), 4), 43238u);
    // Promotions with captures, castling rights lost to captured rooks.
    EXPECT_EQ(perft(board("r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1"), 3), 9467u);
    EXPECT_EQ(perft(board("rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8"), 2), 1486u);
}

TEST(Moves, PositionsThatCannotBePlayedSayWhy) {
    std::string why;
    Position p = Position::initial();
    p.to_move = Side::Unknown;
    EXPECT_FALSE(Board::from_position(p, &why));
    EXPECT_EQ(why, "side to move unknown");
    EXPECT_FALSE(Board::from_position(read_fen("8/8/8/8/8/8/8/4K3 w").position, &why));
    EXPECT_EQ(why, "Black has no king");
    EXPECT_FALSE(Board::from_position(read_fen("4k3/8/8/8/8/8/8/4KK2 w").position, &why));
    EXPECT_EQ(why, "White has more than one king");
    EXPECT_FALSE(Board::from_position(read_fen("P3k3/8/8/8/8/8/8/4K3 w").position, &why));
    EXPECT_EQ(why, "a pawn on the first or last rank");
    EXPECT_FALSE(Board::from_position(read_fen("4k3/8/8/8/8/8/8/4K2r b").position, &why));
    EXPECT_EQ(why, "the side not to move is in check");
    // Sixteen queens cannot come from a game (and would overrun a move list).
    EXPECT_FALSE(Board::from_position(read_fen("QQQQQQQQ/QQQQQQQQ/8/8/8/8/8/k6K w").position, &why));
    EXPECT_EQ(why, "White has more men than a game can give");
    EXPECT_FALSE(Board::from_position(read_fen("4k3/8/8/8/8/8/PPPPPPPP/NNN1K3 w").position, &why));
    EXPECT_EQ(why, "White has more men than a game can give");
    // Nine queens and every other man: the most a side can have, all moving.
    Board many = board("QQQQQQQQ/1Q6/8/8/pp6/kp6/pp6/RRBBNN1K w - - 0 1");
    MoveList moves;
    many.legal_moves(moves);
    EXPECT_GT(moves.size(), 100);  // and no write past the list, which the sanitizer build would see
    // Marks are empty squares to the rules.
    p = Position::initial();
    p[parse_square("e4")] = Piece::Cross;
    EXPECT_TRUE(Board::from_position(p));
}

TEST(Moves, CastlingNeedsRightsEmptySquaresAndNoAttackedSquare) {
    EXPECT_EQ(refusal("r3k2r/8/8/8/8/8/5r2/R3K2R w KQkq - 0 1", "O-O"), "castling through check");
    EXPECT_EQ(refusal("4k3/8/8/8/8/8/6r1/R3K2R w KQ - 0 1", "O-O"), "castling into check");
    EXPECT_EQ(refusal("4k3/4r3/8/8/8/8/8/R3K2R w KQ - 0 1", "O-O-O"), "castling out of check");
    EXPECT_EQ(refusal("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", "O-O"),
              "the squares between king and rook are not empty");
    EXPECT_EQ(refusal("4k3/8/8/8/8/8/8/R3K2R w Q - 0 1", "0-0"), "no right to castle short");
    // The rook crosses b1, the king does not: an attack there does not matter.
    Board b = board("1r2k3/8/8/8/8/8/8/R3K3 w Q - 0 1");
    SanResult r = b.parse_san("O-O-O");
    ASSERT_TRUE(r.ok) << r.error;
    b.play(r.move);
    EXPECT_EQ(fen_placement(b.position()), "1r2k3/8/8/8/8/8/8/2KR4");
    // Rights in the text that the men's places deny are dropped.
    EXPECT_EQ(board("4k3/8/8/8/8/8/8/R3K1R1 w KQkq - 0 1").position().castling, "Q");
}

TEST(Moves, CastlingRightsGoWithKingAndRookMovesAndRookCaptures) {
    const char* fen = "r3k2r/8/8/8/8/8/6B1/R3K2R w KQkq - 0 1";
    Board b = board(fen);
    play(b, {"Rh2", "Rh7", "Rh1"});
    EXPECT_EQ(b.position().castling, "Qq");
    b = board(fen);
    play(b, {"Ke2", "Kd8", "Ke1", "Ke8"});
    EXPECT_EQ(b.position().castling, "-");
    b = board(fen);
    play(b, {"Bxa8"});
    EXPECT_EQ(b.position().castling, "KQk");
    // A rook taken at home loses its side's right too.
    b = board("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
    play(b, {"Rxh8+"});
    EXPECT_EQ(b.position().castling, "Qq");
}

TEST(Moves, EnPassantOnlyRightAfterTheDoubleStepAndNotIntoAPin) {
    Board b = board("4k3/3p4/8/4P3/8/8/8/4K3 b - - 0 1");
    play(b, {"d5"});
    EXPECT_EQ(b.position().en_passant, "d6");
    Board taken = b;
    play(taken, {"exd6e.p."});
    EXPECT_EQ(fen_placement(taken.position()), "4k3/8/3P4/8/8/8/8/4K3");
    EXPECT_EQ(b.san(b.parse_san("exd6").move), "exd6");
    play(b, {"Kd2", "Kd8"});
    EXPECT_EQ(b.parse_san("exd6").error, "no pawn can take on d6");

    // Both pawns leave the fifth rank: the king on a5 would face the rook.
    const char* pinned = "4k3/8/8/K2pP2r/8/8/8/8 w - d6 0 2";
    EXPECT_EQ(refusal(pinned, "exd6"), "the king would be in check");
    MoveList moves;
    board(pinned).legal_moves(moves);
    for (const Move& m : moves) EXPECT_NE(m.kind, MoveKind::EnPassant);
    // An en passant square that no double step made is dropped.
    EXPECT_EQ(board("4k3/8/8/3pP3/8/8/8/4K3 w - c6 0 1").position().en_passant, "-");
}

TEST(Moves, PromotionWithAndWithoutEqualsSignAndWithCapture) {
    const char* fen = "1n5k/P7/8/8/8/8/8/K7 w - - 0 1";
    for (const char* san : {"a8=Q", "a8Q", "a8=q"}) {
        Board b = board(fen);
        play(b, {san});
        EXPECT_EQ(b[parse_square("a8")], Piece::WhiteQueen) << san;
    }
    Board b = board(fen);
    play(b, {"axb8N"});
    EXPECT_EQ(b[parse_square("b8")], Piece::WhiteKnight);
    EXPECT_EQ(rewritten(board(fen), "axb8Q"), "axb8=Q+");
    EXPECT_EQ(rewritten(board(fen), "a8=R"), "a8=R");
    EXPECT_EQ(refusal(fen, "a8"), "a promotion needs a piece: Q, R, B or N");
    EXPECT_EQ(refusal(fen, "a8=K"), "a pawn cannot become a king");
    EXPECT_EQ(refusal("4k3/8/8/8/8/8/P7/4K3 w - - 0 1", "a4=Q"), "only a pawn reaching the last rank promotes");
    MoveList moves;
    board(fen).legal_moves(moves);
    EXPECT_EQ(moves.size(), 3 + 4 + 4);  // king, push, capture
}

TEST(Moves, DisambiguationByFileRankOrBoth) {
    const char* knights = "4k3/8/8/8/8/5N2/8/1N2K3 w - - 0 1";
    EXPECT_EQ(refusal(knights, "Nd2"), "two knights can go to d2");
    EXPECT_EQ(rewritten(board(knights), "Nbd2"), "Nbd2");
    EXPECT_EQ(rewritten(board(knights), "Nfd2"), "Nfd2");
    EXPECT_EQ(rewritten(board(knights), "Nf3d2"), "Nfd2");  // needless square accepted
    EXPECT_EQ(rewritten(board(knights), "Nc3"), "Nc3");
    EXPECT_EQ(refusal(knights, "Ngh4"), "no knight can go to h4");

    const char* rooks = "4k3/8/8/R7/8/8/8/R3K3 w - - 0 1";
    EXPECT_EQ(refusal(rooks, "Ra3"), "two rooks can go to a3");
    EXPECT_EQ(rewritten(board(rooks), "R1a3"), "R1a3");
    EXPECT_EQ(rewritten(board(rooks), "R5a3"), "R5a3");

    const char* queens = "8/8/8/7k/8/Q7/8/Q1Q4K w - - 0 1";
    EXPECT_EQ(refusal(queens, "Qb2"), "three queens can go to b2");
    EXPECT_EQ(refusal(queens, "Qab2"), "two queens can go to b2");
    EXPECT_EQ(rewritten(board(queens), "Qa1b2"), "Qa1b2");
    EXPECT_EQ(rewritten(board(queens), "Q3b2"), "Q3b2");
    EXPECT_EQ(rewritten(board(queens), "Qcb2"), "Qcb2");

    // A pinned rival does not count: no disambiguation is written or needed.
    const char* pinned = "4k3/4r3/8/1N6/8/8/4N3/4K3 w - - 0 1";
    EXPECT_EQ(rewritten(board(pinned), "Nd4"), "Nd4");
    EXPECT_EQ(rewritten(board(pinned), "Nc3"), "Nc3");
    EXPECT_EQ(refusal(pinned, "Nec3"), "the king would be in check");
}

TEST(Moves, RefusalsSayWhy) {
    const char* start = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
    EXPECT_EQ(refusal(start, "Nf4"), "no knight can go to f4");
    EXPECT_EQ(refusal(start, "e5"), "no pawn can go to e5");
    EXPECT_EQ(refusal(start, "Pe4"), "a pawn move has no piece letter");
    EXPECT_EQ(refusal(start, "Ke2"), "the king cannot go to e2");
    EXPECT_EQ(refusal(start, "Nxe9"), "not a move");
    EXPECT_EQ(refusal(start, "--"), "not a move");
    EXPECT_EQ(refusal(start, "Qd1=Q"), "only a pawn promotes");
    EXPECT_EQ(refusal("4k3/4r3/8/8/8/8/4N3/4K3 w - - 0 1", "Nc3"), "the king would be in check");
    EXPECT_EQ(refusal("4k3/3r4/8/8/8/8/8/4K3 w - - 0 1", "Kd2"), "the king would be in check");
    EXPECT_EQ(refusal("4k3/8/8/8/1b6/8/3P4/4K3 w - - 0 1", "d4"), "the king would be in check");
}

TEST(Moves, CheckAndMateSignsAndTolerantDecorations) {
    Board b = Board::initial();
    play(b, {"e4", "e5!", "Qh5?!", "Nc6", "Bc4", "Nf6??"});
    EXPECT_EQ(rewritten(b, "Qxf7"), "Qxf7#");
    play(b, {"Qxf7#"});
    EXPECT_TRUE(b.is_checkmate());
    MoveList moves;
    b.legal_moves(moves);
    EXPECT_TRUE(moves.empty());

    b = Board::initial();
    play(b, {"e4", "d6"});
    EXPECT_EQ(rewritten(b, "Bb5"), "Bb5+");
    EXPECT_EQ(rewritten(b, "Bb5+!"), "Bb5+");
    EXPECT_EQ(b.position().fullmove_number, 2);
    EXPECT_EQ(write_fen(b.position()), "rnbqkbnr/ppp1pppp/3p4/8/4P3/8/PPPP1PPP/RNBQKBNR w KQkq - 0 2");
    EXPECT_EQ(rewritten(board("4k3/8/8/8/8/8/8/R3K2R w KQ - 0 1"), "0-0-0+"), "O-O-O");
}

TEST(Moves, StalemateHasNoMoves) {
    for (const char* fen : {"7k/5Q2/6K1/8/8/8/8/8 b - - 0 1", "k7/P7/K7/8/8/8/8/8 b - - 0 1",
                            "8/8/8/8/8/6k1/5q2/7K w - - 0 1"}) {
        Board b = board(fen);
        MoveList moves;
        b.legal_moves(moves);
        EXPECT_TRUE(moves.empty()) << fen;
        EXPECT_TRUE(b.is_stalemate()) << fen;
        EXPECT_FALSE(b.is_checkmate()) << fen;
    }
}

TEST(Moves, ClocksCountAndReset) {
    Board b = Board::initial();
    play(b, {"Nf3", "Nf6", "Ng1"});
    EXPECT_EQ(b.halfmove_clock(), 3);
    play(b, {"e5"});
    EXPECT_EQ(b.halfmove_clock(), 0);
    EXPECT_EQ(b.fullmove_number(), 3);
}

TEST(Moves, EveryMoveWrittenReadsBackAsItselfWithTheRightSign) {
    // Random games from two busy starts: each legal move's SAN, read back,
    // must give that move, and its sign must tell what the move did.
    std::mt19937 random(7);
    for (const Board& start : {Board::initial(), board(kiwipete)}) {
        for (int game = 0; game < 12; ++game) {
            Board b = start;
            for (int ply = 0; ply < 60; ++ply) {
                MoveList moves;
                b.legal_moves(moves);
                if (moves.empty()) break;
                for (const Move& m : moves) {
                    const std::string san = b.san(m);
                    SanResult back = b.parse_san(san);
                    ASSERT_TRUE(back.ok) << san << " in " << write_fen(b.position()) << ": " << back.error;
                    ASSERT_EQ(back.move, m) << san << " in " << write_fen(b.position());
                    Board after = b;
                    after.play(m);
                    const char sign = after.is_checkmate() ? '#' : after.in_check() ? '+' : 0;
                    const char written = san.back() == '+' || san.back() == '#' ? san.back() : 0;
                    ASSERT_EQ(written, sign) << san << " in " << write_fen(b.position());
                    ASSERT_EQ(after.in_check(), Board::from_position(after.position())->in_check()) << san;
                }
                b.play(moves[static_cast<int>(random() % static_cast<unsigned>(moves.size()))]);
            }
        }
    }
}

// Long algebraic and coordinate moves, as engines, databases and older
// programs write them, read as the moves they mean.
TEST(Moves, LongAndCoordinateFormsReadAsTheMovesTheyMean) {
    const Board start = Board::initial();
    for (const char* text : {"e2-e4", "e2e4", "e2xe4"}) EXPECT_EQ(rewritten(start, text), "e4") << text;
    for (const char* text : {"Ng1-f3", "Ng1f3", "g1f3", "g1-f3"}) EXPECT_EQ(rewritten(start, text), "Nf3") << text;
    EXPECT_EQ(rewritten(board("4k3/8/8/8/8/8/8/4K2R w K - 0 1"), "e1g1"), "O-O");
    EXPECT_EQ(rewritten(board("4k3/8/8/8/8/8/8/R3K3 w Q - 0 1"), "o-o-o"), "O-O-O");
    EXPECT_EQ(rewritten(board("8/4P1k1/8/8/8/8/8/4K3 w - - 0 1"), "e7e8q"), "e8=Q");
    EXPECT_EQ(rewritten(board("8/4P1k1/8/8/8/8/8/4K3 w - - 0 1"), "e7-e8=N"), "e8=N+");
    EXPECT_EQ(rewritten(board("8/4P1k1/8/8/8/8/8/4K3 w - - 0 1"), "e8q"), "e8=Q");
    EXPECT_EQ(rewritten(board("4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1"), "e5xd6e.p."), "exd6");
    // A disambiguation that the long form makes needless is still written
    // where the rules need it.
    EXPECT_EQ(rewritten(board("4k3/8/8/8/8/8/8/N1N1K3 w - - 0 1"), "a1-b3"), "Nab3");

    const char* fen = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
    EXPECT_EQ(refusal(fen, "e2e5"), "the pawn on e2 cannot go to e5");
    EXPECT_EQ(refusal(fen, "e7e5"), "no man of the side to move on e7");
    EXPECT_EQ(refusal(fen, "e3e4"), "no man of the side to move on e3");
    EXPECT_EQ(refusal("8/4P1k1/8/8/8/8/8/4K3 w - - 0 1", "e7e8"), "a promotion needs a piece: Q, R, B or N");
    EXPECT_EQ(refusal(fen, "e2e4q"), "only a pawn reaching the last rank promotes");
    EXPECT_EQ(refusal(fen, "e2e4xx"), "not a move");
}

TEST(Moves, ANullMovePassesUnlessInCheck) {
    Board b = board("4k3/8/8/8/4p3/8/3P4/4K3 w - - 4 10");
    play(b, {"d4"});
    ASSERT_TRUE(b.pass());
    // Black passed: the en passant chance is gone, White moves again.
    EXPECT_EQ(write_fen(b.position()), "4k3/8/8/8/3Pp3/8/8/4K3 w - - 1 11");
    EXPECT_EQ(refusal(write_fen(b.position()).c_str(), "exd3"), "no pawn can take on d3");
    EXPECT_TRUE(b.pass());
    EXPECT_EQ(write_fen(b.position()), "4k3/8/8/8/3Pp3/8/8/4K3 b - - 2 11");

    Board checked = board("4k3/8/8/8/8/8/4r3/4K3 w - - 0 1");
    EXPECT_FALSE(checked.pass());
    EXPECT_EQ(write_fen(checked.position()), "4k3/8/8/8/8/8/4r3/4K3 w - - 0 1");
}
