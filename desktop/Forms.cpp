#include "desktop/Forms.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/Version.h"
#include "desktop/FormTexts.h"

// A row names the fields it sets; the others keep their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace tavorin::forms {

namespace {

constexpr Font Arial8{u"Arial", 8};
constexpr Font Arial9{u"Arial", 9};
constexpr Font ButtonFont{u"Arial", 9, true};

// The main window's label-buttons, and the picture beside each, centred on it.
constexpr Rect EncryptAt{40, 72, 57, 17};
constexpr Rect DecryptAt{40, 136, 57, 17};
constexpr Rect CopyAt{48, 192, 49, 41};
constexpr Rect ClearAt{48, 264, 49, 17};
constexpr Rect QuitAt{48, 360, 49, 17};
constexpr Rect Beside(const Rect& label) { return {8, label.CentreY() - 15, 32, 32}; }
// The push buttons the label-buttons stand for lie right of the client area, never seen.
constexpr Rect Hidden(int index) { return {648, 8 + 41 * index, 89, 33}; }

constexpr Control MainControls[] = {
    {"Shape1", Kind::Shape, {104, 40, 537, 409}},
    {"txtMessage", Kind::MessageArea, {136, 168, 465, 241}, {}, {}, {u"", 9, false, true}},
    {"txtEncKey",
     Kind::TextBox,
     {184, 104, 289, 19},
     {},
     u"A Key is a secret password used to encrypt/decrypt your message."},
    {"cboEncryption", Kind::ComboBox, {184, 64, 185, 23}},
    {"cboEncPasses", Kind::ComboBox, {384, 64, 89, 21}},
    {"chkShowKey", Kind::CheckBox, {496, 108, 129, 17}, u"Show Key Text", ShowKeyTipChecked},
    {"cmdDecrypt", Kind::PushButton, Hidden(0), u"Decrypt", {}, {}, picture::Decrypt},
    {"cmdEncrypt", Kind::PushButton, Hidden(1), u"Encrypt", {}, {}, picture::Encrypt},
    {"cmdQuit", Kind::PushButton, Hidden(2), u"Quit", {}, {}, picture::Quit},
    {"cmdCopy", Kind::PushButton, Hidden(3), u"Copy Text", {}, {}, picture::Copy},
    {"cmdClear", Kind::PushButton, Hidden(4), u"Clear", {}, {}, picture::Clear},
    // Wide enough for "Length: 2147483647", the longest length there is.
    {"lblLength", Kind::Label, {520, 411, 112, 17}},
    {"lblHeading", Kind::Label, {40, 0, 177, 33}, u"Tavorin", {}, {u"Arial", 20, true}},
    {"Label4", Kind::Label, {160, 8, 33, 17}, u"TM", {}, {u"Arial", 7, true}},
    {"lblMenu", Kind::LabelButton, {584, 0, 49, 17}, u"Menu", {}, ButtonFont},
    {"lblQuit", Kind::LabelButton, QuitAt, u"Quit", u"Closes the program", ButtonFont},
    {"lblClear", Kind::LabelButton, ClearAt, u"Clear",
     u"This will clear the text box and remove any copied text from memory.", ButtonFont},
    {"lblCopyText",
     Kind::LabelButton,
     CopyAt,
     u"Copy Text",
     u"Click here to copy the text in the box into memory, allowing you to paste it into other programs or emails.",
     ButtonFont,
     {},
     true},
    {"lblDecrypt", Kind::LabelButton, DecryptAt, u"Decrypt", u"Click here to decrypt your message", ButtonFont},
    {"lblEncrypt", Kind::LabelButton, EncryptAt, u"Encrypt", u"Click here to encrypt your message", ButtonFont},
    {"lblVersion", Kind::LabelButton, {16, 424, 89, 17}, {}, u"Click for more information"},
    {"Image1", Kind::Picture, Beside(EncryptAt), {}, {}, {}, picture::Encrypt},
    {"Image2", Kind::Picture, Beside(DecryptAt), {}, {}, {}, picture::Decrypt},
    {"Image3", Kind::Picture, Beside(CopyAt), {}, {}, {}, picture::Copy},
    {"Image4", Kind::Picture, Beside(ClearAt), {}, {}, {}, picture::Clear},
    {"Image5", Kind::Picture, Beside(QuitAt), {}, {}, {}, picture::Quit},
    {"Label1", Kind::Label, {136, 108, 41, 17}, u"Key:"},
    {"Label3", Kind::Label, {184, 48, 161, 17}, u"Encryption Method"},
    {"Label5", Kind::Label, {384, 48, 105, 17}, u"# of Passes"},
    {"Label2", Kind::Label, {136, 152, 481, 17}, u"Enter message to be Encrypted or Decrypted:"},
    {"lblResult", Kind::Label, {136, 411, 337, 17}, u"Status:"},
    {"prgWork", Kind::Progress, {136, 430, 465, 10}},
};

constexpr std::string_view MainTabs[] = {"cboEncryption", "cboEncPasses", "txtEncKey",  "chkShowKey",
                                         "txtMessage",    "lblEncrypt",   "lblDecrypt", "lblCopyText",
                                         "lblClear",      "lblQuit",      "lblMenu",    "lblVersion"};

constexpr MenuItem MainMenu[] = {
    {"mnuAbout", u"About Tavorin"},
    {"mnuWebsites", u"Support Sites", 0, false, "mnuWebsitesMenu"},
    {"mnuTavorinSite", u"Tavorin Website", 1},
    {"mnuBrennickSite", u"Brennick Solutions", 1},
    {"mnuSupportForumSite", u"Support Forum", 1},
    {"asdf", {}},
    {"mnuLinks", u"Links"},
    {"mnuDonate", u"Donate"},
    {"mnulkj", {}},
    // How a message's characters become bytes; keys are always Windows-1252.
    {"mnuEncoding", u"Message Encoding", 0, false, "mnuEncodingMenu"},
    {"mnuEncodingAnsi", u"Windows-1252 (opens with every Tavorin)", 1, true},
    {"mnuEncodingUtf8", u"UTF-8 (any language)", 1, true},
    {"mnuEncodingLine", {}},
    {"mnuExit", u"Exit"},
};

constexpr Shortcut MainShortcuts[] = {
    {"Ctrl+E", "cmdEncrypt"}, {"Ctrl+D", "cmdDecrypt"}, {"Ctrl+Shift+C", "cmdCopy"},
    {"Ctrl+L", "cmdClear"},   {"Ctrl+Q", "cmdQuit"},    {"Ctrl+H", "chkShowKey"},
};

constexpr int LinkTop(int index) { return 180 + 20 * index; }

constexpr Control AboutControls[] = {
    {"Image1", Kind::Picture, {16, 16, 64, 64}, {}, {}, {}, picture::About},
    {"lblTitle", Kind::Label, {96, 14, 408, 28}, u"Tavorin", {}, {u"Arial", 16, true}},
    {"lblVersion", Kind::Label, {96, 44, 408, 18}, u"Version"},
    {"lblDescription", Kind::Label, {96, 66, 408, 72}, u"App Description", {}, {}, {}, true},
    {"Line1", Kind::Line, {16, 146, 488, 2}},
    {"Label1", Kind::Label, {16, 156, 488, 18}, u"Links for info about encryption methods:"},
    // A link's caption is the address a click opens.
    {"Label2", Kind::Label, {32, LinkTop(0), 72, 18}, u"Blowfish:"},
    {"lblBlowfish", Kind::Link, {108, LinkTop(0), 396, 18}, address::Blowfish, address::Blowfish},
    {"Label3", Kind::Label, {32, LinkTop(1), 72, 18}, u"DES:"},
    {"lblDES", Kind::Link, {108, LinkTop(1), 396, 18}, address::DES, address::DES},
    {"Label4", Kind::Label, {32, LinkTop(2), 72, 18}, u"Gost:"},
    {"lblGost", Kind::Link, {108, LinkTop(2), 396, 18}, address::Gost, address::Gost},
    {"Label5", Kind::Label, {32, LinkTop(3), 72, 18}, u"SkipJack:"},
    {"lblSkipJack", Kind::Link, {108, LinkTop(3), 396, 18}, address::SkipJack, address::SkipJack},
    {"Label6", Kind::Label, {32, LinkTop(4), 72, 18}, u"Twofish:"},
    {"lblTwofish", Kind::Link, {108, LinkTop(4), 396, 18}, address::Twofish, address::Twofish},
    {"Line2", Kind::Line, {16, 286, 488, 2}},
    {"lblDisclaimer", Kind::Label, {16, 298, 372, 92}, u"Warning: ...", {}, Arial8, {}, true},
    {"cmdOK", Kind::PushButton, {400, 300, 104, 28}, u"OK"},
    {"cmdSysInfo", Kind::PushButton, {400, 336, 104, 28}, u"&System Info..."},
};

constexpr std::string_view AboutTabs[] = {"cmdOK", "cmdSysInfo"};

constexpr int ProductTop(int index) { return 82 + 24 * index; }

constexpr Control LinksControls[] = {
    {"Label2",
     Kind::Label,
     {16, 12, 488, 36},
     u"The products below are recommended by Brennick Solutions. Each link leads to the product's own web site, "
     u"which is safe to visit.",
     {},
     {},
     {},
     true},
    {"Label3", Kind::Label, {16, 58, 150, 18}, u"Click to view"},
    {"lblDataBackup", Kind::Link, {24, ProductTop(0), 150, 18}, u"RemoteDataBackups"},
    {"lblDiskeeper", Kind::Link, {24, ProductTop(1), 150, 18}, u"Diskeeper"},
    {"lblNOD32", Kind::Link, {24, ProductTop(2), 150, 18}, u"NOD32 Antivirus"},
    {"lblSuperantispyware", Kind::Link, {24, ProductTop(3), 150, 18}, u"SuperAntispyware"},
    {"lblUndelete", Kind::Link, {24, ProductTop(4), 150, 18}, u"Undelete"},
    {"Line1", Kind::Line, {184, 58, 2, 230}},
    {"txtlinkinfo", Kind::TextView, {196, 58, 308, 230}},
    {"Line2", Kind::Line, {16, 298, 488, 2}},
    {"Label1", Kind::Label, {16, 310, 80, 18}, u"Click here:"},
    {"lblLink", Kind::Link, {100, 310, 404, 18}},
    {"lblCopyright", Kind::Label, {16, 336, 488, 30}, {}, {}, {}, {}, true},
};

constexpr Control DonateControls[] = {
    {"Label1",
     Kind::Label,
     {16, 16, 368, 90},
     u"Tavorin is a free to use program, but we do need and appreciate your donations. Any amount is acceptible. "
     u"Donations are used to further improve our products and provide better support to our customers. Thank You",
     {},
     {},
     {},
     true},
    {"Image1", Kind::Picture, {136, 120, 128, 56}, {}, address::Donation, {}, picture::Donate},
};

constexpr std::u16string_view Condusiv = u"Copyright \u00a9 Condusiv Technologies Corporation. All rights reserved.";

std::u16string Number(long long value) {
    char digits[24];
    const int length = std::snprintf(digits, sizeof digits, "%lld", value);
    return std::u16string(digits, digits + std::max(length, 0));
}

}  // namespace

const Form Main{"frmMain", u"Tavorin  BETA", 640, 444, Arial8, MainControls, MainTabs, MainMenu, MainShortcuts};
const Form About{"frmAbout", u"About Tavorin", 520, 404, Arial9, AboutControls, AboutTabs};
const Form Links{"frmLinks", u"Recommended Links", 520, 372, Arial9, LinksControls};
const Form Donate{"frmDonate", u"Donate", 400, 200, Arial9, DonateControls};

const Control& Form::operator[](std::string_view controlName) const {
    const auto found =
        std::find_if(controls.begin(), controls.end(), [&](const Control& c) { return c.name == controlName; });
    if (found == controls.end()) {
        std::abort();  // the tables and the forms are written together
    }
    return *found;
}

const std::array<Product, 5> Products = {{
    {"lblDataBackup",
     {u"RemoteDataBackups is an online backup service. Files chosen on a computer are copied over the Internet to "
      u"storage kept elsewhere, so that they can be restored after a disk failure, a theft or an accidental "
      u"deletion.",
      u"Backups run on a schedule without the user's attention; files are restored from the service when they are "
      u"needed."},
     u"https://www.remotedatabackups.com/?ref=tavorin",
     u"https://www.remotedatabackups.com/",
     u"Copyright \u00a9 Remote Data Backups, Inc. All rights reserved."},
    {"lblDiskeeper",
     {u"Diskeeper is a defragmentation program for Microsoft Windows. It moves the scattered pieces of files on a "
      u"hard disk together, so that each file can be read in one pass.",
      u"It can work in the background while the computer is otherwise idle."},
     u"https://www.condusiv.com/?ref=tavorin",
     u"https://www.condusiv.com/",
     Condusiv},
    {"lblNOD32",
     {u"ESET NOD32 Antivirus is an antivirus program. It checks files, downloads and e-mail for known malicious "
      u"software and uses heuristic analysis to recognise new variants of it.",
      u"Its signature database is updated over the Internet."},
     u"https://www.eset.com/?ref=tavorin",
     u"https://www.eset.com/",
     u"Copyright \u00a9 ESET, spol. s r.o. All rights reserved."},
    {"lblSuperantispyware",
     {u"SUPERAntiSpyware is a program for Microsoft Windows that scans a computer for spyware, adware and similar "
      u"unwanted software and removes what it finds.",
      u"It can be used alongside an antivirus program."},
     u"https://www.superantispyware.com/?ref=tavorin",
     u"https://www.superantispyware.com/",
     u"Copyright \u00a9 SUPERAntiSpyware. All rights reserved."},
    {"lblUndelete",
     {u"Undelete is a file recovery program for Microsoft Windows. It restores files that were deleted by mistake, "
      u"including files emptied from the Recycle Bin, as long as their space on the disk has not been used again.",
      {}},
     u"https://www.condusiv.com/?ref=tavorin&product=undelete",
     u"https://www.condusiv.com/",
     Condusiv},
}};

std::u16string ProductInfo(const Product& product) {
    std::u16string info;
    for (const std::u16string_view paragraph : product.paragraphs) {
        if (!paragraph.empty()) {
            info.append(paragraph).append(u"\r\n\r\n");
        }
    }
    return info;
}

std::string VersionText() { return "tavorin " + std::string(Version) + "\n"; }

std::u16string MainVersionCaption(int major, int minor) { return u"version: " + Number(major) + u"." + Number(minor); }

std::u16string LengthCaption(std::size_t characters) {
    return u"Length: " + Number(static_cast<long long>(characters));
}

std::u16string MissingCipherText(std::u16string_view cipher) {
    return u"The " + std::u16string(cipher) + u" cipher is not part of this build.";
}

std::u16string AboutCaption() { return u"About " + std::u16string(ApplicationTitle) + u"  Beta"; }

std::u16string AboutVersionCaption(int major, int minor) {
    return u"Version " + Number(major) + u"." + Number(minor) + u"  BETA";
}

}  // namespace tavorin::forms
