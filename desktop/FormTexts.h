#pragma once
// The windows' texts that belong to no one control: what loading a form writes, message
// boxes, the key field's two looks, the web addresses the windows open and the products of
// the Links window. Free of any toolkit, as the form tables are.

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "desktop/Forms.h"

namespace tavorin::forms {

inline constexpr std::u16string_view ApplicationTitle = u"Tavorin";
inline constexpr std::u16string_view SiteUnavailable = u"Site unavailable at this time";
inline constexpr std::u16string_view SysInfoUnavailable = u"System Information Is Unavailable At This Time";

// The key field: readable in one font, masked in a larger one with a bullet for each character.
inline constexpr Font KeyShownFont{u"Arial", 9};
inline constexpr Font KeyMaskedFont{u"Arial", 14};
inline constexpr char16_t KeyMaskCharacter = u'\u2022';
inline constexpr std::u16string_view ShowKeyTipChecked = u"Uncheck to hide key text";
inline constexpr std::u16string_view ShowKeyTipUnchecked = u"Check to show key text";

// What `tavorin --help` prints, on Linux and Windows alike (Qt adds a line of its own).
inline constexpr std::string_view UsageText =
    "Usage: tavorin [OPTION]\n\n"
    "Protects a short text message with a key and one of five ciphers, as an envelope of\n"
    "hexadecimal pairs to paste into an e-mail, and opens such envelopes again, in a window.\n"
    "tavorin-cli does the same from a terminal.\n\n"
    "Options:\n"
    "  -h, --help     show this help and exit\n"
    "  -V, --version  show the version and exit\n";
// What `tavorin --version` prints: "tavorin 1.0" and a line end.
std::string VersionText();

// "version: 1.0", beside the main window's label-buttons.
std::u16string MainVersionCaption(int major, int minor);
// "Length: 42", under the message area.
std::u16string LengthCaption(std::size_t characters);
// Encrypt or Decrypt with a cipher whose engine this build lacks.
std::u16string MissingCipherText(std::u16string_view cipher);

// What loading the About window writes over its design captions.
std::u16string AboutCaption();
std::u16string AboutVersionCaption(int major, int minor);
inline constexpr std::u16string_view AboutDescription =
    u"Tavorin is a utility created to secure your message with various levels of encryption. It allows you to "
    u"encrypt a message however you see fit, then copy it to send or save, only to be decrypted by those that know "
    u"how you encrypted it";
inline constexpr std::u16string_view AboutDisclaimer =
    u"Warning...Tavorin is not to be used for any form of illegal acts, terrorism, acts of war or conspiracy. "
    u"Brennick Solutions is not responsible for any information created or sent from Tavorin";

// Web addresses. The maker's own pages are placeholders under the reserved .example domain
// until it has real ones.
namespace address {
inline constexpr std::u16string_view MakerSite = u"https://brennick-solutions.example/";
inline constexpr std::u16string_view SupportForum = u"https://brennick-solutions.example/forum/";
inline constexpr std::u16string_view Donation = u"https://brennick-solutions.example/donate/";
// Public pages about each cipher: the captions of the About window's links.
inline constexpr std::u16string_view Blowfish = u"https://www.schneier.com/academic/blowfish/";
inline constexpr std::u16string_view DES = u"https://csrc.nist.gov/pubs/fips/46-3/final";
inline constexpr std::u16string_view Gost = u"https://en.wikipedia.org/wiki/GOST_(block_cipher)";
inline constexpr std::u16string_view SkipJack = u"https://en.wikipedia.org/wiki/Skipjack_(cipher)";
inline constexpr std::u16string_view Twofish = u"https://www.schneier.com/academic/twofish/";
}  // namespace address

// A product of the Links window; `name` is its label's. Choosing it shows each paragraph
// followed by an empty line, the site (a click opens the referral address) and the copyright.
struct Product {
    std::string_view name;
    std::array<std::u16string_view, 2> paragraphs;  // the second may be empty
    std::u16string_view referral;
    std::u16string_view site;
    std::u16string_view copyright;
};

extern const std::array<Product, 5> Products;

// The description a product shows: its paragraphs, each followed by CR LF CR LF.
std::u16string ProductInfo(const Product& product);

}  // namespace tavorin::forms
