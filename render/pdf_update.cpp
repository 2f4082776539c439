#include "render/pdf_update.h"

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace chess::render {

namespace {

// A PDF text string: a literal one for ASCII text, its line breaks and
// parentheses escaped; else UTF-16BE with its byte order mark, in hex.
std::string pdf_text(std::string_view utf8) {
    bool ascii = true;
    for (char c : utf8) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    static const char digits[] = "0123456789ABCDEF";
    if (ascii) {
        std::string out = "(";
        for (char c : utf8) {
            if (c == '(' || c == ')' || c == '\\') {
                out += '\\';
                out += c;
            } else if (c == '\n') {
                out += "\\n";
            } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                out += '\\';
                out += static_cast<char>('0' + (c >> 6 & 7));
                out += static_cast<char>('0' + (c >> 3 & 7));
                out += static_cast<char>('0' + (c & 7));
            } else {
                out += c;
            }
        }
        return out + ")";
    }
    std::string out = "<FEFF";
    auto unit = [&](unsigned u) {
        for (int shift = 12; shift >= 0; shift -= 4) out += digits[(u >> shift) & 0xF];
    };
    for (std::size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        unsigned code = c;
        std::size_t n = 1;
        if (c >= 0xF0 && i + 3 < utf8.size()) {
            code = (c & 0x07u) << 18 | (utf8[i + 1] & 0x3Fu) << 12 | (utf8[i + 2] & 0x3Fu) << 6 | (utf8[i + 3] & 0x3Fu);
            n = 4;
        } else if (c >= 0xE0 && i + 2 < utf8.size()) {
            code = (c & 0x0Fu) << 12 | (utf8[i + 1] & 0x3Fu) << 6 | (utf8[i + 2] & 0x3Fu);
            n = 3;
        } else if (c >= 0xC0 && i + 1 < utf8.size()) {
            code = (c & 0x1Fu) << 6 | (utf8[i + 1] & 0x3Fu);
            n = 2;
        }
        i += n;
        if (code >= 0x10000) {
            code -= 0x10000;
            unit(0xD800 + (code >> 10));
            unit(0xDC00 + (code & 0x3FF));
        } else {
            unit(code);
        }
    }
    return out + ">";
}

// The number after the last `key` in the text, or -1.
long number_after(std::string_view text, std::string_view key) {
    const std::size_t at = text.rfind(key);
    if (at == std::string_view::npos) return -1;
    std::size_t i = at + key.size();
    while (i < text.size() && (text[i] == ' ' || text[i] == '\n' || text[i] == '\r')) ++i;
    long value = -1;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) value = (value < 0 ? 0 : value * 10) + (text[i] - '0');
    return value;
}

// What lies inside the dictionary of object `number` in the text, or "".
std::string dictionary_of(std::string_view text, long number) {
    const std::string head = std::to_string(number) + " 0 obj";
    std::size_t at = text.rfind("\n" + head);
    if (at == std::string_view::npos) return {};
    const std::size_t open = text.find("<<", at), end = text.find("endobj", at);
    if (open == std::string_view::npos || end == std::string_view::npos || open > end) return {};
    const std::size_t close = text.rfind(">>", end);
    if (close == std::string_view::npos || close < open + 2) return {};
    return std::string(text.substr(open + 2, close - open - 2));
}

// An unlinked file in $TMPDIR (else /tmp), read and written; null on failure.
std::FILE* unlinked_file() {
    const char* folder = std::getenv("TMPDIR");
    std::string pattern = std::string(folder && *folder ? folder : "/tmp") + "/diagram-book-XXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd < 0) return nullptr;
    unlink(pattern.c_str());
    std::FILE* file = fdopen(fd, "w+");
    if (!file) close(fd);
    return file;
}

// One cross-reference entry: exactly 20 bytes.
std::string xref_entry(std::uint64_t offset) {
    char entry[32];
    std::snprintf(entry, sizeof entry, "%010llu 00000 n \n", static_cast<unsigned long long>(offset));
    return entry;
}

}  // namespace

PdfUpdate::~PdfUpdate() {
    if (spool_) std::fclose(spool_);
}

void PdfUpdate::saw(const unsigned char* data, std::size_t length) {
    length_ += length;
    const std::size_t old = tail_.size();
    tail_.append(reinterpret_cast<const char*>(data), length);
    // cairo writes "N 0 obj\n<< /Type /Page % n\n" for page n: the outline
    // points at object N. A match cut by the chunk's end is found again with
    // the next one, which overlaps it.
    constexpr std::string_view page = "<< /Type /Page % ";
    for (std::size_t at = tail_.find(page, old > 64 ? old - 64 : 0); at != std::string::npos;
         at = tail_.find(page, at + 1)) {
        const std::size_t digits = at + page.size(), end = tail_.find('\n', digits);
        const std::size_t obj = tail_.rfind(" 0 obj", at);
        if (end == std::string::npos || obj == std::string::npos || at - obj > 8) break;
        const std::size_t line = tail_.rfind('\n', obj);
        const long n = std::strtol(tail_.c_str() + digits, nullptr, 10);
        const long number = std::strtol(tail_.c_str() + (line == std::string::npos ? 0 : line + 1), nullptr, 10);
        if (n < 1 || number < 1 || n > (1L << 24)) continue;
        if (page_objects_.size() < static_cast<std::size_t>(n)) page_objects_.resize(n, 0);
        page_objects_[n - 1] = number;
    }
    // The document's catalog and information come just before its
    // cross-reference table, which may be long: what precedes it is kept.
    const std::size_t xref = tail_.find("\nxref\n0 ", old > 16 ? old - 16 : 0);
    if (xref != std::string::npos) before_xref_ = tail_.substr(0, xref + 1);
    if (tail_.size() > 16384) tail_.erase(0, tail_.size() - 8192);
}

bool PdfUpdate::add(int page, double x, double y, std::string_view title, std::string_view record, std::string& error) {
    if (!spool_ && !(spool_ = unlinked_file())) {
        error = std::string("cannot keep the diagrams' records: ") + std::strerror(errno);
        return false;
    }
    ++diagrams_;
    if (std::fprintf(spool_, "%d %ld %ld\t%s\t%s\n", page, std::lround(x), std::lround(y), pdf_text(title).c_str(),
                     pdf_text(record).c_str()) < 0) {
        error = std::string("cannot keep the diagrams' records: ") + std::strerror(errno);
        return false;
    }
    return true;
}

bool PdfUpdate::finish(const std::function<bool(const void*, std::size_t)>& write, std::string& error) {
    const long size = number_after(tail_, "/Size"), root = number_after(tail_, "/Root"),
               old_info = number_after(tail_, "/Info"), previous = number_after(tail_, "startxref");
    const std::string catalog = dictionary_of(before_xref_, root);
    if (size <= 0 || previous <= 0 || catalog.empty()) {
        error = "no trailer to add the records to";
        return false;
    }
    std::FILE* xref = nullptr;
    if (diagrams_ > 0 && (std::fflush(spool_) != 0 || !(xref = unlinked_file()))) {
        error = std::string("cannot read the diagrams' records back: ") + std::strerror(errno);
        return false;
    }
    std::uint64_t at = length_;
    bool ok = true;
    auto put = [&](const std::string& text) {
        ok = ok && write(text.data(), text.size());
        at += text.size();
    };
    // Each spooled line: "page x y", the title and the record, by tabs.
    char* line = nullptr;
    std::size_t capacity = 0;
    auto each = [&](const std::function<void(long k, int page, long x, long y, std::string_view title,
                                             std::string_view record)>& use) {
        if (!spool_ || std::fseek(spool_, 0, SEEK_SET) != 0) return;
        for (long k = 1; ok && getline(&line, &capacity, spool_) > 0; ++k) {
            int page = 0;
            long x = 0, y = 0;
            std::sscanf(line, "%d %ld %ld", &page, &x, &y);
            const std::string_view text(line);
            const std::size_t first = text.find('\t'), second = text.find('\t', first + 1);
            use(k, page, x, y, text.substr(first + 1, second - first - 1),
                text.substr(second + 1, text.size() - second - 2));
        }
    };

    const long info = size, new_catalog = size + 1, outlines = size + 2;
    std::string head = std::to_string(info) + " 0 obj\n<<" + (old_info > 0 ? dictionary_of(before_xref_, old_info) : "") +
                       "\n   /Creator (diagram_batch)\n";
    put(head);
    each([&](long k, int, long, long, std::string_view, std::string_view record) {
        put("   /ChessDiagram" + std::to_string(k) + " " + std::string(record) + "\n");
    });
    put(">>\nendobj\n");
    const std::uint64_t catalog_at = at;
    std::uint64_t outlines_at = 0;
    if (diagrams_ > 0) {
        put(std::to_string(new_catalog) + " 0 obj\n<<" + catalog + "   /Outlines " + std::to_string(outlines) +
            " 0 R\n>>\nendobj\n");
        outlines_at = at;
        put(std::to_string(outlines) + " 0 obj\n<< /Type /Outlines /First " + std::to_string(outlines + 1) +
            " 0 R /Last " + std::to_string(outlines + diagrams_) + " 0 R /Count " + std::to_string(diagrams_) +
            " >>\nendobj\n");
        each([&](long k, int page, long x, long y, std::string_view title, std::string_view) {
            const std::string entry = xref_entry(at);
            ok = ok && std::fwrite(entry.data(), 1, entry.size(), xref) == entry.size();
            std::string item = std::to_string(outlines + k) + " 0 obj\n<< /Title " + std::string(title) +
                               " /Parent " + std::to_string(outlines) + " 0 R";
            if (k > 1) item += " /Prev " + std::to_string(outlines + k - 1) + " 0 R";
            if (k < diagrams_) item += " /Next " + std::to_string(outlines + k + 1) + " 0 R";
            if (page >= 1 && static_cast<std::size_t>(page) <= page_objects_.size() && page_objects_[page - 1] > 0) {
                item += " /Dest [" + std::to_string(page_objects_[page - 1]) + " 0 R /XYZ " + std::to_string(x) + " " +
                        std::to_string(y) + " 0]";
            }
            put(item + " >>\nendobj\n");
        });
    }
    std::free(line);
    const long objects = diagrams_ > 0 ? 3 + diagrams_ : 1;
    const std::uint64_t xref_at = at;
    put("xref\n" + std::to_string(size) + " " + std::to_string(objects) + "\n" + xref_entry(length_));
    if (diagrams_ > 0) {
        put(xref_entry(catalog_at) + xref_entry(outlines_at));
        char buffer[65536];
        ok = ok && std::fflush(xref) == 0 && std::fseek(xref, 0, SEEK_SET) == 0;
        for (std::size_t got; ok && (got = std::fread(buffer, 1, sizeof buffer, xref)) > 0;) put(std::string(buffer, got));
        ok = ok && !std::ferror(xref);
        std::fclose(xref);
    }
    put("trailer\n<< /Size " + std::to_string(size + objects) + " /Root " +
        std::to_string(diagrams_ > 0 ? new_catalog : root) + " 0 R /Info " + std::to_string(info) + " 0 R /Prev " +
        std::to_string(previous) + " >>\nstartxref\n" + std::to_string(xref_at) + "\n%%EOF\n");
    if (!ok || (spool_ && std::ferror(spool_))) {
        error = std::string("cannot write the diagrams' records: ") + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace chess::render
