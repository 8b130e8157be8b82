#pragma once
// A command's options and arguments, declared once as a table: parsed from the command line
// and shown as the command's help.

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavorin::cli {

class Writer;

class Options {
public:
    // Judges a value: an error (the option is named in front of it) or nothing. It may
    // rewrite the value, e.g. into the spelling of the choice it names.
    using Check = std::function<std::optional<std::string>(std::string& value)>;

    // command: the command's name; summary: one line of what it does.
    Options(std::string_view command, std::string_view summary);

    // An option that takes a value: -c NAME, -cNAME, --cipher NAME, --cipher=NAME. shortName
    // may be 0 (long only); shownDefault is shown in the help.
    Options& Value(char shortName, std::string_view longName, std::string_view valueName, std::string_view help,
                   std::string& into, std::string_view shownDefault = {}, Check check = {});
    // An option without a value; short flags group (-fc NAME).
    Options& Flag(char shortName, std::string_view longName, std::string_view help, bool& into);
    // A required argument, taken in the order declared.
    Options& Argument(std::string_view name, std::string_view help, std::string& into);
    // Two options (long names) that cannot be given together.
    Options& Exclusive(std::string_view first, std::string_view second);
    // Lines shown after the options.
    Options& Footer(std::string text);

    // Parses args (after the command's name). Returns the exit code when the command ends
    // here (help shown on out, or wrong usage reported on err), nothing when it goes on.
    std::optional<int> Parse(const std::vector<std::string>& args, Writer& out, Writer& err);
    std::string Help() const;

private:
    struct Entry {
        char shortName = 0;
        std::string_view longName;
        std::string_view valueName;  // empty for a flag and for help
        std::string_view help;
        std::string* value = nullptr;
        bool* flag = nullptr;
        std::string_view shownDefault;
        Check check;
        bool given = false;
    };
    struct Positional {
        std::string_view name;
        std::string_view help;
        std::string* into;
    };

    // Throws the usage error for an option given wrongly.
    void Take(Entry& entry, std::optional<std::string> value);
    Entry* Find(std::string_view longName) noexcept;

    std::string_view command_;
    std::string_view summary_;
    std::vector<Entry> entries_;
    std::vector<Positional> positionals_;
    std::vector<std::pair<std::string_view, std::string_view>> exclusive_;
    std::string footer_;
    bool helpAsked_ = false;  // -h among grouped flags
};

// A whole number from low to high (digits only), or `word` in any case when it is not empty.
Options::Check InRange(std::int64_t low, std::int64_t high, std::string_view word = {});
// One of the choices in any case; the value becomes the choice as spelt here.
Options::Check OneOf(std::initializer_list<std::string_view> choices);

// The whole number the text spells in decimal digits, or nothing.
std::optional<std::int64_t> WholeNumber(std::string_view text) noexcept;
bool EqualIgnoringCase(std::string_view a, std::string_view b) noexcept;

}  // namespace tavorin::cli
