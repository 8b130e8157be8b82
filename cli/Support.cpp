#include "cli/Support.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <istream>
#include <optional>
#include <ostream>
#include <vector>

#include "base/AnsiCodePage.h"
#include "base/Failure.h"
#include "engines/Registry.h"
#include "envelope/Envelope.h"

namespace tavorin::cli {

namespace {

// One UTF-8 sequence at p[i]: its code point and length, or length 0 when malformed
// (overlong forms, surrogates and values past U+10FFFF included).
struct Sequence {
    char32_t cp;
    std::size_t length;
};

Sequence DecodeUtf8(const std::uint8_t* p, std::size_t n, std::size_t i) noexcept {
    const std::uint8_t b0 = p[i];
    if (b0 < 0x80) {
        return {b0, 1};
    }
    std::size_t length = 0;
    char32_t cp = 0;
    char32_t min = 0;
    if ((b0 & 0xE0) == 0xC0) {
        length = 2, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        length = 3, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        length = 4, cp = b0 & 0x07, min = 0x10000;
    } else {
        return {0, 0};
    }
    if (n - i < length) {
        return {0, 0};
    }
    for (std::size_t k = 1; k < length; ++k) {
        if ((p[i + k] & 0xC0) != 0x80) {
            return {0, 0};
        }
        cp = (cp << 6) | (p[i + k] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return {0, 0};
    }
    return {cp, length};
}

// Eight ASCII bytes at once: most text is ASCII.
bool AsciiWord(const std::uint8_t* p) noexcept {
    std::uint64_t w = 0;
    std::memcpy(&w, p, sizeof w);
    return (w & 0x8080808080808080ull) == 0;
}

// The length of the ASCII run at the start of p[0..n); 32 bytes at a time, which vectorises.
std::size_t AsciiPrefix(const std::uint8_t* p, std::size_t n) noexcept {
    std::size_t i = 0;
    for (; n - i >= 32; i += 32) {
        std::uint8_t any = 0;
        for (std::size_t k = 0; k < 32; ++k) {
            any |= p[i + k];
        }
        if (any & 0x80) {
            break;
        }
    }
    while (i < n && p[i] < 0x80) {
        ++i;
    }
    return i;
}

[[noreturn]] void NotUtf8(std::string_view what, std::size_t offset) {
    throw CliError(ExitUsage, std::string(what) + " is not valid UTF-8 (byte offset " + std::to_string(offset) + ")",
                   "tavorin-cli reads text as UTF-8; convert it first, e.g. with iconv");
}

std::string Utf8Of(char16_t c) { return ToUtf8(std::u16string_view(&c, 1)); }

}  // namespace

void PrintError(std::ostream& err, std::string_view message, std::string_view hint) {
    err << "tavorin-cli: " << message << '\n';
    if (!hint.empty()) {
        err << "hint: " << hint << '\n';
    }
    err.flush();
}

int ReportFailure(std::ostream& err, const Failure& failure) {
    const int n = failure.Number();
    if (Failure::IsFileError(n) || n == Failure::ObjectError) {
        PrintError(err, failure.Description());
        return ExitFile;
    }
    PrintError(err, failure.Description() + " (error " + std::to_string(n) + ")",
               n == Failure::Overflow ? "a frame holds at most " + std::to_string(frame::MaxFrame) +
                                            " bytes, its header and padding included"
                                      : std::string());
    return ExitUsage;
}

std::unique_ptr<Engine> SelectEngine(const System& system, const std::string& name) {
    const std::u16string wanted(name.begin(), name.end());
    bool known = false;
    for (const auto n : EngineNames) {
        if (n.size() == wanted.size() && std::equal(n.begin(), n.end(), wanted.begin(), [](char16_t a, char16_t b) {
                const auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; };
                return lower(a) == lower(b);
            })) {
            known = true;
        }
    }
    if (!known) {
        throw CliError(ExitUsage, "unknown cipher '" + name + "'", "'tavorin-cli ciphers' lists the ciphers");
    }
    auto engine = system.createEngine ? system.createEngine(wanted) : nullptr;
    if (!engine) {
        throw CliError(ExitUsage, "the cipher '" + name + "' is not built into this program",
                       "'tavorin-cli ciphers' lists the ciphers");
    }
    return engine;
}

std::u16string ObtainKey(const System& system, const KeySource& source) {
    std::string utf8;
    std::string from;
    if (!source.file.empty()) {
        // The first line only; a key file may end with a line break or hold other lines.
        constexpr std::uint64_t kMostRead = 64 * 1024;
        InputFile file(source.file);
        ByteArray head(static_cast<std::size_t>(std::min<std::uint64_t>(file.Size(), kMostRead)));
        file.ReadExact(head.data(), head.size());
        const auto end = std::find(head.begin(), head.end(), std::uint8_t{'\n'});
        const bool whole = end != head.end() || file.Size() <= kMostRead;
        utf8.assign(head.begin(), end);
        SecureWipe(head);
        from = "the first line of " + source.file;
        if (!whole) {
            // Cut short, it would be another key, the same for every file that begins alike.
            SecureWipe(utf8);
            throw CliError(ExitUsage, "the key is longer than " + std::to_string(kMostRead) + " bytes (" + from + ")",
                           "is this the right file? The key is its first line");
        }
    } else if (!source.env.empty()) {
        const auto value = system.getEnv ? system.getEnv(source.env) : std::nullopt;
        if (!value) {
            throw CliError(ExitUsage, "the environment variable " + source.env + " is not set");
        }
        utf8 = *value;
        from = "the environment variable " + source.env;
    } else {
        const auto typed = system.askKey ? system.askKey("Key: ") : std::nullopt;
        if (!typed) {
            throw CliError(ExitUsage, "no key given and no terminal to ask for one",
                           "give the key with --key-file FILE or --key-env NAME");
        }
        utf8 = *typed;
        from = "the key typed";
    }
    if (!utf8.empty() && utf8.back() == '\r') {
        utf8.pop_back();
    }
    if (utf8.empty()) {
        throw CliError(ExitUsage, "the key is empty (" + from + ")", "You must enter a key");
    }
    std::u16string key;
    try {
        key = envelope::PrepareKey(FromUtf8(utf8));
    } catch (const Failure& f) {
        SecureWipe(utf8);
        throw CliError(ExitUsage, f.Description() + " (" + from + ")",
                       "keys may hold only characters of the Windows-1252 code page");
    }
    SecureWipe(utf8);
    return key;
}

namespace {

// The bytes left in a stream whose size can be learnt (a regular file, a string), or nothing.
std::optional<std::size_t> RemainingSize(std::istream& in) {
    const auto start = in.tellg();
    if (start == std::istream::pos_type(-1)) {
        in.clear();
        return std::nullopt;
    }
    in.seekg(0, std::ios::end);
    const auto end = in.tellg();
    in.clear();
    in.seekg(start);
    if (!in || end == std::istream::pos_type(-1) || end < start) {
        in.clear();
        return std::nullopt;
    }
    return static_cast<std::size_t>(end - start);
}

}  // namespace

ByteArray ReadAll(std::istream& in, std::uint64_t limit, std::size_t slack) {
    ByteArray all;
    // A known size is read straight into one buffer of its final size.
    if (const auto size = RemainingSize(in)) {
        if (*size > limit || *size > SIZE_MAX - slack) {
            throw Failure::OverflowError();
        }
        all.reserve(*size + slack);
        AdviseLargePages(all.data(), all.capacity());
        all.resize(*size);
        in.read(reinterpret_cast<char*>(all.data()), static_cast<std::streamsize>(all.size()));
        all.resize(static_cast<std::size_t>(in.gcount()));
    }
    // Otherwise (or if the file grew meanwhile) pieces first, then one buffer of the final
    // size: no doubling, no copy of the whole.
    constexpr std::size_t kPiece = std::size_t{1} << 20;
    std::vector<ByteArray> pieces;
    std::size_t total = all.size();
    while (in && in.peek() != std::char_traits<char>::eof()) {
        ByteArray piece(kPiece);
        in.read(reinterpret_cast<char*>(piece.data()), static_cast<std::streamsize>(piece.size()));
        const auto got = static_cast<std::size_t>(in.gcount());
        if (got == 0) {
            break;
        }
        piece.resize(got);
        total += got;
        if (total > limit) {
            throw Failure::OverflowError();  // an endless pipe ends here
        }
        pieces.push_back(std::move(piece));
    }
    if (in.bad()) {
        throw Failure(Failure::DeviceIO, "Device I/O error (reading standard input)");
    }
    if (pieces.empty()) {
        return all;
    }
    if (total > SIZE_MAX - slack) {
        throw Failure::OverflowError();
    }
    all.reserve(total + slack);
    AdviseLargePages(all.data(), all.capacity());
    for (auto& piece : pieces) {
        all.insert(all.end(), piece.begin(), piece.end());
        ByteArray().swap(piece);
    }
    return all;
}

ByteArray ReadFile(const std::filesystem::path& path, std::uint64_t limit, std::size_t slack) {
    InputFile file(path);
    if (file.Size() > limit || file.Size() > SIZE_MAX - slack) {
        throw Failure::OverflowError();
    }
    ByteArray all;
    all.reserve(static_cast<std::size_t>(file.Size()) + slack);
    AdviseLargePages(all.data(), all.capacity());
    all.resize(static_cast<std::size_t>(file.Size()));
    file.ReadExact(all.data(), all.size());
    return all;
}

void CheckUtf8(const ByteArray& text, std::string_view what) {
    const std::uint8_t* p = text.data();
    const std::size_t n = text.size();
    std::size_t i = AsciiPrefix(p, n);
    while (i < n) {
        if (n - i >= 8 && AsciiWord(p + i)) {
            i += 8;
            continue;
        }
        const auto s = DecodeUtf8(p, n, i);
        if (s.length == 0) {
            NotUtf8(what, i);
        }
        i += s.length;
    }
}

void Utf8ToWindows1252(ByteArray& text) {
    const std::uint8_t* p = text.data();
    const std::size_t n = text.size();
    const std::size_t ascii = AsciiPrefix(p, n);
    if (ascii == n) {
        return;  // ASCII is the same in both
    }
    CheckUtf8(text, "the message");
    bool representable = true;
    for (std::size_t i = ascii; i < n && representable;) {
        if (n - i >= 8 && AsciiWord(p + i)) {
            i += 8;
            continue;
        }
        const auto s = DecodeUtf8(p, n, i);
        std::uint8_t b = 0;
        representable = s.cp < 0x10000 && AnsiCodePage::CharToByte(static_cast<char16_t>(s.cp), b);
        i += s.length;
    }
    if (!representable) {
        // Letters typed as letter + combining mark are composed first; what is still left
        // over is refused by name.
        const std::string_view utf8(reinterpret_cast<const char*>(text.data()), text.size());
        const std::u16string normal = NormalizeNFC(FromUtf8(utf8));
        if (const auto bad = envelope::FirstUnrepresentable(normal)) {
            throw CliError(
                ExitUsage,
                "the message holds the character " + DescribeCodePoint(*bad) + ", which Windows-1252 cannot hold",
                "use --encoding utf-8 to encrypt the message as UTF-8");
        }
        text = AnsiCodePage::TextToBytes(normal);
        return;
    }
    // Every character has its byte: convert in place (the output never runs ahead).
    std::uint8_t* q = text.data();
    std::size_t out = ascii;
    for (std::size_t i = ascii; i < n;) {
        if (p[i] < 0x80) {
            q[out++] = p[i++];
            continue;
        }
        const auto s = DecodeUtf8(p, n, i);
        AnsiCodePage::CharToByte(static_cast<char16_t>(s.cp), q[out++]);
        i += s.length;
    }
    text.resize(out);
}

Output::Output(std::ostream& out, const std::string& file, int outFd) : out_(out) {
    if (!file.empty()) {
        file_ = std::make_unique<AtomicOutputFile>(file);
        return;
    }
    struct stat st {};
    if (outFd < 0 || ::fstat(outFd, &st) != 0 || !S_ISREG(st.st_mode)) {
        return;
    }
    const int flags = ::fcntl(outFd, F_GETFL);
    if (flags < 0 || (flags & O_APPEND) != 0) {
        return;  // every write lands at the end whatever its offset
    }
    out_.flush();
    const off_t position = ::lseek(outFd, 0, SEEK_CUR);
    if (position >= 0) {
        fd_ = outFd;
        base_ = static_cast<std::uint64_t>(position);
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
        const ssize_t put = ::pwrite(fd_, data, size, static_cast<off_t>(offset));
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw Failure(Failure::DeviceIO, "Device I/O error (writing standard output)");
        }
        data += put;
        size -= static_cast<std::size_t>(put);
        offset += static_cast<std::uint64_t>(put);
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
    out_.write(data, static_cast<std::streamsize>(size));
    if (!out_) {
        throw Failure(Failure::DeviceIO, "Device I/O error (writing standard output)");
    }
}

void Output::WriteWindows1252AsUtf8(const std::uint8_t* data, std::size_t size) {
    // Each byte's character, at most three UTF-8 bytes; runs of ASCII go out as they are.
    struct Utf8Char {
        std::array<char, 3> bytes{};
        std::uint8_t length = 0;
    };
    static const auto table = [] {
        std::array<Utf8Char, 256> t{};
        for (unsigned b = 0; b < 256; ++b) {
            const std::string u = Utf8Of(AnsiCodePage::ByteToChar(static_cast<std::uint8_t>(b)));
            std::memcpy(t[b].bytes.data(), u.data(), std::min(u.size(), t[b].bytes.size()));
            t[b].length = static_cast<std::uint8_t>(u.size());
        }
        return t;
    }();
    constexpr std::size_t kSlice = std::size_t{1} << 16;
    std::string buffer(kSlice * 3, '\0');
    for (std::size_t at = 0; at < size;) {
        const std::size_t ascii = AsciiPrefix(data + at, size - at);
        if (ascii >= kSlice || at + ascii == size) {
            Write(reinterpret_cast<const char*>(data + at), ascii);
            at += ascii;
            continue;
        }
        const std::size_t end = std::min(size, at + kSlice);
        char* q = buffer.data();
        for (std::size_t i = at; i < end; ++i) {
            const Utf8Char& c = table[data[i]];
            std::memcpy(q, c.bytes.data(), c.bytes.size());
            q += c.length;
        }
        Write(buffer.data(), static_cast<std::size_t>(q - buffer.data()));
        at = end;
    }
    SecureWipe(buffer);
}

void Output::Commit() {
    if (placed_ && fd_ >= 0 && ::lseek(fd_, static_cast<off_t>(base_ + end_), SEEK_SET) < 0) {
        throw Failure(Failure::DeviceIO, "Device I/O error (writing standard output)");
    }
    if (file_) {
        file_->Commit();
        return;
    }
    out_.flush();
    if (!out_) {
        throw Failure(Failure::DeviceIO, "Device I/O error (writing standard output)");
    }
}

ProgressBar::ProgressBar(std::ostream& err, bool enabled, std::string label)
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
         << std::string(static_cast<std::size_t>(kWidth - filled), '.') << "] " << last_ << '%';
    err_.flush();
    drawn_ = true;
}

void ProgressBar::Done() {
    if (drawn_) {
        err_ << '\r' << std::string(label_.size() + 40, ' ') << '\r';
        err_.flush();
        drawn_ = false;
    }
}

}  // namespace tavorin::cli
