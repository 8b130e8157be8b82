#pragma once
// The windows as data, free of any toolkit: each form's size, caption and font, and its
// controls with their kinds, places, captions, tooltips, fonts and pictures, listed in the
// order they are created (the first lies at the bottom). The Qt forms are built from these
// tables, and a form of another toolkit can be written from them alone. Places are in the
// form's pixels (96 dots an inch), left, top, width and height of the client area.

#include <cstddef>
#include <span>
#include <string_view>

namespace tavorin::forms {

struct Rect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;

    constexpr int CentreY() const noexcept { return top + (height - 1) / 2; }
};

// A font by name and size; `fixed` asks for the system's fixed-pitch font of that size.
struct Font {
    std::u16string_view name;
    int points = 0;
    bool bold = false;
    bool fixed = false;

    constexpr bool Empty() const noexcept { return points == 0; }
};

enum class Kind {
    Label,        // text, transparent
    LabelButton,  // a label that is clicked as a button, takes the focus by Tab
    Link,         // a label-button drawn as an underlined link
    TextBox,      // one line of editable text
    MessageArea,  // the multi-line message text
    TextView,     // multi-line text, read only
    ComboBox,     // a drop-down list, choice only
    CheckBox,
    PushButton,
    Picture,  // a picture, its name in `picture`
    Line,     // a separator: horizontal when wider than high
    Shape,    // the rectangle drawn behind the main window's controls
    Progress  // a progress bar without text, hidden while no work runs
};

// Picture names: a file of that name (plus the toolkit's extension) in the pictures folder.
namespace picture {
inline constexpr std::u16string_view Background = u"background";
inline constexpr std::u16string_view Icon = u"tavorin";
inline constexpr std::u16string_view Encrypt = u"encrypt";
inline constexpr std::u16string_view Decrypt = u"decrypt";
inline constexpr std::u16string_view Copy = u"copy";
inline constexpr std::u16string_view Clear = u"clear";
inline constexpr std::u16string_view Quit = u"quit";
inline constexpr std::u16string_view Pointer = u"pointer";
inline constexpr std::u16string_view About = u"about";
inline constexpr std::u16string_view Donate = u"donate";
}  // namespace picture

struct Control {
    std::string_view name;
    Kind kind = Kind::Label;
    Rect where;
    std::u16string_view caption;
    std::u16string_view tooltip;
    Font font;  // empty: the form's
    std::u16string_view picture;
    bool wrap = false;  // a caption longer than the width goes on the next line
};

// A menu entry: a caption with an action, a separator (empty caption) or a submenu that
// holds the entries after it with depth + 1.
struct MenuItem {
    std::string_view name;
    std::u16string_view caption;
    int depth = 0;
    bool checkable = false;        // one of a group: the checkable entries of one submenu
    std::string_view submenuName;  // the submenu's own name, for a submenu
};

// A key that runs a control's click from anywhere in the form, written as "Ctrl+Shift+C".
struct Shortcut {
    std::string_view keys;
    std::string_view control;
};

struct Form {
    std::string_view name;
    std::u16string_view caption;
    int width = 0;  // of the client area
    int height = 0;
    Font font;
    std::span<const Control> controls;
    std::span<const std::string_view> tabOrder;
    std::span<const MenuItem> menu;
    std::span<const Shortcut> shortcuts;

    // The control of this name; a name not in the table is a fault of the caller.
    const Control& operator[](std::string_view controlName) const;
};

extern const Form Main;
extern const Form About;
extern const Form Links;
extern const Form Donate;

}  // namespace tavorin::forms
