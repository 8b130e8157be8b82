#include "cli/Options.h"

#include <algorithm>
#include <charconv>

#include "cli/Io.h"
#include "cli/System.h"

namespace tavorin::cli {

namespace {

constexpr std::size_t kHelpWidth = 100;

char Lower(char c) noexcept { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// What an option is called in errors: its long name, or its short one.
std::string Called(char shortName, std::string_view longName) {
    return longName.empty() ? std::string{'-', shortName} : "--" + std::string(longName);
}

// Appends text folded at spaces into lines of at most kHelpWidth columns, each after indent
// columns; the first line goes on from where the text stands.
void Fold(std::string& help, std::string_view text, std::size_t indent) {
    std::size_t column = help.size() - std::min(help.size(), help.rfind('\n') + 1);
    bool first = true;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = std::min(text.find(' ', at), text.size());
        const std::size_t word = end - at;
        if (!first && column + 1 + word > kHelpWidth) {
            help += '\n';
            help.append(indent, ' ');
            column = indent;
        } else if (!first) {
            help += ' ';
            ++column;
        }
        help.append(text.substr(at, word));
        column += word;
        first = false;
        at = end + 1;
    }
    help += '\n';
}

}  // namespace

bool EqualIgnoringCase(std::string_view a, std::string_view b) noexcept {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}

std::optional<std::int64_t> WholeNumber(std::string_view text) noexcept {
    std::int64_t n = 0;
    const char* end = text.data() + text.size();
    if (text.empty() || text[0] < '0' || text[0] > '9') {
        return std::nullopt;  // no sign, no space
    }
    const auto [at, ec] = std::from_chars(text.data(), end, n);
    if (ec != std::errc() || at != end) {
        return std::nullopt;
    }
    return n;
}

Options::Check InRange(std::int64_t low, std::int64_t high, std::string_view word) {
    return [=](std::string& value) -> std::optional<std::string> {
        if (!word.empty() && EqualIgnoringCase(value, word)) {
            return std::nullopt;
        }
        const auto n = WholeNumber(value);
        if (n && *n >= low && *n <= high) {
            return std::nullopt;
        }
        return "'" + value + "' is not a whole number from " + std::to_string(low) + " to " + std::to_string(high) +
               (word.empty() ? "" : " or " + std::string(word));
    };
}

Options::Check OneOf(std::initializer_list<std::string_view> choices) {
    return [list = std::vector<std::string_view>(choices)](std::string& value) -> std::optional<std::string> {
        std::string names;
        for (const auto choice : list) {
            if (EqualIgnoringCase(value, choice)) {
                value = std::string(choice);
                return std::nullopt;
            }
            names += (names.empty() ? "" : choice == list.back() ? " or " : ", ") + std::string(choice);
        }
        return "'" + value + "' is not " + names;
    };
}

Options::Options(std::string_view command, std::string_view summary) : command_(command), summary_(summary) {
    Flag('h', "help", "show this help and exit", helpAsked_);
}

Options& Options::Value(char shortName, std::string_view longName, std::string_view valueName, std::string_view help,
                        std::string& into, std::string_view shownDefault, Check check) {
    Entry& e = entries_.emplace_back();
    e.shortName = shortName;
    e.longName = longName;
    e.valueName = valueName;
    e.help = help;
    e.value = &into;
    e.shownDefault = shownDefault;
    e.check = std::move(check);
    return *this;
}

Options& Options::Flag(char shortName, std::string_view longName, std::string_view help, bool& into) {
    Entry& e = entries_.emplace_back();
    e.shortName = shortName;
    e.longName = longName;
    e.help = help;
    e.flag = &into;
    return *this;
}

Options& Options::Argument(std::string_view name, std::string_view help, std::string& into) {
    positionals_.push_back({name, help, &into});
    return *this;
}

Options& Options::Exclusive(std::string_view first, std::string_view second) {
    exclusive_.emplace_back(first, second);
    return *this;
}

Options& Options::Footer(std::string text) {
    footer_ = std::move(text);
    return *this;
}

Options::Entry* Options::Find(std::string_view longName) noexcept {
    const auto it =
        std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.longName == longName; });
    return it == entries_.end() ? nullptr : &*it;
}

void Options::Take(Entry& entry, std::optional<std::string> value) {
    const std::string called = Called(entry.shortName, entry.longName);
    if (entry.flag) {
        if (value) {
            throw CliError(ExitUsage, called + " takes no value");
        }
        *entry.flag = true;
        return;
    }
    if (!value) {
        throw CliError(ExitUsage, called + " needs a value (" + std::string(entry.valueName) + ")");
    }
    if (entry.given) {
        throw CliError(ExitUsage, called + " is given more than once");
    }
    entry.given = true;
    if (entry.check) {
        if (auto wrong = entry.check(*value)) {
            throw CliError(ExitUsage, called + ": " + *wrong);
        }
    }
    *entry.value = std::move(*value);
}

std::optional<int> Options::Parse(const std::vector<std::string>& args, Writer& out, Writer& err) {
    // Help wins wherever it stands, even beside options that are wrong.
    for (const auto& arg : args) {
        if (arg == "--") {
            break;
        }
        if (arg == "--help" || arg == "-h") {
            out << Help();
            out.Flush();
            return ExitOk;
        }
    }
    // A value is the next argument unless that is an option itself ("-" alone is a value).
    const auto isOption = [](const std::string& arg) { return arg.size() > 1 && arg[0] == '-'; };
    try {
        std::size_t positional = 0;
        bool onlyArguments = false;
        for (std::size_t i = 0; i < args.size(); ++i) {
            const std::string& arg = args[i];
            const auto next = [&]() -> std::optional<std::string> {
                if (i + 1 < args.size() && !isOption(args[i + 1])) {
                    return args[++i];
                }
                return std::nullopt;
            };
            if (onlyArguments || !isOption(arg)) {
                if (positional == positionals_.size()) {
                    throw CliError(ExitUsage, "unexpected argument '" + arg + "'");
                }
                *positionals_[positional++].into = arg;
            } else if (arg == "--") {
                onlyArguments = true;
            } else if (arg[1] == '-') {
                const std::size_t equals = arg.find('=');
                const std::string_view name =
                    std::string_view(arg).substr(2, equals - std::min(equals, std::size_t{2}));
                Entry* entry = Find(name);
                if (!entry) {
                    throw CliError(ExitUsage, "unknown option '" + arg.substr(0, equals) + "'");
                }
                if (equals != std::string::npos) {
                    Take(*entry, arg.substr(equals + 1));
                } else {
                    Take(*entry, entry->flag ? std::nullopt : next());
                }
            } else {
                for (std::size_t j = 1; j < arg.size(); ++j) {
                    const auto it = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) {
                        return e.shortName != 0 && e.shortName == arg[j];
                    });
                    if (it == entries_.end()) {
                        throw CliError(ExitUsage, "unknown option '-" + std::string(1, arg[j]) + "'");
                    }
                    if (it->flag) {
                        Take(*it, std::nullopt);
                        continue;
                    }
                    Take(*it, j + 1 < arg.size() ? std::optional(arg.substr(j + 1)) : next());
                    break;
                }
            }
        }
        if (helpAsked_) {
            out << Help();
            out.Flush();
            return ExitOk;
        }
        if (positional < positionals_.size()) {
            throw CliError(ExitUsage, std::string(positionals_[positional].name) + " is required");
        }
        for (const auto& [first, second] : exclusive_) {
            if (Find(first)->given && Find(second)->given) {
                throw CliError(ExitUsage,
                               "--" + std::string(first) + " and --" + std::string(second) + " cannot go together");
            }
        }
    } catch (const CliError& e) {
        PrintError(err, e.what(), "'tavorin-cli " + std::string(command_) + " --help' shows the options");
        return ExitUsage;
    }
    return std::nullopt;
}

std::string Options::Help() const {
    std::string help = "Usage: tavorin-cli " + std::string(command_) + " [OPTIONS]";
    for (const auto& p : positionals_) {
        help += ' ';
        help += p.name;
    }
    help += "\n\n";
    const std::size_t start = help.size();
    help += summary_;
    help += ".\n";
    if (help[start] >= 'a' && help[start] <= 'z') {
        help[start] = static_cast<char>(help[start] - 'a' + 'A');
    }

    // The left column: "  -c, --cipher NAME", then the text from one column on for all.
    const auto left = [](const Entry& e) {
        std::string s = e.shortName ? std::string("  -") + e.shortName + ", " : std::string(6, ' ');
        s += "--";
        s += e.longName;
        if (!e.valueName.empty()) {
            s += ' ';
            s += e.valueName;
        }
        return s;
    };
    std::size_t column = 0;
    for (const auto& e : entries_) {
        column = std::max(column, left(e).size() + 2);
    }
    for (const auto& p : positionals_) {
        column = std::max(column, p.name.size() + 4);
    }
    if (!positionals_.empty()) {
        help += "\nArguments:\n";
        for (const auto& p : positionals_) {
            help += "  " + std::string(p.name);
            help.append(column - p.name.size() - 2, ' ');
            Fold(help, p.help, column);
        }
    }
    help += "\nOptions:\n";
    for (const auto& e : entries_) {
        const std::string l = left(e);
        help += l;
        help.append(column - l.size(), ' ');
        Fold(help,
             e.shownDefault.empty() ? std::string(e.help)
                                    : std::string(e.help) + "; default: " + std::string(e.shownDefault),
             column);
    }
    if (!footer_.empty()) {
        help += '\n';
        help += footer_;
        if (footer_.back() != '\n') {
            help += '\n';
        }
    }
    return help;
}

}  // namespace tavorin::cli
