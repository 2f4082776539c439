// Reading a book of games: 10,000 random legal games of about forty moves
// (made here from a fixed seed, so every run reads the same file), read and
// every move played by the PGN reader, against a floor measured in the same
// iterations: reading the same bytes from the same kind of stream and
// looking at each one.
//
//   items_per_second  games read and played per second
//   ratio             the reader's time over the floor's (bench/pair.h)
//   ours_ms           the reader's time per iteration
//   base_ms           the floor's time per iteration
#include <benchmark/benchmark.h>

#include <cstdint>
#include <istream>
#include <random>
#include <streambuf>
#include <string>

#include "bench/pair.h"
#include "core/moves.h"
#include "core/pgn.h"

namespace {

constexpr int book_games = 10000;
constexpr int plies_per_game = 80;

// A book as a PGN file would hold it: seven tags, moves wrapped at 80 columns.
std::string make_book() {
    std::mt19937 random(20261208);
    std::string book;
    book.reserve(static_cast<std::size_t>(book_games) * 700);
    chess::MoveList moves;
    for (int game = 1; game <= book_games; ++game) {
        chess::Board board = chess::Board::initial();
        std::string movetext;
        std::size_t line_start = 0;
        for (int ply = 0; ply < plies_per_game; ++ply) {
            board.legal_moves(moves);
            if (moves.empty()) break;
            const chess::Move m = moves[static_cast<int>(random() % static_cast<unsigned>(moves.size()))];
            std::string word;
            if (ply % 2 == 0) word = std::to_string(ply / 2 + 1) + ". ";
            board.play(m, word);
            if (movetext.size() - line_start + word.size() + 1 > 79) {
                movetext += '\n';
                line_start = movetext.size();
            } else if (!movetext.empty()) {
                movetext += ' ';
            }
            movetext += word;
        }
        book += "[Event \"Benchmark\"]\n[Site \"?\"]\n[Date \"2026.12.08\"]\n[Round \"" + std::to_string(game) +
                "\"]\n[White \"Random, A.\"]\n[Black \"Random, B.\"]\n[Result \"*\"]\n\n" + movetext + " *\n\n";
    }
    return book;
}

const std::string& book() {
    static const std::string text = make_book();
    return text;
}

// A stream over text already in memory, copied nowhere.
class MemoryBuffer : public std::streambuf {
public:
    explicit MemoryBuffer(const std::string& text) {
        char* begin = const_cast<char*>(text.data());
        setg(begin, begin, begin + text.size());
    }
};

void BM_PgnReadAndPlay(benchmark::State& state) {
    const std::string& text = book();
    bench::Pair pair(state);
    std::int64_t games = 0;
    for (auto _ : state) {
        int read = 0;
        bool broken = false;
        pair.run(
            [&] {
                MemoryBuffer buffer(text);
                std::istream in(&buffer);
                chess::PgnReader pgn(in);
                chess::PgnGame game;
                chess::PgnError error;
                chess::PgnReader::Status status;
                while ((status = pgn.next(game, error)) != chess::PgnReader::Status::End) {
                    if (status == chess::PgnReader::Status::Error) broken = true;
                    ++read;
                }
                benchmark::DoNotOptimize(game.position);
            },
            [&] {
                MemoryBuffer buffer(text);
                std::istream in(&buffer);
                std::string chunk(64 * 1024, '\0');
                std::uint64_t lines = 0;
                while (in.read(chunk.data(), static_cast<std::streamsize>(chunk.size())) || in.gcount() > 0) {
                    const std::streamsize n = in.gcount();
                    for (std::streamsize i = 0; i < n; ++i) lines += chunk[static_cast<std::size_t>(i)] == '\n';
                }
                benchmark::DoNotOptimize(lines);
            });
        if (broken || read != book_games) {
            state.SkipWithError("the reader did not read every game of the book");
            return;
        }
        games += read;
    }
    pair.report();
    // With the reader's time as the iteration time: games per second.
    state.SetItemsProcessed(games);
    state.counters["book_MB"] = static_cast<double>(text.size()) / 1e6;
}
BENCHMARK(BM_PgnReadAndPlay)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
