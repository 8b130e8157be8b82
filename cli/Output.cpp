#include "cli/Output.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include "base/AnsiCodePage.h"
#include "base/Descriptors.h"
#include "base/Failure.h"
#include "cli/Io.h"

namespace tavorin::cli {

Output::Output(Writer& out, const std::string& file, int outFd, bool replace) : out_(out) {
    if (!file.empty()) {
        file_ = std::make_unique<AtomicOutputFile>(PathFromUtf8(file), OutputPolicy{.replace = replace});
        return;
    }
    const DescriptorInfo info = Describe(outFd);
    if (info.kind == DescriptorKind::Pipe) {
        pipe_ = outFd;
    }
    if (info.kind != DescriptorKind::RegularFile) {
        return;
    }
    if (IsAppending(outFd)) {
        return;  // every write lands at the end whatever its offset
    }
    out_.Flush();
    if (const std::optional<std::uint64_t> position = Position(outFd)) {
        fd_ = outFd;
        base_ = *position;
    }
}

void Output::PlaceAt(const char* data, std::size_t size, std::uint64_t offset) {
    placed_ = true;
    end_ = std::max(end_, offset + size);
    if (file_) {
        file_->WriteAt(reinterpret_cast<const std::uint8_t*>(data), size, offset);
        return;
    }
    offset += base_;
    while (size > 0) {
        const std::ptrdiff_t put = WriteSomeAt(fd_, data, size, offset);
        if (put < 0) {
            ThrowFileError(errno, "writing", "standard output");
        }
        data += put;
        size -= static_cast<std::size_t>(put);
        offset += static_cast<std::uint64_t>(put);
    }
}

void Output::Expect(std::uint64_t size) noexcept {
    // A large text goes out in one burst (an envelope once its digest is known): a larger pipe
    // takes it in fewer turns between this process and its reader. Where the system refuses,
    // the pipe stays as it is.
    constexpr std::size_t kLargePipe = std::size_t{1} << 20;
    if (pipe_ >= 0 && size >= kLargePipe) {
        EnlargePipe(pipe_, kLargePipe);
    }
}

void Output::Write(const char* data, std::size_t size) {
    if (placed_) {
        PlaceAt(data, size, end_);
        return;
    }
    if (file_) {
        file_->Write(reinterpret_cast<const std::uint8_t*>(data), size);
        return;
    }
    out_.Write(data, size);
    if (out_.Error() != 0) {
        ThrowFileError(out_.Error(), "writing", "standard output");
    }
}

void Output::Commit() {
    if (placed_ && fd_ >= 0 && !SetPosition(fd_, base_ + end_)) {
        ThrowFileError(EIO, "writing", "standard output");
    }
    if (file_) {
        file_->Commit();
        return;
    }
    out_.Flush();
    if (out_.Error() != 0) {
        ThrowFileError(out_.Error(), "writing", "standard output");
    }
}

ProgressBar::ProgressBar(Writer& err, bool enabled, std::string label)
    : err_(err), enabled_(enabled), label_(std::move(label)) {}

ProgressBar::~ProgressBar() { Done(); }

void ProgressBar::Label(std::string label) {
    label_ = std::move(label);
    last_ = -1;
}

void ProgressBar::Update(std::int32_t percent) {
    if (!enabled_ || percent == last_) {
        return;
    }
    last_ = std::clamp(percent, 0, 100);
    constexpr int kWidth = 30;
    const int filled = last_ * kWidth / 100;
    err_ << '\r' << label_ << " [" << std::string(static_cast<std::size_t>(filled), '#')
         << std::string(static_cast<std::size_t>(kWidth - filled), '.') << "] " << std::to_string(last_) << '%';
    err_.Flush();
    drawn_ = true;
}

void ProgressBar::Done() {
    if (drawn_) {
        err_ << '\r' << std::string(label_.size() + 40, ' ') << '\r';
        err_.Flush();
        drawn_ = false;
    }
}

}  // namespace tavorin::cli
