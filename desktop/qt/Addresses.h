#pragma once
// Web addresses the windows open. The maker's own pages are placeholders under the
// reserved .example domain until it has real ones.

#include <QString>

namespace tavorin::address {

inline const QString MakerSite = QStringLiteral("https://brennick-solutions.example/");
inline const QString SupportForum = QStringLiteral("https://brennick-solutions.example/forum/");
inline const QString Donation = QStringLiteral("https://brennick-solutions.example/donate/");

// Public pages about each cipher.
inline const QString Blowfish = QStringLiteral("https://www.schneier.com/academic/blowfish/");
inline const QString DES = QStringLiteral("https://csrc.nist.gov/pubs/fips/46-3/final");
inline const QString Gost = QStringLiteral("https://en.wikipedia.org/wiki/GOST_(block_cipher)");
inline const QString SkipJack = QStringLiteral("https://en.wikipedia.org/wiki/Skipjack_(cipher)");
inline const QString Twofish = QStringLiteral("https://www.schneier.com/academic/twofish/");

}  // namespace tavorin::address
