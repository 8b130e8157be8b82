#include "desktop/qt/frmMain.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QCursor>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QShortcut>

#include <array>
#include <cmath>

#include "desktop/qt/Addresses.h"
#include "desktop/qt/LabelButton.h"
#include "desktop/qt/MessageEdit.h"
#include "desktop/qt/Pictures.h"
#include "desktop/qt/Platform.h"
#include "desktop/qt/Text.h"
#include "desktop/qt/frmAbout.h"
#include "desktop/qt/frmDonate.h"
#include "desktop/qt/frmLinks.h"
#include "engines/Registry.h"

namespace tavorin {

namespace {

// The masked key shows a bullet for every character.
class KeyStyle final : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == QStyle::SH_LineEdit_PasswordCharacter) {
            return 0x2022;
        }
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

// The rectangle drawn behind the controls, in the palette's window colour so that the
// labels on it read in any theme. It takes no mouse events: over it is over the window.
class Panel final : public QWidget {
public:
    explicit Panel(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_TransparentForMouseEvents); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QColor fill = palette().color(QPalette::Window);
        fill.setAlpha(240);
        painter.setPen(QPen(palette().color(QPalette::Mid), 1));
        painter.setBrush(fill);
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, 6, 6), 8, 8);
    }
};

double Luminance(const QColor& c) {
    auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

double Contrast(const QColor& a, const QColor& b) {
    const double la = Luminance(a);
    const double lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// Readable on every part of the background behind the label-buttons.
bool Readable(const QColor& c, double ratio) {
    return Contrast(c, pictures::BackdropDark) >= ratio && Contrast(c, pictures::BackdropLight) >= ratio;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, QRect where) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(where);
    label->setAttribute(Qt::WA_NoMousePropagation);
    return label;
}

}  // namespace

QColor frmMain::RestColour(const QPalette& palette) {
    for (const QPalette::ColorRole role : {QPalette::HighlightedText, QPalette::BrightText, QPalette::Light}) {
        if (Readable(palette.color(role), 4.5)) {
            return palette.color(role);
        }
    }
    return Qt::white;
}

QColor frmMain::HoverColour(const QPalette& palette) {
    const QColor rest = RestColour(palette);
    // Qt's application workspace (QMdiArea) is drawn in the Dark role.
    for (const QPalette::ColorRole role : {QPalette::Dark, QPalette::Mid, QPalette::Midlight, QPalette::Light}) {
        const QColor c = palette.color(role);
        if (c != rest && Readable(c, 3.0)) {
            return c;
        }
    }
    return QColor(0xab, 0xab, 0xab);
}

frmMain::frmMain(Desktop& desktop, QWidget* parent)
    : QWidget(parent), desktop_(desktop), commands_(*this), keyStyle_(std::make_unique<KeyStyle>()) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Tavorin  BETA"));
    setWindowIcon(pictures::ProgramIcon());
    setFixedSize(ClientWidth, ClientHeight);
    setMouseTracking(true);
    QFont font(QStringLiteral("Arial"), 8);
    setFont(font);
    CreateControls();
    CreateMenu();
    CreateShortcuts();
    Form_Load();
}

frmMain::~frmMain() {
    // Windows the user left open die with the program's main window object.
    delete about_.data();
    delete links_.data();
    delete donate_.data();
}

frmAbout* frmMain::AboutWindow() const { return about_; }

frmLinks* frmMain::LinksWindow() const { return links_; }

frmDonate* frmMain::DonateWindow() const { return donate_; }

void frmMain::CreateControls() {
    Shape1 = new Panel(this);
    Shape1->setObjectName(QStringLiteral("Shape1"));
    Shape1->setGeometry(104, 40, 537, 409);

    txtMessage = new MessageEdit(this);
    txtMessage->setObjectName(QStringLiteral("txtMessage"));
    txtMessage->setGeometry(136, 168, 465, 241);
    txtMessage->setAttribute(Qt::WA_NoMousePropagation);
    connect(txtMessage, &MessageEdit::TextChanged, this, &frmMain::txtMessage_Change);

    txtEncKey = new QLineEdit(this);
    txtEncKey->setObjectName(QStringLiteral("txtEncKey"));
    txtEncKey->setGeometry(184, 104, 289, 19);
    txtEncKey->setToolTip(QStringLiteral("A Key is a secret password used to encrypt/decrypt your message."));
    txtEncKey->setStyle(keyStyle_.get());
    txtEncKey->setAttribute(Qt::WA_NoMousePropagation);

    cboEncryption = new QComboBox(this);
    cboEncryption->setObjectName(QStringLiteral("cboEncryption"));
    cboEncryption->setGeometry(184, 64, 185, 23);
    cboEncryption->setAttribute(Qt::WA_NoMousePropagation);

    cboEncPasses = new QComboBox(this);
    cboEncPasses->setObjectName(QStringLiteral("cboEncPasses"));
    cboEncPasses->setGeometry(384, 64, 89, 21);
    cboEncPasses->setAttribute(Qt::WA_NoMousePropagation);

    chkShowKey = new QCheckBox(QStringLiteral("Show Key Text"), this);
    chkShowKey->setObjectName(QStringLiteral("chkShowKey"));
    chkShowKey->setGeometry(496, 108, 129, 17);
    chkShowKey->setChecked(true);
    chkShowKey->setToolTip(QStringLiteral("Uncheck to hide key text"));
    chkShowKey->setAttribute(Qt::WA_NoMousePropagation);
    connect(chkShowKey, &QCheckBox::clicked, this, &frmMain::chkShowKey_Click);
    connect(chkShowKey, &QCheckBox::stateChanged, this, [this](int state) {
        if (state == Qt::Checked) {
            chkShowKey->setToolTip(QStringLiteral("Uncheck to hide key text"));
        } else if (state == Qt::Unchecked) {
            chkShowKey->setToolTip(QStringLiteral("Check to show key text"));
        }
    });

    // The push buttons the label-buttons stand for, outside the client area.
    struct Command {
        QPushButton** button;
        const char* name;
        const char* caption;
        const QString& picture;
        void (frmMain::*handler)();
    };
    const std::array<Command, 5> commands = {{
        {&cmdDecrypt, "cmdDecrypt", "Decrypt", pictures::Decrypt, &frmMain::cmdDecrypt_Click},
        {&cmdEncrypt, "cmdEncrypt", "Encrypt", pictures::Encrypt, &frmMain::cmdEncrypt_Click},
        {&cmdQuit, "cmdQuit", "Quit", pictures::Quit, &frmMain::cmdQuit_Click},
        {&cmdCopy, "cmdCopy", "Copy Text", pictures::Copy, &frmMain::cmdCopy_Click},
        {&cmdClear, "cmdClear", "Clear", pictures::Clear, &frmMain::cmdClear_Click},
    }};
    int top = 8;
    for (const Command& c : commands) {
        auto* button = new QPushButton(QIcon(pictures::Render(c.picture, QSize(16, 16), devicePixelRatioF())),
                                       QString::fromLatin1(c.caption), this);
        button->setObjectName(QString::fromLatin1(c.name));
        button->setGeometry(648, top, 89, 33);
        button->setFocusPolicy(Qt::NoFocus);
        connect(button, &QPushButton::clicked, this, c.handler);
        *c.button = button;
        top += 41;
    }

    // Wide enough for "Length: 2147483647", the longest length there is.
    lblLength = MakeLabel(this, "lblLength", QString(), QRect(520, 411, 112, 17));
    lblHeading = MakeLabel(this, "lblHeading", QStringLiteral("Tavorin"), QRect(40, 0, 177, 33));
    QFont heading(QStringLiteral("Arial"), 20);
    heading.setBold(true);
    lblHeading->setFont(heading);
    Label4 = MakeLabel(this, "Label4", QStringLiteral("TM"), QRect(160, 8, 33, 17));
    QFont small(QStringLiteral("Arial"), 7);
    small.setBold(true);
    Label4->setFont(small);
    Label4->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    QFont buttonFont(QStringLiteral("Arial"), 9);
    buttonFont.setBold(true);
    const QCursor pointer = pictures::LabelPointer();
    auto makeButton = [&](LabelButton*& label, const char* name, const char* caption, const char* tip, QRect where) {
        label = new LabelButton(QString::fromLatin1(caption), this);
        label->setObjectName(QString::fromLatin1(name));
        label->setGeometry(where);
        label->setFont(buttonFont);
        label->setCursor(pointer);
        if (tip != nullptr) {
            label->setToolTip(QString::fromLatin1(tip));
        }
    };
    makeButton(lblMenu, "lblMenu", "Menu", nullptr, QRect(584, 0, 49, 17));
    makeButton(lblQuit, "lblQuit", "Quit", "Closes the program", QRect(48, 360, 49, 17));
    makeButton(lblClear, "lblClear", "Clear", "This will clear the text box and remove any copied text from memory.",
               QRect(48, 264, 49, 17));
    makeButton(lblCopyText, "lblCopyText", "Copy Text",
               "Click here to copy the text in the box into memory, allowing you to paste it into other "
               "programs or emails.",
               QRect(48, 192, 49, 41));
    lblCopyText->setWordWrap(true);
    makeButton(lblDecrypt, "lblDecrypt", "Decrypt", "Click here to decrypt your message", QRect(40, 136, 57, 17));
    makeButton(lblEncrypt, "lblEncrypt", "Encrypt", "Click here to encrypt your message", QRect(40, 72, 57, 17));
    makeButton(lblVersion, "lblVersion", "", "Click for more information", QRect(16, 424, 89, 17));
    lblVersion->setFont(font());

    connect(lblEncrypt, &LabelButton::Clicked, cmdEncrypt, &QPushButton::click);
    connect(lblDecrypt, &LabelButton::Clicked, cmdDecrypt, &QPushButton::click);
    connect(lblCopyText, &LabelButton::Clicked, cmdCopy, &QPushButton::click);
    connect(lblClear, &LabelButton::Clicked, cmdClear, &QPushButton::click);
    connect(lblQuit, &LabelButton::Clicked, cmdQuit, &QPushButton::click);
    connect(lblMenu, &LabelButton::Clicked, this, &frmMain::lblMenu_Click);
    connect(lblVersion, &LabelButton::Clicked, this, &frmMain::lblVersion_Click);
    for (LabelButton* label : {lblEncrypt, lblDecrypt, lblCopyText, lblClear, lblQuit, lblMenu}) {
        connect(label, &LabelButton::Hovered, this, [this, label] { label->SetTextColour(HoverColour(palette())); });
    }
    connect(lblVersion, &LabelButton::Hovered, this, [this] {
        QFont bold = lblVersion->font();
        bold.setBold(true);
        lblVersion->setFont(bold);
    });

    // One picture beside each label-button, centred on it.
    const std::array<std::pair<LabelButton*, const QString*>, 5> images = {{
        {lblEncrypt, &pictures::Encrypt},
        {lblDecrypt, &pictures::Decrypt},
        {lblCopyText, &pictures::Copy},
        {lblClear, &pictures::Clear},
        {lblQuit, &pictures::Quit},
    }};
    int n = 1;
    for (const auto& [label, picture] : images) {
        const QByteArray name = "Image" + QByteArray::number(n++);
        QLabel* image =
            MakeLabel(this, name.constData(), QString(), QRect(8, label->geometry().center().y() - 15, 32, 32));
        image->setPixmap(pictures::Render(*picture, QSize(32, 32), devicePixelRatioF()));
    }

    Label1 = MakeLabel(this, "Label1", QStringLiteral("Key:"), QRect(136, 108, 41, 17));
    Label3 = MakeLabel(this, "Label3", QStringLiteral("Encryption Method"), QRect(184, 48, 161, 17));
    Label5 = MakeLabel(this, "Label5", QStringLiteral("# of Passes"), QRect(384, 48, 105, 17));
    Label2 = MakeLabel(this, "Label2", QStringLiteral("Enter message to be Encrypted or Decrypted:"),
                       QRect(136, 152, 481, 17));
    lblResult = MakeLabel(this, "lblResult", QStringLiteral("Status:"), QRect(136, 411, 337, 17));

    prgWork = new QProgressBar(this);
    prgWork->setObjectName(QStringLiteral("prgWork"));
    prgWork->setGeometry(136, 430, 465, 10);
    prgWork->setRange(0, 100);
    prgWork->setTextVisible(false);
    prgWork->setAttribute(Qt::WA_NoMousePropagation);
    prgWork->hide();

    setTabOrder(cboEncryption, cboEncPasses);
    setTabOrder(cboEncPasses, txtEncKey);
    setTabOrder(txtEncKey, chkShowKey);
    setTabOrder(chkShowKey, txtMessage);
    setTabOrder(txtMessage, lblEncrypt);
    setTabOrder(lblEncrypt, lblDecrypt);
    setTabOrder(lblDecrypt, lblCopyText);
    setTabOrder(lblCopyText, lblClear);
    setTabOrder(lblClear, lblQuit);
    setTabOrder(lblQuit, lblMenu);
    setTabOrder(lblMenu, lblVersion);
    txtMessage->setFocus();

    ApplyColours();
}

void frmMain::CreateMenu() {
    mnuMenu = new QMenu(QStringLiteral("Menu"), this);
    mnuMenu->setObjectName(QStringLiteral("mnuMenu"));
    auto add = [](QMenu* menu, const char* name, const char* caption) {
        QAction* action = menu->addAction(QString::fromLatin1(caption));
        action->setObjectName(QString::fromLatin1(name));
        return action;
    };
    auto separator = [](QMenu* menu, const char* name) {
        menu->addSeparator()->setObjectName(QString::fromLatin1(name));
    };
    connect(add(mnuMenu, "mnuAbout", "About Tavorin"), &QAction::triggered, this, &frmMain::mnuAbout_Click);
    auto* websites = new QMenu(QStringLiteral("Support Sites"), mnuMenu);
    websites->setObjectName(QStringLiteral("mnuWebsitesMenu"));
    websites->menuAction()->setObjectName(QStringLiteral("mnuWebsites"));
    mnuMenu->addMenu(websites);
    connect(add(websites, "mnuTavorinSite", "Tavorin Website"), &QAction::triggered, this,
            &frmMain::mnuTavorinSite_Click);
    connect(add(websites, "mnuBrennickSite", "Brennick Solutions"), &QAction::triggered, this,
            &frmMain::mnuBrennickSite_Click);
    connect(add(websites, "mnuSupportForumSite", "Support Forum"), &QAction::triggered, this,
            &frmMain::mnuSupportForumSite_Click);
    separator(mnuMenu, "asdf");
    connect(add(mnuMenu, "mnuLinks", "Links"), &QAction::triggered, this, &frmMain::mnuLinks_Click);
    connect(add(mnuMenu, "mnuDonate", "Donate"), &QAction::triggered, this, &frmMain::mnuDonate_Click);
    separator(mnuMenu, "mnulkj");

    // How a message's characters become bytes; keys are always Windows-1252.
    auto* encoding = new QMenu(QStringLiteral("Message Encoding"), mnuMenu);
    encoding->setObjectName(QStringLiteral("mnuEncodingMenu"));
    encoding->menuAction()->setObjectName(QStringLiteral("mnuEncoding"));
    mnuMenu->addMenu(encoding);
    auto* group = new QActionGroup(encoding);
    mnuEncodingAnsi = add(encoding, "mnuEncodingAnsi", "Windows-1252 (opens with every Tavorin)");
    mnuEncodingUtf8 = add(encoding, "mnuEncodingUtf8", "UTF-8 (any language)");
    for (QAction* action : {mnuEncodingAnsi, mnuEncodingUtf8}) {
        action->setCheckable(true);
        group->addAction(action);
    }
    mnuEncodingAnsi->setChecked(true);
    separator(mnuMenu, "mnuEncodingLine");
    connect(add(mnuMenu, "mnuExit", "Exit"), &QAction::triggered, this, &frmMain::mnuExit_Click);
}

void frmMain::CreateShortcuts() {
    auto bind = [this](const char* keys, auto handler) {
        shortcutKeys_.emplace_back(QString::fromLatin1(keys));
        auto* shortcut = new QShortcut(shortcutKeys_.back(), this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, handler);
    };
    bind("Ctrl+E", [this] { cmdEncrypt->click(); });
    bind("Ctrl+D", [this] { cmdDecrypt->click(); });
    bind("Ctrl+Shift+C", [this] { cmdCopy->click(); });
    bind("Ctrl+L", [this] { cmdClear->click(); });
    bind("Ctrl+Q", [this] { cmdQuit->click(); });
    bind("Ctrl+H", [this] { chkShowKey->click(); });
    // The text fields would take some of these for editing (Ctrl+D deletes, on X11).
    txtEncKey->installEventFilter(this);
    txtMessage->installEventFilter(this);
}

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const QKeySequence pressed(key->keyCombination());
        for (const QKeySequence& ours : shortcutKeys_) {
            if (pressed.matches(ours) == QKeySequence::ExactMatch) {
                return true;  // not taken by the field: the window's shortcut runs
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void frmMain::Form_Load() {
    FillPassesList();
    ApplyKeyDisplay();
    lblVersion->setText(QStringLiteral("version: %1.%2").arg(VersionMajor).arg(VersionMinor));

    EncryptSkipJack = CreateEngine(u"Skipjack");
    EncryptBlowfish = CreateEngine(u"Blowfish");
    EncryptTwofish = CreateEngine(u"Twofish");
    EncryptGost = CreateEngine(u"Gost");
    EncryptDES = CreateEngine(u"DES");

    {
        const QSignalBlocker quiet(cboEncryption);
        AddEngine(EncryptBlowfish.get(), u"Blowfish");
        AddEngine(EncryptDES.get(), u"DES");
        AddEngine(EncryptGost.get(), u"Gost");
        AddEngine(EncryptSkipJack.get(), u"Skipjack");
        AddEngine(EncryptTwofish.get(), u"Twofish");
    }
    connect(cboEncryption, &QComboBox::currentIndexChanged, this, &frmMain::cboEncryption_Click);
    cboEncryption->setCurrentIndex(0);
    cboEncryption_Click();
}

void frmMain::FillPassesList() {
    for (int passes = 1; passes < 2; ++passes) {
        cboEncPasses->addItem(QString::number(passes));
    }
    cboEncPasses->setCurrentText(QStringLiteral("1"));
}

void frmMain::ApplyKeyDisplay() {
    switch (chkShowKey->checkState()) {
    case Qt::Checked:
        txtEncKey->setEchoMode(QLineEdit::Normal);
        txtEncKey->setFont(QFont(QStringLiteral("Arial"), 9));
        break;
    case Qt::Unchecked:
        txtEncKey->setFont(QFont(QStringLiteral("Arial"), 14));
        txtEncKey->setEchoMode(QLineEdit::Password);
        break;
    case Qt::PartiallyChecked:
        break;
    }
}

void frmMain::AddEngine(Engine* engine, std::u16string_view name) {
    engineList_.push_back({std::u16string(name), engine});
    ++engineCount_;
    cboEncryption->addItem(ToQString(name), engineCount_ - 1);
}

void frmMain::cboEncryption_Click() {
    const QVariant item = cboEncryption->currentData();
    if (!item.isValid()) {
        selectedEngine_ = nullptr;
        return;
    }
    const int index = item.toInt();
    selectedEngine_ =
        (index >= 0 && index < engineCount_) ? engineList_[static_cast<std::size_t>(index)].engine : nullptr;
}

void frmMain::chkShowKey_Click() { ApplyKeyDisplay(); }

void frmMain::cmdEncrypt_Click() { RunCommand(true); }

void frmMain::cmdDecrypt_Click() { RunCommand(false); }

void frmMain::RunCommand(bool encrypt) {
    // One command at a time: the yields between passes must not start another.
    if (commands_.Running()) {
        return;
    }
    if (selectedEngine_ == nullptr) {
        ShowMessage(u"The " + ToU16(cboEncryption->currentText()) + u" cipher is not part of this build.",
                    MessageIcon::Exclamation, u"Error");
        return;
    }
    runningEngineName_ = ToU16(cboEncryption->currentText());
    lastStatus_.clear();
    commandClock_.start();
    // The work text is kept in memory and shown once at the end; nobody edits it meanwhile.
    txtMessage->HoldDisplay(true);
    txtMessage->setReadOnly(true);
    txtEncKey->setReadOnly(true);
    if (encrypt) {
        commands_.cmdEncrypt_Click(*selectedEngine_);
    } else {
        commands_.cmdDecrypt_Click(*selectedEngine_);
    }
    ShowProgress(-1);
    txtEncKey->setReadOnly(false);
    txtMessage->setReadOnly(false);
    txtMessage->HoldDisplay(false);
    envelopeShown_ = encrypt && lastStatus_.starts_with(u"Results: ");
    txtMessage->SetSecret(!envelopeShown_);
    if (closeRequested_) {
        closeRequested_ = false;
        close();
    }
}

void frmMain::cmdCopy_Click() {
    if (commands_.Running()) {
        return;
    }
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    auto* copied = new QMimeData;
    copied->setText(ToQString(txtMessage->Text()));
    // Plain text is a secret: keep it out of clipboard managers' history. The envelope is not.
    if (!envelopeShown_) {
        copied->setData(QString::fromLatin1(PasswordManagerHint), QByteArrayLiteral("secret"));
    }
    clipboard->setMimeData(copied);
}

void frmMain::cmdClear_Click() {
    if (commands_.Running()) {
        return;
    }
    txtMessage->SetText(u"");
    txtEncKey->clear();
    txtEncKey->setFocus();
    lblResult->setText(QString());
}

void frmMain::cmdQuit_Click() { close(); }

void frmMain::mnuExit_Click() { close(); }

void frmMain::lblMenu_Click() {
    // From the keyboard the menu opens under the label, from the mouse at the pointer.
    const QPoint at = lblMenu->underMouse() ? QCursor::pos() : lblMenu->mapToGlobal(QPoint(0, lblMenu->height()));
    mnuMenu->popup(at);
}

void frmMain::lblVersion_Click() { mnuAbout_Click(); }

namespace {

// One window of each kind, not modal, brought forward when it is open already. It is no
// child of the main window: closing that leaves it open. It opens centred over the main window.
template <class Window>
void ShowOnce(QPointer<Window>& window, Desktop& desktop, const QWidget& main) {
    if (window == nullptr) {
        window = new Window(desktop, main.windowIcon());
        window->setAttribute(Qt::WA_DeleteOnClose);
        QRect frame = window->frameGeometry();
        frame.moveCenter(main.frameGeometry().center());
        window->move(frame.topLeft());
    }
    window->show();
    window->raise();
    window->activateWindow();
}

}  // namespace

void frmMain::mnuAbout_Click() { ShowOnce(about_, desktop_, *this); }

void frmMain::mnuLinks_Click() { ShowOnce(links_, desktop_, *this); }

void frmMain::mnuDonate_Click() { ShowOnce(donate_, desktop_, *this); }

void frmMain::mnuTavorinSite_Click() { ShowMessage(u"Site unavailable at this time", MessageIcon::None, u""); }

void frmMain::mnuBrennickSite_Click() { desktop_.OpenAddress(address::MakerSite); }

void frmMain::mnuSupportForumSite_Click() { desktop_.OpenAddress(address::SupportForum); }

void frmMain::Form_MouseMove() {
    QFont plain = lblVersion->font();
    plain.setBold(false);
    lblVersion->setFont(plain);
    const QColor rest = RestColour(palette());
    for (LabelButton* label : {lblEncrypt, lblDecrypt, lblCopyText, lblClear, lblQuit, lblMenu}) {
        label->SetTextColour(rest);
    }
}

void frmMain::txtMessage_Change() {
    lblLength->setText(QStringLiteral("Length: %1").arg(txtMessage->Text().size()));
    if (!commands_.Running()) {
        envelopeShown_ = false;
        txtMessage->SetSecret(true);
    }
}

void frmMain::ApplyColours() {
    const QColor rest = RestColour(palette());
    for (LabelButton* label : {lblEncrypt, lblDecrypt, lblCopyText, lblClear, lblQuit, lblMenu, lblVersion}) {
        label->SetTextColour(rest);
    }
    for (QLabel* label : {lblHeading, Label4}) {
        QPalette p = label->palette();
        p.setColor(QPalette::WindowText, rest);
        label->setPalette(p);
    }
}

void frmMain::paintEvent(QPaintEvent*) {
    const qreal ratio = devicePixelRatioF();
    if (background_.isNull() || background_.devicePixelRatio() != ratio) {
        background_ = pictures::Render(pictures::Background, size(), ratio);
    }
    QPainter painter(this);
    painter.drawPixmap(0, 0, background_);
}

void frmMain::mouseMoveEvent(QMouseEvent* event) {
    Form_MouseMove();
    event->accept();
}

void frmMain::closeEvent(QCloseEvent* event) {
    if (commands_.Running()) {
        // The command holds this window; close when it is done.
        closeRequested_ = true;
        event->ignore();
        return;
    }
    event->accept();
}

void frmMain::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && lblEncrypt != nullptr) {
        ApplyColours();
    }
}

// The window of the commands.

std::u16string frmMain::MessageText() { return txtMessage->Text(); }

const std::u16string& frmMain::PeekMessageText() { return txtMessage->Text(); }

std::u16string frmMain::TakeMessageText() { return txtMessage->TakeText(); }

void frmMain::SetMessageText(std::u16string_view text) { txtMessage->SetText(text); }

void frmMain::SetMessageText(std::u16string&& text) { txtMessage->SetText(std::move(text)); }

std::u16string frmMain::KeyText() { return ToU16(txtEncKey->text()); }

std::u16string frmMain::PassCountText() { return ToU16(cboEncPasses->currentText()); }

std::u16string frmMain::EngineName() {
    return commands_.Running() ? runningEngineName_ : ToU16(cboEncryption->currentText());
}

void frmMain::SetStatusText(std::u16string_view text) {
    lastStatus_.assign(text);
    lblResult->setText(ToQString(text));
    if (commands_.Running()) {
        lblResult->repaint();  // "Please Wait" shows before the long work, not after it
    }
}

void frmMain::SetBusy(bool busy) {
    if (busy == busy_) {
        return;
    }
    busy_ = busy;
    if (busy) {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QGuiApplication::restoreOverrideCursor();
    }
}

void frmMain::ShowMessage(std::u16string_view text, MessageIcon icon, std::u16string_view title) {
    // A box is answered with the ordinary pointer, whatever the window shows.
    if (busy_) {
        QGuiApplication::restoreOverrideCursor();
    }
    ShowBox(this, ToQString(text), icon, ToQString(title));
    if (busy_) {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    }
}

void frmMain::FocusKeyField() { txtEncKey->setFocus(); }

void frmMain::ClearClipboard() { QGuiApplication::clipboard()->clear(); }

void frmMain::Yield() { QCoreApplication::processEvents(); }

MessageEncoding frmMain::Encoding() {
    return mnuEncodingUtf8->isChecked() ? MessageEncoding::Utf8 : MessageEncoding::Windows1252;
}

void frmMain::ShowProgress(std::int32_t percent) {
    if (percent < 0 || !commands_.Running()) {
        prgWork->hide();
        return;
    }
    if (prgWork->isHidden()) {
        if (commandClock_.elapsed() < progressAfterMs_) {
            return;
        }
        prgWork->show();
        progressClock_.invalidate();
    }
    prgWork->setValue(percent);
    // Painted at once, since the engine is still working and events wait for the next
    // yield; but only as often as the eye needs, painting costs as much as the work.
    if (!progressClock_.isValid() || progressClock_.elapsed() >= ProgressPaintMs || percent >= 100) {
        prgWork->repaint();
        progressClock_.start();
    }
}

}  // namespace tavorin
