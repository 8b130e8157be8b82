#pragma once
// What the commands read from and write to: a descriptor in the program, a text in the tests.
// Plain system calls, so that starting the program sets up no stream library.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tavorin::cli {

class Reader {
public:
    virtual ~Reader() = default;
    // Up to size bytes, fewer as a pipe hands them over; 0 only at the end. A read error
    // throws a file Failure.
    virtual std::size_t Read(std::uint8_t* into, std::size_t size) = 0;
    // The bytes left, when they can be learnt (a regular file, a text); otherwise nothing.
    virtual std::optional<std::uint64_t> Remaining() { return std::nullopt; }
    // The descriptor read, or -1.
    virtual int Fd() const noexcept { return -1; }

    // Up to size bytes, fewer only at the end.
    std::size_t ReadFull(std::uint8_t* into, std::size_t size);
};

// A descriptor, borrowed: read at its position, never closed.
class FdReader final : public Reader {
public:
    FdReader(int fd, std::string name) : fd_(fd), name_(std::move(name)) {}
    std::size_t Read(std::uint8_t* into, std::size_t size) override;
    std::optional<std::uint64_t> Remaining() override;
    int Fd() const noexcept override { return fd_; }

private:
    int fd_;
    std::string name_;  // for errors
};

class TextReader final : public Reader {
public:
    explicit TextReader(std::string text = {}) : text_(std::move(text)) {}
    std::size_t Read(std::uint8_t* into, std::size_t size) override;
    std::optional<std::uint64_t> Remaining() override { return text_.size() - at_; }

private:
    std::string text_;
    std::size_t at_ = 0;
};

class Writer {
public:
    virtual ~Writer() = default;
    virtual void Write(const char* data, std::size_t size) = 0;
    virtual void Flush() {}
    // 0 while everything went out, else the error of the first write that failed (a full disk).
    virtual int Error() const noexcept { return 0; }
    virtual int Fd() const noexcept { return -1; }

    Writer& operator<<(std::string_view text) {
        Write(text.data(), text.size());
        return *this;
    }
    Writer& operator<<(char c) {
        Write(&c, 1);
        return *this;
    }
};

// A descriptor, borrowed; small writes are gathered until Flush or the end.
class FdWriter final : public Writer {
public:
    explicit FdWriter(int fd) : fd_(fd) {}
    ~FdWriter() override;
    FdWriter(const FdWriter&) = delete;
    FdWriter& operator=(const FdWriter&) = delete;

    void Write(const char* data, std::size_t size) override;
    void Flush() override;
    int Error() const noexcept override { return error_; }
    int Fd() const noexcept override { return fd_; }

private:
    static constexpr std::size_t kGathered = 4096;
    void Put(const char* data, std::size_t size);

    int fd_;
    int error_ = 0;
    std::size_t used_ = 0;
    std::unique_ptr<char[]> buffer_;  // made by the first small write
};

class TextWriter final : public Writer {
public:
    void Write(const char* data, std::size_t size) override { text_.append(data, size); }
    const std::string& Text() const noexcept { return text_; }

private:
    std::string text_;
};

}  // namespace tavorin::cli
