#pragma once
// What tavorin-cli reads: the key from its sources, and messages and envelopes from standard
// input or files, with the message's UTF-8 brought to Windows-1252.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "base/Files.h"
#include "base/TextGate.h"
#include "base/Types.h"
#include "cli/Io.h"
#include "cli/System.h"
#include "engines/FrameFormat.h"
#include "envelope/Envelope.h"
#include "envelope/Find.h"

namespace tavorin::cli {

struct KeySource {
    std::string file;         // --key-file; - for standard input
    std::string env;          // --key-env
    bool confirm = false;     // a typed key is asked twice (for encryption)
    bool stdinTaken = false;  // the message comes from standard input
};

// The longest key line read, without its line end.
inline constexpr std::size_t MaxKeyLine = 64 * 1024;

// Drops a UTF-8 byte-order mark at the very start of a key file's line or a message
// (LeadingByteOrderMark), wiping the bytes that moved up.
void DropByteOrderMark(std::uint8_t* data, std::size_t& size) noexcept;

// Whether name can name an environment variable.
bool ValidVariableName(std::string_view name) noexcept;

// The key from the file's first line, the environment or the terminal, as the engines get
// it (normalisation form C, Windows-1252 characters only). One line end (LF or CR LF) ends a
// key file's line and a variable's value and is not part of the key. A key file others may
// read gets a warning on err. Throws CliError.
std::u16string ObtainKey(const System& system, const KeySource& source, Reader& in, Writer& err);

// The most the commands read. A message past MaxMessageInput makes no frame; an envelope text
// past MaxEnvelopeInput is more than the envelope of the largest frame with a line break beside
// every pair. Larger input is refused before it is read, or, from a pipe, once it grows past.
inline constexpr std::uint64_t MaxMessageInput = frame::MaxFrame - frame::HeaderSize;
inline constexpr std::uint64_t MaxEnvelopeInput = 4 * (envelope::DigestLength + frame::MaxFrame);

// The whole of a reader or file, with room for `slack` more bytes so that the frame can
// grow in place. A file that cannot be read throws Failure (a file error); more than `limit`
// bytes throws Failure 6 (overflow).
ByteArray ReadAll(Reader& in, std::uint64_t limit, std::size_t slack = 0);
ByteArray ReadFile(const std::filesystem::path& path, std::uint64_t limit, std::size_t slack = 0);

// The envelope in the text of a reader or a file, read in pieces and only as far as it can
// matter: text that cannot hold an envelope is refused after some kilobytes, however long.
// Failure 6 past MaxEnvelopeInput, a file error when the file cannot be read.
envelope::FoundEnvelope FindEnvelopeIn(Reader& in);
envelope::FoundEnvelope FindEnvelopeInFile(const std::filesystem::path& path);

// Standard input read to its end into scratch: a pipe tells its length only there, and a
// frame stores it first. Refused (TooLarge) as soon as it passes limit, not after the rest;
// read(bytes) hears how much has come so far, every few MiB.
void SpoolInput(Reader& in, ScratchFile& scratch, std::uint64_t limit,
                const std::function<void(std::uint64_t)>& read = {});

// The message's UTF-8 as the bytes that are sealed, in place (EncodeMessage); its refusal as a
// CliError in the command line's words.
void EncodeMessageText(ByteArray& text, MessageEncoding encoding);

}  // namespace tavorin::cli
