// One input opened once: a file, a pipe, a FIFO or standard input. Its
// first bytes are read ahead and held, so that what it holds can be told
// from them and then read from them on: nothing is lost to the telling, and
// nothing is opened twice (a pipe cannot give its bytes again, a FIFO's
// second open would wait for a writer that has gone).
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

namespace chess::input {

class InputSource {
public:
    InputSource() = default;
    ~InputSource();
    InputSource(InputSource&& other) noexcept;
    InputSource& operator=(InputSource&& other) noexcept;
    InputSource(const InputSource&) = delete;
    InputSource& operator=(const InputSource&) = delete;

    // Opens path ("-": standard input, left open at the end). False, with
    // the system's reason, when it cannot be opened.
    bool open(const std::string& path, std::string& error);
    bool is_open() const { return fd_ >= 0; }
    const std::string& path() const { return path_; }
    // The name messages give the input.
    const std::string& name() const { return name_; }
    // A regular file can be read again from its start; a pipe, a FIFO or a
    // terminal only once.
    bool regular() const { return regular_; }

    // The bytes read ahead and not yet taken. more() reads once from the
    // input and adds what came to them; false at its end or on an error.
    std::string_view held() const { return {head_.data() + taken_, head_.size() - taken_}; }
    bool more();
    bool at_end() const { return eof_; }

    // The next bytes, those held first: as read(2), -1 with errno on an error.
    ssize_t read(char* to, std::size_t size);
    // Gives no more bytes: its reading ends as at the input's end.
    void drop();
    // A read waiting on a pipe, FIFO or terminal gives up, failing with
    // ECANCELED, once `fd` is readable (a signalfd of signals held back): a
    // stream that never ends cannot keep a run from being interrupted.
    void give_up_on(int fd) { give_up_fd_ = fd; }

    // From now on every byte read is copied to an unlinked temporary file
    // (those held included), which rewind() then reads from: a stream read
    // once can be read twice. False, with the reason, when no such file can
    // be made.
    bool spool(std::string& error);
    // Closes a regular file until rewind() opens it again: a run over
    // thousands of files holds no more descriptors than it reads at once.
    void release();
    // Back to the input's first byte: a regular file from its start, a
    // spooled stream from its copy. False, with the reason, when it cannot be.
    bool rewind(std::string& error);

private:
    ssize_t read_input(char* to, std::size_t size);
    void close_input();

    std::string path_;
    std::string name_;
    int fd_ = -1;
    bool regular_ = false;
    bool eof_ = false;
    int spool_fd_ = -1;
    int give_up_fd_ = -1;
    bool spooling_ = false;
    bool spooled_ = false;  // fd_ is the copy
    std::vector<char> head_;
    std::size_t taken_ = 0;
};

// An input's bytes for the readers that take a stream (PGN, YAML), those
// read ahead first.
class InputStreamBuffer : public std::streambuf {
public:
    explicit InputStreamBuffer(InputSource& input) : input_(input), buffer_(64 * 1024) {}
    // The errno of a failed read, or 0.
    int failure() const { return failure_; }

protected:
    int_type underflow() override;

private:
    InputSource& input_;
    std::vector<char> buffer_;
    int failure_ = 0;
};

// A file of no name in $TMPDIR (else /tmp), gone once its descriptor is
// closed; -1, with the reason, when none can be made.
int unlinked_temporary_file(std::string& error);

}  // namespace chess::input
