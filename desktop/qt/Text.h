#pragma once
// QString and the core's std::u16string hold the same 16-bit units; these copy between them.

#include <QString>

#include <string>
#include <string_view>

namespace tavorin {

inline QString ToQString(std::u16string_view text) {
    return QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
}

inline std::u16string ToU16(const QString& text) { return text.toStdU16String(); }

}  // namespace tavorin
