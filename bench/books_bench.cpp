// A book of 1000 positions, 12 to an A4 page with numbers and captions:
// diagram_batch against pdflatex typesetting the same positions with the
// chessboard package, in the same run. Reports
//
//   ratio       our time over LaTeX's (the goal: 1/50 or less)
//   size_ratio  our PDF's size over LaTeX's (the goal: 2 or less)
//   ours_ms, base_ms, ours_kb, base_kb
//
// Skipped, with a message, when pdflatex or the package is missing (Debian:
// texlive-games, texlive-latex-extra, texlive-pictures).
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "core/fen.h"

#ifdef DIAGRAM_BATCH

namespace {

namespace fs = std::filesystem;

constexpr int book_positions = 1000;

// Random men on random squares, two kings always, no pawn on the first or
// last rank: what a book of studies looks like to a typesetter.
std::vector<std::string> book_fens() {
    std::mt19937 random(2026);
    const std::string men = "QRBNPqrbnp";
    std::vector<std::string> fens;
    for (int n = 0; n < book_positions; ++n) {
        chess::Position p;
        std::string placed = "Kk";
        const int extra = 4 + static_cast<int>(random() % 17);
        for (int i = 0; i < extra; ++i) placed += men[random() % men.size()];
        for (char c : placed) {
            while (true) {
                const int square = static_cast<int>(random() % 64), rank = chess::rank_of(square);
                if ((c == 'P' || c == 'p') && (rank == 0 || rank == 7)) continue;
                if (p[square] != chess::Piece::Empty) continue;
                p[square] = chess::piece_of_letter(c);
                break;
            }
        }
        p.to_move = n % 3 == 0 ? chess::Side::Black : chess::Side::White;
        fens.push_back(chess::write_fen(p));
    }
    return fens;
}

// The exit status of a command run through the shell, its output discarded.
int run(const std::string& command) {
    const int status = std::system((command + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

double timed_run(const std::string& command, int& status) {
    const auto start = std::chrono::steady_clock::now();
    status = run(command);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void write_latex_book(const std::vector<std::string>& fens, const fs::path& tex) {
    std::ofstream out(tex);
    out << "\\documentclass[a4paper]{article}\n\\usepackage[margin=15mm]{geometry}\n\\usepackage{chessboard}\n"
           "\\pagestyle{empty}\n"
           "\\setchessboard{boardfontsize=16pt,labelleft=false,labelbottom=false,showmover=false}\n"
           "\\begin{document}\n";
    for (std::size_t i = 0; i < fens.size(); ++i) {
        const std::string placement = fens[i].substr(0, fens[i].find(' '));
        if (i % 3 == 0) out << "\\noindent";
        out << "\\begin{minipage}[t]{0.32\\textwidth}\\centering\\textbf{" << i + 1 << "}\\\\\\chessboard[setfen="
            << placement << "]\\\\Position " << i + 1 << "\\end{minipage}";
        out << (i % 3 != 2 ? "\\hfill\n" : "\\par\\vspace{3mm}\n");
        if (i % 12 == 11) out << "\\newpage\n";
    }
    out << "\\end{document}\n";
}

void BM_Book1000_vs_Latex(benchmark::State& state) {
    if (run("command -v pdflatex") != 0 || run("kpsewhich chessboard.sty") != 0) {
        state.SkipWithError("pdflatex or the chessboard package is missing (texlive-games)");
        return;
    }
    char pattern[] = "/tmp/books-bench-XXXXXX";
    if (!mkdtemp(pattern)) {
        state.SkipWithError("no scratch folder");
        return;
    }
    const fs::path dir = pattern;
    const std::vector<std::string> fens = book_fens();
    {
        std::ofstream list(dir / "book.fen");
        for (std::size_t i = 0; i < fens.size(); ++i) list << fens[i] << " Position " << i + 1 << "\n";
    }
    write_latex_book(fens, dir / "book.tex");

    double ours = 0, base = 0;
    int runs = 0;
    for (auto _ : state) {
        int our_status = 0, latex_status = 0;
        const double o = timed_run(std::string(DIAGRAM_BATCH) + " --layout 3x4 --numbers -o " +
                                       (dir / "ours.pdf").string() + " " + (dir / "book.fen").string(),
                                   our_status);
        const double b = timed_run("cd " + dir.string() + " && pdflatex -interaction=batchmode book.tex", latex_status);
        if (our_status != 0 || latex_status != 0) {
            // Debian's Google Benchmark takes a C string here.
            const std::string why = "a side failed: diagram_batch " + std::to_string(our_status) + ", pdflatex " +
                                    std::to_string(latex_status);
            state.SkipWithError(why.c_str());
            break;
        }
        state.SetIterationTime(o);
        ours += o;
        base += b;
        ++runs;
    }
    if (runs > 0) {
        const double our_size = static_cast<double>(fs::file_size(dir / "ours.pdf"));
        const double latex_size = static_cast<double>(fs::file_size(dir / "book.pdf"));
        state.counters["ratio"] = ours / base;
        state.counters["ours_ms"] = 1000 * ours / runs;
        state.counters["base_ms"] = 1000 * base / runs;
        state.counters["size_ratio"] = our_size / latex_size;
        state.counters["ours_kb"] = our_size / 1024;
        state.counters["base_kb"] = latex_size / 1024;
    }
    std::error_code ignored;
    fs::remove_all(dir, ignored);
}
// LaTeX takes about a minute: one iteration says enough.
BENCHMARK(BM_Book1000_vs_Latex)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

#endif
