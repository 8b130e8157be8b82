#pragma once
// The message text and what the message area shows for it: one shown character for each
// character of the text, so that positions agree and reading back gives every character as
// written (control characters, CR LF, lone CR included) while the area shows something
// readable. Shared by the area's editor and its view.

#include <QString>

#include <cstddef>
#include <string>
#include <string_view>

class QMimeData;

namespace tavorin {

// How the text shows in the editor: one character for each character of text. Line feeds
// become block breaks; other control characters their visible pictures; a CR before a LF
// an invisible mark. In lines longer than longLine, every linesPerBlock-th wrapped line
// that ends at a space ends its block there (charsPerLine: how many characters fit).
QString ShownText(std::u16string_view text, qsizetype charsPerLine = 0, int linesPerBlock = 0, qsizetype longLine = 0);
// The one character shown for text[i].
char16_t ShownChar(std::u16string_view text, std::size_t i);

// The text that shown characters typed or pasted by the user stand for: the inverse of
// ShownText for every character it changes.
std::u16string FromShown(QStringView shown);

bool HasLineLongerThan(std::u16string_view text, std::size_t limit);

// The mime type clipboard managers read to leave a secret out of their history.
inline constexpr const char* PasswordManagerHint = "x-kde-passwordManagerHint";

// A copy of text for the clipboard or a drag, marked for clipboard managers when secret.
QMimeData* CopiedText(std::u16string_view text, bool secret);

}  // namespace tavorin
