#include "input/diagram_pictures.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <map>
#include <memory>
#include <utility>

#include <poppler/cpp/poppler-document.h>
#include <poppler/cpp/poppler-global.h>

#include "core/diagram_record.h"
#include "core/jpeg_comments.h"
#include "core/text.h"
#include "input/input_source.h"

namespace chess::input {

namespace {

bool has_picture_extension(const std::string& name) {
    const std::string extension = lower_extension(name);
    return extension == ".jpg" || extension == ".jpeg" || extension == ".png" || extension == ".svg" ||
           extension == ".pdf";
}

}  // namespace

ListEntry read_diagram_picture(const std::string& path, const std::string& name) {
    InputSource input;
    std::string error;
    if (!input.open(path, error)) {
        ListEntry entry;
        entry.source = name;
        entry.error = error;
        return entry;
    }
    ListEntry entry = read_diagram_picture(input);
    entry.source = name;
    return entry;
}

namespace {

constexpr std::string_view png_signature("\x89PNG\r\n\x1a\n", 8);
constexpr std::string_view png_keyword = "chess-diagram";
constexpr std::string_view pdf_key = "ChessDiagram";

// Holds the input until its end or `limit` bytes; false when a read fails.
bool hold_all(InputSource& input, std::size_t limit) {
    while (input.held().size() < limit && input.more()) {
    }
    return input.at_end() || input.held().size() >= limit;
}

std::string_view after_blanks(std::string_view head) {
    if (head.starts_with("\xEF\xBB\xBF")) head.remove_prefix(3);
    while (!head.empty() && (head[0] == ' ' || head[0] == '\t' || head[0] == '\r' || head[0] == '\n'))
        head.remove_prefix(1);
    return head;
}

std::uint32_t big_endian(std::string_view bytes) {
    std::uint32_t value = 0;
    for (char c : bytes.substr(0, 4)) value = value << 8 | static_cast<unsigned char>(c);
    return value;
}

// The texts of a PNG's "chess-diagram" chunks, walked by their lengths; an
// iTXt's compressed text is not ours and is passed over.
bool png_records(std::string_view png, std::vector<std::string>& records, std::string& error) {
    for (std::size_t at = png_signature.size();;) {
        if (at + 8 > png.size()) {
            error = "the PNG file ends before its last chunk";
            return false;
        }
        const std::uint32_t length = big_endian(png.substr(at));
        const std::string_view type = png.substr(at + 4, 4);
        if (length > png.size() - at - 8 || png.size() - at - 8 - length < 4) {
            error = "a chunk's length runs past the end of the PNG file at byte " + std::to_string(at);
            return false;
        }
        const std::string_view data = png.substr(at + 8, length);
        if (type == "IEND") return true;
        if ((type == "iTXt" || type == "tEXt") && data.starts_with(png_keyword) &&
            data.size() > png_keyword.size() && data[png_keyword.size()] == '\0') {
            std::string_view text = data.substr(png_keyword.size() + 1);
            if (type == "iTXt") {
                // Compression flag and method, then the language and the
                // translated keyword, each ended by a zero byte.
                const bool compressed = !text.empty() && text[0] != '\0';
                std::size_t skip = text.size() >= 2 ? 2 : text.size();
                for (int field = 0; field < 2 && skip < text.size(); ++field) {
                    const std::size_t zero = text.find('\0', skip);
                    skip = zero == std::string_view::npos ? text.size() : zero + 1;
                }
                text = compressed ? std::string_view() : text.substr(skip);
            }
            if (!text.empty()) records.emplace_back(text);
        }
        at += 12 + length;
    }
}

std::string xml_unescaped(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&') {
            out += text[i];
            continue;
        }
        const std::size_t end = text.find(';', i);
        if (end == std::string_view::npos || end - i > 10) {
            out += '&';
            continue;
        }
        const std::string_view name = text.substr(i + 1, end - i - 1);
        unsigned long code = 0;
        if (name == "amp") code = '&';
        else if (name == "lt") code = '<';
        else if (name == "gt") code = '>';
        else if (name == "quot") code = '"';
        else if (name == "apos") code = '\'';
        else if (name.starts_with("#x") || name.starts_with("#X")) code = std::strtoul(std::string(name.substr(2)).c_str(), nullptr, 16);
        else if (name.starts_with("#")) code = std::strtoul(std::string(name.substr(1)).c_str(), nullptr, 10);
        if (code == 0 || code > 0x10FFFF) {
            out += '&';
            continue;
        }
        append_utf8(out, static_cast<char32_t>(code));
        i = end;
    }
    return out;
}

// The text of every <metadata> element that holds a record (as text or in
// a CDATA section, as an editor that rewrites the file may leave it).
void svg_records(std::string_view svg, std::vector<std::string>& records) {
    for (std::size_t at = 0; (at = svg.find("<metadata", at)) != std::string_view::npos;) {
        const std::size_t open_end = svg.find('>', at);
        if (open_end == std::string_view::npos) return;
        at = open_end + 1;
        if (svg[open_end - 1] == '/') continue;
        const std::size_t close = svg.find("</metadata>", at);
        if (close == std::string_view::npos) return;
        std::string_view body = svg.substr(at, close - at);
        std::string text;
        if (after_blanks(body).starts_with("<![CDATA[")) {
            body = after_blanks(body).substr(9);
            text = std::string(body.substr(0, body.find("]]>")));
        } else {
            text = xml_unescaped(body);
        }
        const std::size_t start = text.find(diagram_record_magic);
        if (start != std::string::npos) records.push_back(text.substr(start));
        at = close;
    }
}

void quiet(const std::string&, void*) {}

// The same through poppler, for a PDF that another program rewrote (its
// information in a compressed object stream): slower, as poppler reads the
// whole dictionary again for every entry asked for.
bool pdf_records_by_poppler(std::string_view pdf, std::vector<std::string>& records, std::string& error) {
    if (pdf.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        error = "the PDF file is too large";
        return false;
    }
    // poppler's complaints about a damaged file are its own; ours is one line.
    poppler::set_debug_error_function(quiet, nullptr);
    std::unique_ptr<poppler::document> document(
        poppler::document::load_from_raw_data(pdf.data(), static_cast<int>(pdf.size())));
    if (!document) {
        error = "the PDF file cannot be read";
        return false;
    }
    if (document->is_locked()) {
        error = "the PDF file is locked by a password";
        return false;
    }
    std::vector<std::pair<unsigned long, std::string>> found;
    for (const std::string& key : document->info_keys()) {
        if (!key.starts_with(pdf_key) || key.size() == pdf_key.size() || key.size() > pdf_key.size() + 9 ||
            key.find_first_not_of("0123456789", pdf_key.size()) != std::string::npos)
            continue;
        const poppler::byte_array text = document->info_key(key).to_utf8();
        found.emplace_back(std::stoul(key.substr(pdf_key.size())), std::string(text.begin(), text.end()));
    }
    std::sort(found.begin(), found.end());
    for (auto& [number, text] : found) records.push_back(std::move(text));
    return true;
}

// A PDF string's bytes from its written form at `at` ("(...)" with its
// escapes, or "<hex>"); false when it is neither or is cut off.
bool pdf_string_at(std::string_view pdf, std::size_t at, std::string& bytes) {
    bytes.clear();
    if (at >= pdf.size()) return false;
    if (pdf[at] == '<') {
        int high = -1;
        for (std::size_t i = at + 1; i < pdf.size(); ++i) {
            const char c = pdf[i];
            if (c == '>') {
                if (high >= 0) bytes += static_cast<char>(high << 4);
                return true;
            }
            const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10
                            : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
            if (digit < 0) continue;
            if (high < 0) {
                high = digit;
            } else {
                bytes += static_cast<char>(high << 4 | digit);
                high = -1;
            }
        }
        return false;
    }
    if (pdf[at] != '(') return false;
    int depth = 1;
    for (std::size_t i = at + 1; i < pdf.size(); ++i) {
        const char c = pdf[i];
        if (c == '\\' && i + 1 < pdf.size()) {
            const char e = pdf[++i];
            if (e >= '0' && e <= '7') {
                int value = e - '0';
                for (int k = 0; k < 2 && i + 1 < pdf.size() && pdf[i + 1] >= '0' && pdf[i + 1] <= '7'; ++k)
                    value = value * 8 + (pdf[++i] - '0');
                bytes += static_cast<char>(value);
            } else if (e == 'n') {
                bytes += '\n';
            } else if (e == 'r') {
                bytes += '\r';
            } else if (e == 't') {
                bytes += '\t';
            } else if (e == 'b') {
                bytes += '\b';
            } else if (e == 'f') {
                bytes += '\f';
            } else if (e != '\n' && e != '\r') {
                bytes += e;
            }
            continue;
        }
        if (c == '(') ++depth;
        if (c == ')' && --depth == 0) return true;
        bytes += c;
    }
    return false;
}

// A PDF text string's bytes as UTF-8: UTF-16BE after its byte order mark,
// else taken byte for byte as Latin-1 (our records' ASCII is the same).
std::string pdf_text_utf8(std::string_view bytes) {
    std::string out;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFE && static_cast<unsigned char>(bytes[1]) == 0xFF) {
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
            unsigned long code = static_cast<unsigned char>(bytes[i]) << 8 | static_cast<unsigned char>(bytes[i + 1]);
            if (code >= 0xD800 && code < 0xDC00 && i + 3 < bytes.size()) {
                const unsigned long low = static_cast<unsigned char>(bytes[i + 2]) << 8 | static_cast<unsigned char>(bytes[i + 3]);
                code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
            append_utf8(out, static_cast<char32_t>(code));
        }
        return out;
    }
    for (char c : bytes) append_utf8(out, static_cast<unsigned char>(c));
    return out;
}

// The ChessDiagramN entries of a PDF's document information, by N: read
// from the file's text where it is written plainly, as ours is (the last
// of an entry written twice wins, as the last update does).
bool pdf_records(std::string_view pdf, std::vector<std::string>& records, std::string& error) {
    std::map<unsigned long, std::string> found;
    const std::string key = "/" + std::string(pdf_key);
    std::string bytes;
    for (std::size_t at = pdf.find(key); at != std::string_view::npos; at = pdf.find(key, at + 1)) {
        std::size_t i = at + key.size();
        unsigned long number = 0;
        const std::size_t digits = i;
        for (; i < pdf.size() && i - digits < 9 && pdf[i] >= '0' && pdf[i] <= '9'; ++i) number = number * 10 + (pdf[i] - '0');
        if (i == digits) continue;
        while (i < pdf.size() && (pdf[i] == ' ' || pdf[i] == '\n' || pdf[i] == '\r')) ++i;
        if (pdf_string_at(pdf, i, bytes)) found[number] = pdf_text_utf8(bytes);
    }
    if (found.empty()) return pdf_records_by_poppler(pdf, records, error);
    for (auto& [number, text] : found) records.push_back(std::move(text));
    return true;
}

// The diagram records of the file held: its kind told by its first bytes.
bool records_of(InputSource& input, std::vector<std::string>& records, std::string& error) {
    while (input.held().size() < 8 && input.more()) {
    }
    const std::string_view head = input.held();
    const bool png = looks_like_png(head), pdf = looks_like_pdf(head), svg = !png && !pdf && looks_like_svg(head);
    if (png || pdf || svg) {
        const std::size_t limit = png ? picture_head_bytes : document_bytes;
        if (!hold_all(input, limit)) {
            error = std::strerror(errno);
            return false;
        }
        if (!input.at_end() && input.held().size() >= limit) {
            error = "the file is larger than " + std::to_string(limit >> 20) + " MiB";
            return false;
        }
        if (png) return png_records(input.held(), records, error);
        if (pdf) return pdf_records(input.held(), records, error);
        svg_records(input.held(), records);
        return true;
    }
    // The header is walked each time what is held doubles, until it reaches
    // the first scan: a picture costs its header, not its size.
    JpegComments comments;
    std::size_t tried = 0;
    while (true) {
        const bool more = input.held().size() < picture_head_bytes && input.more();
        const std::string_view held = input.held();
        if (!more || held.size() >= 2 * tried + 64 * 1024) {
            comments = jpeg_comments({reinterpret_cast<const std::uint8_t*>(held.data()), held.size()});
            tried = held.size();
            if (comments.ok || !more) break;
        }
    }
    if (!comments.ok) {
        error = input.at_end() || input.held().size() >= picture_head_bytes ? comments.error : std::strerror(errno);
        return false;
    }
    for (std::string& comment : comments.comments) {
        if (is_diagram_record(comment)) records.push_back(std::move(comment));
    }
    return true;
}

}  // namespace

bool looks_like_png(std::string_view head) { return head.starts_with(png_signature); }
bool looks_like_pdf(std::string_view head) { return head.starts_with("%PDF-"); }
bool looks_like_svg(std::string_view head) {
    head = after_blanks(head);
    return head.starts_with("<?xml") || head.starts_with("<svg") || head.starts_with("<!DOCTYPE svg");
}

std::vector<PictureDiagram> read_picture_diagrams(InputSource& input) {
    std::vector<PictureDiagram> diagrams;
    std::vector<std::string> records;
    std::string error;
    auto refused = [&](std::string why) {
        PictureDiagram diagram;
        diagram.entry.source = input.name();
        diagram.entry.error = std::move(why);
        return std::vector<PictureDiagram>{std::move(diagram)};
    };
    if (!records_of(input, records, error)) return refused(error);
    if (records.empty()) return refused("the picture holds no diagram record (it was not saved by diagram_editor)");
    for (const std::string& record : records) {
        PictureDiagram diagram;
        diagram.entry.source = input.name();
        const DiagramRecordResult read = read_diagram_record(record);
        if (!read.ok) {
            diagram.entry.error = "damaged diagram record: " + read.error;
        } else {
            diagram.entry.ok = true;
            diagram.entry.position = read.record.position;
            // Line breaks in a caption become blanks: the caption is one line.
            diagram.entry.caption = valid_utf8(read.record.caption, Controls::Blank);
            diagram.marks = read.record.annotations;
        }
        diagrams.push_back(std::move(diagram));
    }
    return diagrams;
}

ListEntry read_diagram_picture(InputSource& input) { return read_picture_diagrams(input).front().entry; }

bool diagram_pictures_in(const std::string& folder, std::vector<std::string>& paths, std::string& error) {
    namespace fs = std::filesystem;
    std::error_code failed;
    std::vector<std::string> found;
    for (fs::directory_iterator it(folder, failed), end; !failed && it != end; it.increment(failed)) {
        std::error_code ignored;
        if (it->is_regular_file(ignored) && has_picture_extension(it->path().filename().string()))
            found.push_back(it->path().string());
    }
    if (failed) {
        error = folder + ": " + failed.message();
        return false;
    }
    std::sort(found.begin(), found.end());
    paths.insert(paths.end(), found.begin(), found.end());
    return true;
}

}  // namespace chess::input
