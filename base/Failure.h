#pragma once
// The one exception type of the program: an error number and a description, as the
// message boxes and the command line report them.

#include <cstdint>
#include <exception>
#include <string>

namespace tavorin {

class Failure : public std::exception {
public:
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

    static constexpr bool IsFileError(std::int32_t n) noexcept {
        return n == FileNotFound || n == DeviceIO || n == FileExists || n == DiskFull || n == PermissionDenied ||
               n == PathFileAccess;
    }

    // description: UTF-8.
    Failure(std::int32_t number, std::string description) : number_(number), description_(std::move(description)) {}

    std::int32_t Number() const noexcept { return number_; }
    const std::string& Description() const noexcept { return description_; }
    const char* what() const noexcept override { return description_.c_str(); }

    // The descriptions used where no more specific text fits.
    static Failure Subscript() { return {SubscriptOutOfRange, "Subscript out of range"}; }
    static Failure OverflowError() { return {Overflow, "Overflow"}; }
    static Failure Invalid(std::string what) { return {InvalidArgument, std::move(what)}; }

private:
    std::int32_t number_;
    std::string description_;
};

}  // namespace tavorin
