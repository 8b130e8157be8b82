#pragma once
// The exit codes of the command line, which the web page's answers carry too: what each
// failure kind and each way of opening an envelope ends with. The front ends word them.

#include "base/Failure.h"
#include "envelope/Envelope.h"

namespace tavorin::envelope {

enum class ExitCode : int {
    Ok = 0,
    Usage = 1,     // wrong usage, input that is not an envelope, a result not in the chosen encoding
    Damaged = 2,   // a damaged envelope or frame
    WrongKey = 3,  // wrong key, cipher or passes
    File = 4,      // a file that cannot be read or written, or exists already
    TooLarge = 5,  // past the size limits
};

constexpr ExitCode ExitFor(FailureKind kind) noexcept {
    switch (kind) {
    case FailureKind::TooLarge:
        return ExitCode::TooLarge;
    case FailureKind::PartialBlock:
        return ExitCode::Damaged;
    case FailureKind::StoredLengthOverflow:  // the stored length is garbage: the key does not fit
        return ExitCode::WrongKey;
    case FailureKind::SourceMissing:
        return ExitCode::File;
    default:
        return Failure::IsFileError(kind) ? ExitCode::File : ExitCode::Usage;
    }
}

constexpr ExitCode ExitFor(OpenStatus status) noexcept {
    switch (status) {
    case OpenStatus::Opened:
        return ExitCode::Ok;
    case OpenStatus::NotAnEnvelope:
    case OpenStatus::SeveralEnvelopes:
        return ExitCode::Usage;
    case OpenStatus::Damaged:
        return ExitCode::Damaged;
    default:  // wrong key, more than one cipher, more passes
        return ExitCode::WrongKey;
    }
}

}  // namespace tavorin::envelope
