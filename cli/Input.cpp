#include "cli/Input.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <vector>

#include "base/AnsiCodePage.h"
#include "base/ChunkPipeline.h"
#include "base/Descriptors.h"
#include "base/Failure.h"
#include "base/Files.h"
#include "base/TextGate.h"

namespace tavorin::cli {

namespace {

[[noreturn]] void NotUtf8(std::string_view what, std::size_t offset) {
    throw CliError(ExitUsage, std::string(what) + " is not valid UTF-8 (byte offset " + std::to_string(offset) + ")",
                   "tavorin-cli reads text as UTF-8; convert it first, e.g. with iconv");
}

}  // namespace

namespace {

// The first line, as read: at most the longest key line and a CR LF. The buffer starts
// small (keys are short) and grows; what it held is wiped whenever it moves.
ByteArray ReadLine(Reader& from) {
    constexpr std::size_t kMost = MaxKeyLine + 2;
    ByteArray head(256);
    std::size_t got = 0;
    try {
        while (got < kMost) {
            if (got == head.size()) {
                ByteArray larger(std::min(kMost, 2 * head.size()));
                std::copy_n(head.begin(), got, larger.begin());
                SecureWipe(head);
                head.swap(larger);
            }
            const std::size_t n = from.Read(head.data() + got, head.size() - got);
            const auto* read = head.data() + got;
            got += n;
            if (n == 0 || std::find(read, read + n, std::uint8_t{'\n'}) != read + n) {
                break;
            }
        }
    } catch (...) {
        SecureWipe(head);
        throw;
    }
    head.resize(got);
    return head;
}

// The first line of a key file or pipe, or of standard input.
ByteArray ReadKeyHead(const KeySource& source, Reader& in, Writer& err) {
    if (source.file == "-") {
        if (source.stdinTaken) {
            throw CliError(ExitUsage, "--key-file - would read the key from standard input, which holds the message",
                           "give the message with -i FILE");
        }
        return ReadLine(in);
    }
    // A pipe is how password managers hand keys over (--key-file <(pass show mail)).
    const int fd = OpenForReading(PathFromUtf8(source.file));
    const DescriptorInfo info = fd >= 0 ? Describe(fd) : DescriptorInfo{};
    if (info.kind == DescriptorKind::Unknown) {
        const int e = errno;
        if (fd >= 0) {
            CloseDescriptor(fd);
        }
        ThrowFileError(e, "reading", PathFromUtf8(source.file));
    }
    const std::unique_ptr<const int, void (*)(const int*)> closing(&fd, [](const int* f) { CloseDescriptor(*f); });
    if (info.kind != DescriptorKind::RegularFile && info.kind != DescriptorKind::Pipe) {
        ThrowFileProblem(PathFromUtf8(source.file), "not a regular file or a pipe");
    }
    if (info.othersMayRead) {
        err << "tavorin-cli: warning: others can read the key file " << source.file << '\n'
            << "hint: chmod 600 " << source.file << '\n';
        err.Flush();
    }
    FdReader file(fd, source.file);
    return ReadLine(file);
}

// Removes one line end (LF or CR LF) from the end of text, and nothing else.
void DropLineEnd(std::string& text) {
    if (!text.empty() && text.back() == '\n') {
        text.pop_back();
        if (!text.empty() && text.back() == '\r') {
            text.pop_back();
        }
    }
}

}  // namespace

void DropByteOrderMark(std::uint8_t* data, std::size_t& size) noexcept {
    const std::size_t mark = LeadingByteOrderMark(std::string_view(reinterpret_cast<const char*>(data), size));
    if (mark != 0) {
        std::memmove(data, data + mark, size - mark);
        SecureWipe(data + size - mark, mark);  // what moved up leaves no copy behind
        size -= mark;
    }
}

bool ValidVariableName(std::string_view name) noexcept {
    const auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
    return !name.empty() && letter(name[0]) &&
           std::all_of(name.begin(), name.end(), [&](char c) { return letter(c) || (c >= '0' && c <= '9'); });
}

std::u16string ObtainKey(const System& system, const KeySource& source, Reader& in, Writer& err) {
    std::string utf8;
    std::string from;
    if (!source.file.empty()) {
        from = "the first line of " + (source.file == "-" ? std::string("standard input") : source.file);
        ByteArray head = ReadKeyHead(source, in, err);
        const auto end = std::find(head.begin(), head.end(), std::uint8_t{'\n'});
        // From a pointer: from the vector's iterators it went through a temporary copy,
        // freed unwiped.
        utf8.assign(reinterpret_cast<const char*>(head.data()),
                    static_cast<std::size_t>((end == head.end() ? end : end + 1) - head.begin()));
        SecureWipe(head);
        DropLineEnd(utf8);
        std::size_t size = utf8.size();
        DropByteOrderMark(reinterpret_cast<std::uint8_t*>(utf8.data()), size);
        utf8.resize(size);
        if (utf8.size() > MaxKeyLine || (end == head.end() && head.size() > MaxKeyLine)) {
            // Cut short, it would be another key, the same for every file that begins alike.
            SecureWipe(utf8);
            throw CliError(ExitUsage, "the key is longer than " + std::to_string(MaxKeyLine) + " bytes (" + from + ")",
                           "is this the right file? The key is its first line");
        }
    } else if (!source.env.empty()) {
        auto value = system.getEnv ? system.getEnv(source.env) : std::nullopt;
        if (!value) {
            throw CliError(ExitUsage, "the environment variable " + source.env + " is not set");
        }
        utf8 = *value;
        SecureWipe(*value);
        DropLineEnd(utf8);
        from = "the environment variable " + source.env;
    } else {
        auto typed = system.askKey ? system.askKey("Key: ") : std::nullopt;
        if (!typed) {
            throw CliError(ExitUsage, "no key given and no terminal to ask for one",
                           "give the key with --key-file FILE or --key-env NAME");
        }
        utf8 = *typed;
        SecureWipe(*typed);
        if (source.confirm) {
            // One mistyped key would seal the message for good.
            auto again = system.askKey("Key again: ");
            const bool same = again && *again == utf8;
            if (again) {
                SecureWipe(*again);
            }
            if (!same) {
                SecureWipe(utf8);
                throw CliError(ExitUsage, "the keys typed differ; nothing was written", "type the same key twice");
            }
        }
        if (!utf8.empty() && utf8.back() == '\r') {
            utf8.pop_back();
        }
        from = "the key typed";
    }
    if (utf8.empty()) {
        throw CliError(ExitUsage, "the key is empty (" + from + ")", "You must enter a key");
    }
    const auto invalid = FirstInvalidUtf8(utf8);
    std::u16string typed = invalid ? std::u16string() : FromUtf8(utf8);
    SecureWipe(utf8);
    GatedText key = PassTextGate(typed);
    SecureWipe(typed);
    if (invalid || key.refused) {
        const std::string what = invalid ? "The text is not valid UTF-8 (byte offset " + std::to_string(*invalid) + ")"
                                         : "The key holds the character " + DescribeCodePoint(*key.refused) +
                                               ", which the Windows-1252 code page cannot hold";
        throw CliError(ExitUsage, what + " (" + from + ")",
                       "keys may hold only characters of the Windows-1252 code page");
    }
    return std::move(key.text);
}

ByteArray ReadAll(Reader& in, std::uint64_t limit, std::size_t slack) {
    ByteArray all;
    std::vector<ByteArray> pieces;
    // A known size is read straight into one buffer of its final size.
    if (const auto size = in.Remaining()) {
        if (*size > limit || *size > SIZE_MAX - slack) {
            throw Failure(FailureKind::TooLarge);
        }
        all.reserve(static_cast<std::size_t>(*size) + slack);
        AdviseLargePages(all.data(), all.capacity());
        all.resize(static_cast<std::size_t>(*size));
        all.resize(in.ReadFull(all.data(), all.size()));
        std::uint8_t next = 0;
        if (all.size() < *size || in.Read(&next, 1) == 0) {
            return all;
        }
        pieces.emplace_back(1, next);
    }
    // Otherwise (or if the file grew meanwhile) pieces first, then one buffer of the final
    // size: no copy of the whole. The pieces grow to 1 MiB: a short message from a pipe
    // touches a few pages, a long one is read in few pieces.
    std::size_t pieceSize = std::size_t{1} << 12;
    std::size_t total = all.size() + pieces.size();
    for (;;) {
        ByteArray piece(pieceSize);
        pieceSize = std::min(2 * pieceSize, std::size_t{1} << 20);
        const std::size_t got = in.ReadFull(piece.data(), piece.size());
        if (got == 0) {
            break;
        }
        const bool ended = got < piece.size();
        piece.resize(got);
        total += got;
        if (total > limit) {
            throw Failure(FailureKind::TooLarge);  // an endless pipe ends here
        }
        pieces.push_back(std::move(piece));
        if (ended) {
            break;
        }
    }
    if (pieces.empty()) {
        return all;
    }
    if (total > SIZE_MAX - slack) {
        throw Failure(FailureKind::TooLarge);
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
        throw Failure(FailureKind::TooLarge);
    }
    ByteArray all;
    all.reserve(static_cast<std::size_t>(file.Size()) + slack);
    AdviseLargePages(all.data(), all.capacity());
    all.resize(static_cast<std::size_t>(file.Size()));
    file.ReadExact(all.data(), all.size());
    return all;
}

namespace {

constexpr std::size_t kEnvelopePiece = std::size_t{1} << 20;

// Text of a known size, read ahead on a second thread while the finder works through the
// piece before.
void FeedReadAhead(envelope::EnvelopeFinder& finder, std::uint64_t size,
                   const std::function<std::size_t(std::uint8_t* into, std::size_t size)>& read) {
    const auto piece = static_cast<std::size_t>(std::min<std::uint64_t>(size, kEnvelopePiece));
    if (piece == 0) {
        return;
    }
    ByteArray slots(ChunkPipeline::kSlots * piece);
    std::array<std::size_t, ChunkPipeline::kSlots> got{};
    struct Enough {};  // nothing after this piece can change the result
    try {
        ChunkPipeline(slots.data(), piece)
            .Run(
                static_cast<std::size_t>((size + piece - 1) / piece),
                [&](std::size_t k, std::uint8_t* slot) {
                    got[k % got.size()] =
                        read(slot,
                             static_cast<std::size_t>(std::min<std::uint64_t>(piece, size - std::uint64_t{k} * piece)));
                },
                [&](std::size_t k, std::uint8_t* slot) {
                    if (!finder.Feed(reinterpret_cast<const char*>(slot), got[k % got.size()])) {
                        throw Enough{};
                    }
                },
                [](std::size_t, std::uint8_t*) {});
    } catch (const Enough&) {
    }
}

}  // namespace

envelope::FoundEnvelope FindEnvelopeIn(Reader& in) {
    envelope::EnvelopeFinder finder;
    if (const auto size = in.Remaining()) {
        if (*size > MaxEnvelopeInput) {
            throw Failure(FailureKind::TooLarge);
        }
        finder.Expect(*size);
        FeedReadAhead(finder, *size, [&](std::uint8_t* into, std::size_t n) { return in.ReadFull(into, n); });
        return finder.Finish();
    }
    // Not filled first: a short text touches only the pages it is read into.
    const std::unique_ptr<char[]> piece(new char[kEnvelopePiece]);
    std::uint64_t total = 0;
    for (;;) {
        const std::size_t got = in.ReadFull(reinterpret_cast<std::uint8_t*>(piece.get()), kEnvelopePiece);
        total += got;
        if (total > MaxEnvelopeInput) {
            throw Failure(FailureKind::TooLarge);  // an endless pipe ends here
        }
        if (got == 0 || !finder.Feed(piece.get(), got) || got < kEnvelopePiece) {
            break;
        }
    }
    return finder.Finish();
}

envelope::FoundEnvelope FindEnvelopeInFile(const std::filesystem::path& path) {
    InputFile file(path);
    if (file.Size() > MaxEnvelopeInput) {
        throw Failure(FailureKind::TooLarge);
    }
    envelope::EnvelopeFinder finder;
    finder.Expect(file.Size());
    FeedReadAhead(finder, file.Size(), [&](std::uint8_t* into, std::size_t n) {
        file.ReadExact(into, n);
        return n;
    });
    return finder.Finish();
}

void SpoolInput(Reader& in, ScratchFile& scratch, std::uint64_t limit, const std::function<void(std::uint64_t)>& read) {
    constexpr std::size_t kPiece = std::size_t{1} << 20;
    const std::unique_ptr<std::uint8_t[]> piece(new std::uint8_t[kPiece]);
    std::uint64_t total = 0;
    for (;;) {
        const std::size_t got = in.ReadFull(piece.get(), kPiece);
        if (got == 0) {
            break;
        }
        total += got;
        if (total > limit) {
            throw Failure(FailureKind::TooLarge);
        }
        for (std::size_t put = 0; put < got;) {
            const std::ptrdiff_t n = WriteSome(scratch.Descriptor(), piece.get() + put, got - put);
            if (n < 0) {
                ThrowFileError(errno, "writing", scratch.Path());
            }
            put += static_cast<std::size_t>(n);
        }
        if (read && total % (std::uint64_t{8} << 20) < got) {
            read(total);
        }
        if (got < kPiece) {
            break;
        }
    }
}

void EncodeMessageText(ByteArray& text, MessageEncoding encoding) {
    try {
        EncodeMessage(text, encoding);
    } catch (const TextFailure& refused) {
        if (refused.Kind() == FailureKind::NotUtf8) {
            NotUtf8("the message", refused.Offset());
        }
        throw CliError(ExitUsage,
                       "the message holds the character " + DescribeCodePoint(refused.Character()) +
                           ", which Windows-1252 cannot hold",
                       "use --encoding utf-8 to encrypt the message as UTF-8");
    }
}

}  // namespace tavorin::cli
