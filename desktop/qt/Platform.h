#pragma once
// What the windows need from the desktop around them: opening web addresses, finding and
// starting the system information tool, and showing a plain message box. Windows reach
// the desktop only through a Desktop, so tests can put a fake one in its place.

#include <QString>

#include <optional>

#include "base/Version.h"
#include "desktop/MessageWindow.h"

class QWidget;

namespace tavorin {

enum class KeyRoot { LocalMachine, CurrentUser };

// Where the system's tools are recorded: keys holding named text values.
class ToolStore {
public:
    virtual ~ToolStore() = default;
    // The value, or nothing when the key cannot be opened or holds no such value.
    virtual std::optional<QString> Query(KeyRoot root, const QString& keyName, const QString& valueName) const = 0;
};

// The tool locations of this Linux system: the first system information program found on
// the PATH, and the folder where the distribution installs them.
class SystemToolStore final : public ToolStore {
public:
    std::optional<QString> Query(KeyRoot root, const QString& keyName, const QString& valueName) const override;
};

// The keys and values the system information lookup reads, and the program it appends to
// the folder of the second lookup.
inline const QString SysInfoKey = QStringLiteral("System Tools\\System Information");
inline const QString SysInfoValue = QStringLiteral("PATH");
inline const QString SysInfoFolderKey = QStringLiteral("System Tools Location");
inline const QString SysInfoFolderValue = QStringLiteral("SYSINFO");
inline const QString SysInfoProgram = QStringLiteral("hardinfo");
// Longest value accepted, in bytes of UTF-8.
inline constexpr qsizetype MaxValueBytes = 1024;

// Reads one value as text into value. False (and value empty) when the key or the value is
// missing or longer than MaxValueBytes. A trailing zero character is dropped.
bool GetKeyValue(const ToolStore& store, KeyRoot root, const QString& keyName, const QString& valueName,
                 QString& value);

class Desktop {
public:
    virtual ~Desktop() = default;

    // Asks the desktop to open the address; a failure shows nothing.
    virtual void OpenAddress(const QString& address);
    // Starts a program without waiting for it; false when it cannot be started.
    virtual bool StartProgram(const QString& path);
    virtual bool FileExists(const QString& path);
    virtual const ToolStore& Tools();

private:
    SystemToolStore tools_;
};

// First thing in main: large buffers a command drops stay with the program for the next one.
void KeepLargeBuffers() noexcept;

// A modal box with one OK button. An empty title shows the application title.
void ShowBox(QWidget* parent, const QString& text, MessageIcon icon, const QString& title);

// The path of the system information tool: the recorded path, or the recorded folder with
// SysInfoProgram when that file exists. Nothing when neither is there.
std::optional<QString> FindSysInfo(Desktop& desktop);

// Finds and starts the tool, or shows forms::SysInfoUnavailable. True when it started.
bool StartSysInfo(Desktop& desktop, QWidget* parent);

}  // namespace tavorin
