#pragma once
// The one exception type of the program. A failure is told apart by its kind, named where it is
// raised. Its number and description are what the window shows ("Err: 9") and what engine
// callers get: the numbers of the runtime the system was first written for, where one number
// stands for several kinds (9 is an empty Blowfish key, a bad hex digit and a partial block).
// So the front ends decide by kind; only the window shows the number.

#include <array>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

namespace tavorin {

enum class FailureKind : std::uint8_t {
    BadArgument,           // a value out of its range: passes, separator, cipher name
    NotInCodePage,         // a character Windows-1252 cannot hold (the description names it)
    NotUtf8,               // bytes that are no UTF-8 text
    CannotNormalise,       // the text cannot be brought to its composed form
    TooLarge,              // past the largest frame, or past what lengths and memory hold
    StoredLengthOverflow,  // a frame's stored length too far off its size to subtract
    PartialBlock,          // a frame that is no whole number of blocks, or shorter than its header
    BadHexDigit,           // a pair's character that is no hexadecimal digit
    NoPairs,               // nothing to write as pairs, or a text too short to hold one
    WordOutOfRange,        // a word read or written past the end of an array
    EmptyKey,              // Blowfish or Twofish with no key
    EmptyGostKey,          // Gost with no key: its key length divides
    EmptySkipjackKey,      // Skipjack with no key
    SourceMissing,         // the source of a file operation is no file
    FileMissing,           // the file errors: what the system said of a file or folder
    DeviceIO,
    FileExists,
    DiskFull,
    PermissionDenied,
    FileAccess,  // any other file error, or a file that cannot serve (not a regular file)
};

class Failure : public std::exception {
public:
    // The numbers callers get.
    static constexpr std::int32_t InvalidArgument = 5;
    static constexpr std::int32_t Overflow = 6;
    static constexpr std::int32_t SubscriptOutOfRange = 9;
    static constexpr std::int32_t DivisionByZero = 11;
    // The first user-defined object error (hexadecimal 80040000).
    static constexpr std::int32_t ObjectError = static_cast<std::int32_t>(0x80040000u);
    // File errors, numbered as the runtime numbers its own.
    static constexpr std::int32_t FileNotFound = 53;
    static constexpr std::int32_t DeviceIO = 57;
    static constexpr std::int32_t FileExists = 58;
    static constexpr std::int32_t DiskFull = 61;
    static constexpr std::int32_t PermissionDenied = 70;
    static constexpr std::int32_t PathFileAccess = 75;

    struct KindEntry {
        FailureKind kind;
        std::int32_t number;
        std::string_view description;  // where the raise site gives none
    };
    // The one table from kind to number, in the order of FailureKind.
    static constexpr std::array<KindEntry, 20> Kinds{{
        {FailureKind::BadArgument, InvalidArgument, "Invalid procedure call or argument"},
        {FailureKind::NotInCodePage, InvalidArgument, "Invalid procedure call or argument"},
        {FailureKind::NotUtf8, InvalidArgument, "Invalid procedure call or argument"},
        {FailureKind::CannotNormalise, InvalidArgument, "Invalid procedure call or argument"},
        {FailureKind::TooLarge, Overflow, "Overflow"},
        {FailureKind::StoredLengthOverflow, Overflow, "Overflow"},
        {FailureKind::PartialBlock, SubscriptOutOfRange, "Subscript out of range"},
        {FailureKind::BadHexDigit, SubscriptOutOfRange, "Subscript out of range"},
        {FailureKind::NoPairs, SubscriptOutOfRange, "Subscript out of range"},
        {FailureKind::WordOutOfRange, SubscriptOutOfRange, "Subscript out of range"},
        {FailureKind::EmptyKey, SubscriptOutOfRange, "Subscript out of range"},
        {FailureKind::EmptyGostKey, DivisionByZero, "Division by zero"},
        {FailureKind::EmptySkipjackKey, ObjectError,
         "Invalid key given to SkipJack encryption or decryption (Zero Length)"},
        {FailureKind::SourceMissing, ObjectError,
         "Error in Skipjack EncryptFile procedure (Source file does not exist)."},
        {FailureKind::FileMissing, FileNotFound, "File not found"},
        {FailureKind::DeviceIO, DeviceIO, "Device I/O error"},
        {FailureKind::FileExists, FileExists, "File already exists"},
        {FailureKind::DiskFull, DiskFull, "Disk full"},
        {FailureKind::PermissionDenied, PermissionDenied, "Permission denied"},
        {FailureKind::FileAccess, PathFileAccess, "Path/File access error"},
    }};
    static constexpr const KindEntry& EntryOf(FailureKind kind) noexcept {
        return Kinds[static_cast<std::size_t>(kind)];
    }
    static constexpr std::int32_t NumberOf(FailureKind kind) noexcept { return EntryOf(kind).number; }

    static constexpr bool IsFileError(FailureKind kind) noexcept {
        return kind >= FailureKind::FileMissing && kind <= FailureKind::FileAccess;
    }
    static constexpr bool IsEmptyKey(FailureKind kind) noexcept {
        return kind == FailureKind::EmptyKey || kind == FailureKind::EmptyGostKey ||
               kind == FailureKind::EmptySkipjackKey;
    }

    // With the kind's own description.
    explicit Failure(FailureKind kind) : kind_(kind), description_(EntryOf(kind).description) {}
    // description: UTF-8.
    Failure(FailureKind kind, std::string description) : kind_(kind), description_(std::move(description)) {}

    FailureKind Kind() const noexcept { return kind_; }
    std::int32_t Number() const noexcept { return NumberOf(kind_); }
    bool IsFileError() const noexcept { return IsFileError(kind_); }
    const std::string& Description() const noexcept { return description_; }
    const char* what() const noexcept override { return description_.c_str(); }

private:
    FailureKind kind_;
    std::string description_;
};

namespace detail {
constexpr bool KindsInOrder() {
    for (std::size_t i = 0; i < Failure::Kinds.size(); ++i) {
        if (static_cast<std::size_t>(Failure::Kinds[i].kind) != i) {
            return false;
        }
    }
    return true;
}
static_assert(KindsInOrder() && Failure::Kinds.back().kind == FailureKind::FileAccess,
              "Failure::Kinds lists every kind once, in the order of FailureKind");
}  // namespace detail

}  // namespace tavorin
