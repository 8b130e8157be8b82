// The Win32 secondary forms and the system information lookup: what they open and show, with
// a desktop that records instead of opening anything.
#include <windows.h>
#undef Yield

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "desktop/FormTexts.h"
#include "desktop/win32/Platform.h"
#include "desktop/win32/frmAbout.h"
#include "desktop/win32/frmDonate.h"
#include "desktop/win32/frmLinks.h"
#include "desktop/win32/frmMain.h"

using namespace tavorin;
using namespace tavorin::win32;

namespace {

class FakeDesktop final : public Desktop {
public:
    std::vector<std::u16string> opened;
    std::vector<std::u16string> boxes;
    std::vector<std::wstring> started;
    std::map<std::wstring, std::wstring> values;  // "key|value" -> text
    std::vector<std::wstring> files;

    void ShowBox(HWND, std::u16string_view text, MessageIcon, std::u16string_view) override {
        boxes.emplace_back(text);
    }
    void OpenAddress(HWND, std::u16string_view address) override { opened.emplace_back(address); }
    std::optional<std::wstring> MachineValue(const std::wstring& key, const std::wstring& value) override {
        const auto found = values.find(key + L"|" + value);
        return found == values.end() ? std::nullopt : std::optional(found->second);
    }
    bool StartProgram(const std::wstring& path) override {
        started.push_back(path);
        return true;
    }
    bool FileExists(const std::wstring& path) override {
        return std::find(files.begin(), files.end(), path) != files.end();
    }
};

std::u16string TextOf(HWND control) {
    wchar_t text[1024] = {};
    GetWindowTextW(control, text, 1024);
    return Utf16(text);
}

void Click(FormWindow& form, const char* name) {
    SendMessageW(form.Handle(), WM_COMMAND, MAKEWPARAM(form.ControlId(name), STN_CLICKED),
                 reinterpret_cast<LPARAM>(form.Control(name)));
}

const std::wstring PathKey = L"SOFTWARE\\Microsoft\\Shared Tools\\MSINFO|PATH";
const std::wstring FolderKey = L"SOFTWARE\\Microsoft\\Shared Tools Location|MSINFO";

TEST(Win32Forms, SystemInformationIsFoundWhereTheRegistryRecordsIt) {
    FakeDesktop desktop;
    // The recorded path is taken as it is; the folder is the second choice, with MSINFO32.EXE.
    desktop.values = {{PathKey, L"C:\\Tools\\msinfo32.exe"}, {FolderKey, L"C:\\Shared"}};
    EXPECT_EQ(FindSysInfo(desktop), L"C:\\Tools\\msinfo32.exe");
    desktop.values.erase(PathKey);
    EXPECT_EQ(FindSysInfo(desktop), std::nullopt);  // no such file in the folder
    desktop.files = {L"C:\\Shared\\MSINFO32.EXE"};
    EXPECT_EQ(FindSysInfo(desktop), L"C:\\Shared\\MSINFO32.EXE");

    frmAbout about(desktop, nullptr);
    SendMessageW(about.Handle(), WM_COMMAND, MAKEWPARAM(about.ControlId("cmdSysInfo"), BN_CLICKED),
                 reinterpret_cast<LPARAM>(about.Control("cmdSysInfo")));
    EXPECT_EQ(desktop.started, std::vector<std::wstring>{L"C:\\Shared\\MSINFO32.EXE"});
    desktop.values.clear();
    SendMessageW(about.Handle(), WM_COMMAND, MAKEWPARAM(about.ControlId("cmdSysInfo"), BN_CLICKED),
                 reinterpret_cast<LPARAM>(about.Control("cmdSysInfo")));
    EXPECT_EQ(desktop.boxes, std::vector<std::u16string>{std::u16string(forms::SysInfoUnavailable)});
}

TEST(Win32Forms, AboutShowsItsTextsAndEachLinkOpensWhatItShows) {
    FakeDesktop desktop;
    frmAbout about(desktop, nullptr);
    EXPECT_EQ(TextOf(about.Handle()), u"About Tavorin  Beta");
    EXPECT_EQ(TextOf(about.Control("lblVersion")), u"Version 1.0  BETA");
    EXPECT_EQ(TextOf(about.Control("lblDisclaimer")), forms::AboutDisclaimer);
    for (const char* link : {"lblBlowfish", "lblDES", "lblGost", "lblSkipJack", "lblTwofish"}) {
        Click(about, link);
        EXPECT_EQ(desktop.opened.back(), TextOf(about.Control(link)));
    }
    EXPECT_EQ(desktop.opened.size(), 5u);
}

TEST(Win32Forms, AProductChosenReplacesTheOneBefore) {
    FakeDesktop desktop;
    frmLinks links(desktop, nullptr);
    Click(links, "lblLink");  // nothing chosen yet: nothing to open
    EXPECT_TRUE(desktop.opened.empty());
    for (const forms::Product& product : forms::Products) {
        Click(links, product.name.data());
        Click(links, product.name.data());  // twice shows it once
        EXPECT_EQ(TextOf(links.Control("txtlinkinfo")), forms::ProductInfo(product));
        EXPECT_EQ(TextOf(links.Control("lblLink")), product.site);
        EXPECT_EQ(TextOf(links.Control("lblCopyright")), product.copyright);
        Click(links, "lblLink");
        EXPECT_EQ(desktop.opened.back(), product.referral);
    }

    frmDonate donate(desktop, nullptr);
    Click(donate, "Image1");
    EXPECT_EQ(desktop.opened.back(), forms::address::Donation);
}

LONG FontHeight(HWND control) {
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font, &font);
    return font.lfHeight;
}

// Moved to a monitor of other dots an inch, the form is laid out anew from its table: the
// window where the system suggests, every control's place and font, the key field's own font.
TEST(Win32Forms, AFormMovedToAnotherDpiIsLaidOutAnew) {
    FakeDesktop desktop;
    frmMain main(desktop);
    for (const int dpi : {144, 96}) {
        SCOPED_TRACE(dpi);
        RECT suggested{10, 20, 30, 40};
        SendMessageW(main.Handle(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
        EXPECT_EQ(main.Dpi(), dpi);
        RECT client{};
        GetClientRect(main.Handle(), &client);
        EXPECT_EQ(client.right, Scale(640, dpi));
        EXPECT_EQ(client.bottom, Scale(444, dpi));
        RECT frame{};
        GetWindowRect(main.Handle(), &frame);
        EXPECT_EQ(frame.left, 10);
        for (const char* name : {"txtMessage", "Image1", "lblEncrypt", "chkShowKey"}) {
            RECT at{};
            GetWindowRect(main.Control(name), &at);
            MapWindowPoints(nullptr, main.Handle(), reinterpret_cast<POINT*>(&at), 2);
            const RECT wanted = ScaledRect(forms::Main[name].where, dpi);
            EXPECT_EQ(at.left, wanted.left) << name;
            EXPECT_EQ(at.right - at.left, wanted.right - wanted.left) << name;
        }
        EXPECT_EQ(FontHeight(main.Control("lblEncrypt")), -MulDiv(9, dpi, 72));
        EXPECT_EQ(FontHeight(main.Control("txtEncKey")), -MulDiv(forms::KeyShownFont.points, dpi, 72));
    }
}

}  // namespace
