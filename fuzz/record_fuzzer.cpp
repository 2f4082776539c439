// The diagram record's readers on arbitrary bytes: as a JPEG file whose
// comments are walked and read as records, and as a record's text. What
// reads back must write out and read again to the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/diagram_record.h"
#include "core/jpeg_comments.h"

namespace {

void read_back(std::string_view text) {
    chess::DiagramRecordResult read = chess::read_diagram_record(text);
    if (!read.ok) return;
    chess::DiagramRecordResult again = chess::read_diagram_record(chess::write_diagram_record(read.record));
    if (!again.ok || again.record.position.squares != read.record.position.squares ||
        again.record.position.looks != read.record.position.looks ||
        again.record.caption != read.record.caption || again.record.square != read.record.square ||
        again.record.annotations != read.record.annotations)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const chess::JpegComments comments = chess::jpeg_comments(std::span<const std::uint8_t>(data, size));
    for (const std::string& comment : comments.comments) read_back(comment);
    read_back(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
