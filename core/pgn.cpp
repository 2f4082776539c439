#include "core/pgn.h"

#include <charconv>
#include <cstring>
#include <limits>
#include <optional>

#include "core/encodings.h"
#include "core/fen.h"
#include "core/moves.h"

namespace chess {

namespace {

constexpr std::size_t buffer_size = 64 * 1024;

bool is_blank(int c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }
bool is_alnum(int c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Characters of moves, move numbers, results and glyphs such as "!?".
bool is_token_char(int c) {
    if (is_alnum(c)) return true;
    switch (c) {
        case '_': case '+': case '#': case '=': case ':': case '-': case '/': case '.': case '!': case '?':
            return true;
        default:
            return false;
    }
}

bool is_result(std::string_view t) { return t == "1-0" || t == "0-1" || t == "1/2-1/2" || t == "*"; }

// A character for a message: printable ASCII quoted, anything else by its
// byte value, so that no message carries a broken UTF-8 sequence.
std::string shown(int c) {
    if (c >= 0x20 && c < 0x7F) return std::string("'") + static_cast<char>(c) + "'";
    static const char digits[] = "0123456789ABCDEF";
    return std::string("byte 0x") + digits[(c >> 4) & 15] + digits[c & 15];
}

// Drops a UTF-8 sequence cut in two at the end of a text.
void trim_broken_tail(std::string& text) {
    std::size_t back = 0;
    while (back < text.size() && back < 4 && (static_cast<unsigned char>(text[text.size() - 1 - back]) & 0xC0) == 0x80) {
        ++back;
    }
    if (back == text.size()) return;
    const auto lead = static_cast<unsigned char>(text[text.size() - 1 - back]);
    std::size_t expected = 1;
    if ((lead & 0xE0) == 0xC0) expected = 2;
    else if ((lead & 0xF0) == 0xE0) expected = 3;
    else if ((lead & 0xF8) == 0xF0) expected = 4;
    if (lead >= 0x80 && back + 1 < expected) text.resize(text.size() - 1 - back);
}

void append_number(std::string& out, int n) {
    char digits[16];
    auto [end, error] = std::to_chars(digits, digits + sizeof digits, n);
    (void)error;
    out.append(digits, end);
}

}  // namespace

std::string_view PgnGame::tag(std::string_view name) const {
    for (const PgnTag& t : tags) {
        if (t.name == name) return t.value;
    }
    return {};
}

std::string PgnError::message() const {
    std::string out = "game " + std::to_string(game);
    if (!san.empty()) {
        out += ", move " + move_number + " (" + san + ")";
    } else if (line > 0) {
        out += ", line " + std::to_string(line);
    }
    return out + ": " + reason;
}

PgnReader::PgnReader(std::istream& in, PgnLimits limits) : in_(in), limits_(limits), buffer_(buffer_size) {}

bool PgnReader::fill() {
    if (eof_) return false;
    in_.read(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
    end_ = static_cast<std::size_t>(in_.gcount());
    at_ = 0;
    if (!started_) {
        started_ = true;
        // A byte-order mark is no part of the text.
        if (end_ >= 3 && buffer_[0] == '\xEF' && buffer_[1] == '\xBB' && buffer_[2] == '\xBF') at_ = 3;
    }
    if (at_ == end_) {
        eof_ = true;
        return false;
    }
    return true;
}

inline int PgnReader::peek() {
    if (at_ == end_ && !fill()) return -1;
    return static_cast<unsigned char>(buffer_[at_]);
}

inline int PgnReader::get() {
    const int c = peek();
    if (c < 0) return c;
    ++at_;
    if (c == '\n') {
        if (line_ < std::numeric_limits<int>::max()) ++line_;
        line_start_ = true;
    } else {
        line_start_ = false;
    }
    return c;
}

std::string_view PgnReader::rest_of_line(std::size_t want) {
    auto line_end = [this] {
        const void* nl = std::memchr(buffer_.data() + at_, '\n', end_ - at_);
        return nl ? static_cast<std::size_t>(static_cast<const char*>(nl) - buffer_.data()) : end_;
    };
    std::size_t stop = line_end();
    if (stop == end_ && end_ - at_ < want && !eof_ && in_) {
        // Move what is left to the front and read on behind it.
        std::memmove(buffer_.data(), buffer_.data() + at_, end_ - at_);
        end_ -= at_;
        at_ = 0;
        in_.read(buffer_.data() + end_, static_cast<std::streamsize>(buffer_.size() - end_));
        end_ += static_cast<std::size_t>(in_.gcount());
        stop = line_end();
    }
    return {buffer_.data() + at_, stop - at_};
}

// The reading of one game.
class PgnReader::Parse {
public:
    Parse(PgnReader& reader, PgnGame& game, PgnError& error) : r_(reader), g_(game), e_(error) {}

    Status run() {
        // Blank lines and escape lines between games.
        while (true) {
            const int c = r_.peek();
            if (c < 0) return Status::End;
            if (is_blank(c)) {
                r_.get();
            } else if (c == '%' && r_.line_start_) {
                skip_line();
            } else {
                break;
            }
        }
        begin();
        while (!done_) {
            const int c = r_.peek();
            if (c < 0) {
                if (!substantial_ && !failed_) {
                    // Only comments after the last game: nothing to give;
                    // but a comment or tag left open is worth a word.
                    if (g_.cut_off.empty()) {
                        --r_.games_;
                        return Status::End;
                    }
                    fail(g_.cut_off, cut_line_);
                }
                cut_off(depth_ > 0 ? "the file ends inside a variation" : "the file ends before the result");
                break;
            }
            if (is_blank(c)) {
                r_.get();
            } else if (c == '%' && r_.line_start_) {
                skip_line();
            } else if (c == '[') {
                if (movetext_ && (substantial_ || failed_)) {
                    if (!failed_) cut_off("no result before the next game");
                    break;
                }
                if (movetext_) {
                    // Comments alone before a tag section belong to no game.
                    movetext_ = false;
                    g_.line = r_.line_;
                    r_.first_comment_.clear();
                    r_.last_comment_.clear();
                }
                read_tag();
            } else if (c == '{' || c == ';') {
                read_comment(c == '{' ? '}' : '\n');
            } else if (c == '(') {
                r_.get();
                movetext_ = true;
                // Past the bound the count stops: the game is skipped anyway.
                if (depth_ >= r_.limits_.max_depth) {
                    if (!failed_) fail("variations nested deeper than " + std::to_string(r_.limits_.max_depth));
                } else {
                    ++depth_;
                }
            } else if (c == ')') {
                const int line = r_.line_;
                r_.get();
                if (depth_ > 0) {
                    --depth_;
                } else if (!failed_) {
                    fail("')' without '('", line);
                }
            } else if (c == '$') {
                r_.get();
                movetext_ = true;
                read_token();
            } else if (c == '*') {
                r_.get();
                movetext_ = true;
                take_token("*", r_.line_);
            } else if (is_token_char(c)) {
                const int line = r_.line_;
                movetext_ = true;
                if (read_token()) take_token(r_.token_, line);
            } else {
                const int line = r_.line_;
                r_.get();
                // What follows is no tag section of this game any more.
                movetext_ = true;
                if (!failed_) fail("unexpected " + shown(c), line);
            }
        }
        return finish();
    }

private:
    void begin() {
        if (r_.games_ < std::numeric_limits<int>::max()) ++r_.games_;
        g_.number = r_.games_;
        g_.line = r_.line_;
        g_.tags.clear();
        g_.puzzle = false;
        g_.position = Position::initial();
        g_.caption.clear();
        g_.solution.clear();
        g_.plies = 0;
        g_.result.clear();
        g_.cut_off.clear();
        g_.annotations.clear();
        g_.windows_1252 = false;
        r_.first_comment_.clear();
        r_.last_comment_.clear();
    }

    void fail(std::string reason, int line = -1) {
        if (failed_) return;
        failed_ = true;
        e_ = PgnError{};
        e_.game = g_.number;
        e_.line = line < 0 ? r_.line_ : line;
        e_.reason = std::move(reason);
    }

    void cut_off(std::string why, int line = -1) {
        if (!g_.cut_off.empty()) return;
        g_.cut_off = std::move(why);
        cut_line_ = line < 0 ? r_.line_ : line;
    }

    void skip_line() {
        for (int c = r_.get(); c >= 0 && c != '\n'; c = r_.get()) {
        }
    }

    // A token into r_.token_; false (and an error) when it is too long.
    bool read_token() {
        const int line = r_.line_;
        std::string& t = r_.token_;
        t.clear();
        std::size_t length = 0;
        while (is_token_char(r_.peek())) {
            const int c = r_.get();
            if (++length <= r_.limits_.max_token) t += static_cast<char>(c);
        }
        if (length > r_.limits_.max_token) {
            fail("a move or other word longer than " + std::to_string(r_.limits_.max_token) + " bytes", line);
            return false;
        }
        return true;
    }

    void read_tag() {
        const int line = r_.line_;
        r_.get();  // '['
        auto skip_spaces = [this] {
            while (r_.peek() == ' ' || r_.peek() == '\t' || r_.peek() == '\r') r_.get();
        };
        // After an error the rest of the line goes, so that reading picks up
        // at the next tag.
        auto broken = [this, line](std::string why) {
            fail(std::move(why), line);
            if (r_.peek() >= 0) skip_line();
        };
        skip_spaces();
        std::string name;
        while (is_alnum(r_.peek()) || r_.peek() == '_') {
            const int c = r_.get();
            if (name.size() < r_.limits_.max_token) name += static_cast<char>(c);
            else return broken("a tag name longer than " + std::to_string(r_.limits_.max_token) + " bytes");
        }
        if (name.empty()) return broken("a tag without a name");
        skip_spaces();
        if (r_.peek() < 0) return cut_off("the file ends inside a tag", line);
        if (r_.peek() != '"') return broken("tag " + name + " has no quoted value");
        r_.get();
        std::string value;
        bool too_long = false;
        bool broken_line = false;
        std::string blanks;
        auto keep = [&](int c) {
            if (value.size() < r_.limits_.max_tag_value) value += static_cast<char>(c);
            else too_long = true;
        };
        while (true) {
            int c = r_.get();
            if (c < 0) return cut_off("the file ends inside a tag", line);
            if (c == '\n') {
                // A value broken over two lines goes on on the next, unless
                // that line starts a tag of its own: then the quote was
                // never closed.
                while (!value.empty() && (value.back() == '\r' || value.back() == ' ')) value.pop_back();
                while (r_.peek() == ' ' || r_.peek() == '\t' || r_.peek() == '\r') r_.get();
                if (r_.peek() < 0) return cut_off("the file ends inside a tag", line);
                if (broken_line || r_.peek() == '[' || !closes_tag(r_.rest_of_line(r_.limits_.max_tag_value))) {
                    fail("the value of tag " + name + " is not closed on its line", line);
                    return;
                }
                broken_line = true;
                keep(' ');
                continue;
            }
            if (c == '"') {
                // The value ends at the quote before the ']': quotes inside
                // it, unescaped as some files write a name in quotes, are
                // part of it.
                blanks.clear();
                while (r_.peek() == ' ' || r_.peek() == '\t' || r_.peek() == '\r') blanks += static_cast<char>(r_.get());
                const int next = r_.peek();
                if (next == ']' || next == '\n' || next < 0) break;
                keep('"');
                for (char b : blanks) keep(b);
                continue;
            }
            if (c == '\\' && (r_.peek() == '"' || r_.peek() == '\\')) c = r_.get();
            keep(c);
        }
        if (too_long) {
            return broken("the value of tag " + name + " is longer than " + std::to_string(r_.limits_.max_tag_value) +
                          " bytes");
        }
        skip_spaces();
        if (r_.peek() < 0) return cut_off("the file ends inside a tag", line);
        if (r_.peek() != ']') return broken("tag " + name + " is not closed with ']'");
        r_.get();
        if (static_cast<int>(g_.tags.size()) >= r_.limits_.max_tags) {
            return fail("more than " + std::to_string(r_.limits_.max_tags) + " tags", line);
        }
        if (failed_) return;
        substantial_ = true;
        if (name == "FEN") fen_line_ = line;
        g_.tags.push_back({std::move(name), std::move(value)});
    }

    void read_comment(int close) {
        const int line = r_.line_;
        r_.get();
        movetext_ = true;
        std::string& text = r_.comment_;
        text.clear();
        bool closed = false;
        for (int c = r_.get(); c >= 0; c = r_.get()) {
            if (c == close) {
                closed = true;
                break;
            }
            if (text.size() < r_.limits_.max_comment) text += static_cast<char>(c);
        }
        if (!closed && close == '}') cut_off("the file ends inside the comment from line " + std::to_string(line), line);
        // A text cut at the bound may end inside a UTF-8 sequence; a whole
        // one may end in a byte of another encoding, which stays.
        if (text.size() >= r_.limits_.max_comment) trim_broken_tail(text);
        if (failed_ || depth_ > 0) return;
        if (g_.plies == 0 && !moves_seen_) {
            std::string& first = r_.first_comment_;
            if (!first.empty() && first.size() < r_.limits_.max_comment) first += ' ';
            first.append(text, 0, r_.limits_.max_comment - std::min(first.size(), r_.limits_.max_comment));
            if (first.size() >= r_.limits_.max_comment) trim_broken_tail(first);
        }
        r_.last_comment_.assign(text);
    }

    // Sets up the start: the FEN tag's position or the initial one.
    void prepare() {
        if (prepared_) return;
        prepared_ = true;
        start_ = Position::initial();
        const std::string_view fen = fen_line_ ? g_.tag("FEN") : std::string_view();
        if (fen_line_) {
            FenResult read = read_fen(fen);
            if (!read.ok) {
                fail("FEN tag: " + read.error, fen_line_);
                return;
            }
            start_ = read.position;
            g_.puzzle = true;
        }
        board_ = Board::from_position(start_, &unplayable_);
        white_ = start_.to_move != Side::Black;
        number_ = start_.fullmove_number;
    }

    void take_token(std::string_view t, int line) {
        if (is_result(t)) {
            if (depth_ == 0 || failed_) {
                g_.result.assign(t);
                substantial_ = true;
                done_ = true;
            }
            return;
        }
        if (failed_ || depth_ > 0) return;
        // A move number in front: "12." "12..." "12.Nf3"; castling with
        // zeros is a move.
        if (is_digit(t[0]) && t.substr(0, 3) != "0-0") {
            std::size_t i = 0;
            while (i < t.size() && is_digit(t[i])) ++i;
            if (i == t.size()) return;  // a number without its dot
            if (t[i] == '.') {
                while (i < t.size() && t[i] == '.') ++i;
                t.remove_prefix(i);
            }
        }
        // Dots, glyphs and evaluation signs written out ("!?", "+-", "="); a
        // null move "--" is no glyph: it is played, as a pass.
        if (t.empty() || (t != "--" && t.find_first_not_of(".!?+-=/") == std::string_view::npos)) return;
        // "exd6 e.p.": the en passant sign written apart from its move.
        if (t == "e.p." || t == "ep") return;
        play(t, line);
    }

    void play(std::string_view san, int line) {
        prepare();
        if (failed_) return;
        moves_seen_ = true;
        substantial_ = true;
        if (g_.plies >= r_.limits_.max_plies) {
            fail("more than " + std::to_string(r_.limits_.max_plies) + " half-moves", line);
            return;
        }
        std::string& out = g_.solution;
        if (white_) {
            if (!out.empty()) out += ' ';
            append_number(out, number_);
            out += ". ";
        } else if (out.empty()) {
            append_number(out, number_);
            out += "... ";
        } else {
            out += ' ';
        }
        if (board_ && (san == "--" || san == "Z0")) {
            // A null move: the side to move passes.
            if (!board_->pass()) {
                fail("a null move while in check", line);
                e_.move_number = std::to_string(number_) + (white_ ? "" : "...");
                e_.san.assign(san);
                return;
            }
            out += "--";
        } else if (board_) {
            SanResult move = board_->play_san(san, out);
            if (!move.ok) {
                fail(std::move(move.error), line);
                e_.move_number = std::to_string(number_) + (white_ ? "" : "...");
                e_.san.assign(san);
                return;
            }
        } else if (!g_.puzzle) {
            fail("the position cannot be played: " + unplayable_, line);
            return;
        } else {
            // A puzzle the rules cannot play (no king, say): its solution
            // as written, unchecked.
            out.append(san);
        }
        ++g_.plies;
        // Marks belong to the position they were drawn on: only a comment
        // after the last move speaks of the diagram of a played game.
        r_.last_comment_.clear();
        if (!white_) ++number_;
        white_ = !white_;
    }

    Status finish() {
        prepare();
        if (failed_) return Status::Error;
        if (g_.puzzle || !board_) {
            g_.position = start_;
        } else {
            g_.position = board_->position();
        }
        read_encoding();
        g_.caption = strip_commands(r_.first_comment_);
        read_annotations(g_.puzzle ? r_.first_comment_ : r_.last_comment_, g_.annotations);
        return Status::Game;
    }

    // Whether a line holds the end of a tag: a quote, blanks, ']'.
    static bool closes_tag(std::string_view line) {
        for (std::size_t q = line.find('"'); q != std::string_view::npos; q = line.find('"', q + 1)) {
            std::size_t i = q + 1;
            while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
            if (i < line.size() && line[i] == ']') return true;
        }
        return false;
    }

    // PGN is Latin-1 by its standard, and many files are: a game whose texts
    // are not all UTF-8 is taken as Windows-1252 (Latin-1 and its printable
    // extras) and its texts converted, as a whole.
    void read_encoding() {
        bool utf8 = is_valid_utf8(r_.first_comment_) && is_valid_utf8(r_.last_comment_);
        for (const PgnTag& t : g_.tags) utf8 = utf8 && is_valid_utf8(t.value);
        if (utf8) return;
        g_.windows_1252 = true;
        for (PgnTag& t : g_.tags) t.value = windows_1252_to_utf8(t.value);
        r_.first_comment_ = windows_1252_to_utf8(r_.first_comment_);
        r_.last_comment_ = windows_1252_to_utf8(r_.last_comment_);
    }

    PgnReader& r_;
    PgnGame& g_;
    PgnError& e_;
    bool failed_ = false;
    bool done_ = false;
    // Something other than tags seen: a '[' now starts the next game.
    bool movetext_ = false;
    // Tags, moves or a result seen: this is a game, not stray comments.
    bool substantial_ = false;
    bool moves_seen_ = false;
    int depth_ = 0;
    int fen_line_ = 0;
    int cut_line_ = 0;
    bool prepared_ = false;
    Position start_;
    std::optional<Board> board_;
    std::string unplayable_;
    bool white_ = true;
    int number_ = 1;
};

PgnReader::Status PgnReader::next(PgnGame& game, PgnError& error) {
    Parse parse(*this, game, error);
    return parse.run();
}

}  // namespace chess
