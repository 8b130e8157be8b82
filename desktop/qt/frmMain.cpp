#include "desktop/qt/frmMain.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QShortcut>

#include <array>
#include <optional>

#include "base/Version.h"
#include "desktop/Contrast.h"
#include "desktop/FormTexts.h"
#include "desktop/qt/FormParts.h"
#include "desktop/qt/LabelButton.h"
#include "desktop/qt/MessageArea.h"
#include "desktop/qt/MessageEdit.h"
#include "desktop/qt/MessageView.h"
#include "desktop/qt/Pictures.h"
#include "desktop/qt/Platform.h"
#include "desktop/qt/Text.h"
#include "desktop/qt/frmAbout.h"
#include "desktop/qt/frmDonate.h"
#include "desktop/qt/frmLinks.h"
#include "engines/Registry.h"

namespace tavorin {

namespace {

// The masked key shows the table's mask character for every character.
class KeyStyle final : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == QStyle::SH_LineEdit_PasswordCharacter) {
            return forms::KeyMaskCharacter;
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

const forms::Form& Form() { return forms::Main; }

// Every control of the main window keeps the pointer's moves to itself: over it is not over
// the window's background.
template <class Widget>
Widget* Own(Widget* widget) {
    widget->setAttribute(Qt::WA_NoMousePropagation);
    return widget;
}

QLabel* MakeLabel(QWidget* parent, const char* name) {
    const forms::Control& row = Form()[name];
    auto* label = new QLabel(ToQString(row.caption), parent);
    Place(label, row);
    return Own(label);
}

// The first of the palette's roles that the rule chooses, or the rule's own colour.
template <class Choose>
QColor Chosen(const QPalette& palette, std::initializer_list<QPalette::ColorRole> roles, Choose choose, Rgb fallback) {
    std::vector<Rgb> colours;
    for (const QPalette::ColorRole role : roles) {
        colours.push_back(pictures::ToRgb(palette.color(role)));
    }
    const std::optional<std::size_t> chosen = choose(colours);
    return chosen ? palette.color(*(roles.begin() + *chosen)) : pictures::ToQColor(fallback);
}

}  // namespace

QColor frmMain::RestColour(const QPalette& palette) {
    return Chosen(
        palette, {QPalette::HighlightedText, QPalette::BrightText, QPalette::Light},
        [](std::span<const Rgb> colours) { return tavorin::RestColour(colours); }, RestFallback);
}

QColor frmMain::HoverColour(const QPalette& palette) {
    const Rgb rest = pictures::ToRgb(RestColour(palette));
    // Qt's application workspace (QMdiArea) is drawn in the Dark role.
    return Chosen(
        palette, {QPalette::Dark, QPalette::Mid, QPalette::Midlight, QPalette::Light},
        [rest](std::span<const Rgb> colours) { return tavorin::HoverColour(rest, colours); }, HoverFallback);
}

frmMain::frmMain(Desktop& desktop, QWidget* parent)
    : QWidget(parent), desktop_(desktop), keyStyle_(std::make_unique<KeyStyle>()) {
    PlaceForm(this, Form());
    setWindowIcon(pictures::ProgramIcon());
    setMouseTracking(true);
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
    const forms::Form& form = Form();
    Shape1 = new Panel(this);
    Place(Shape1, form["Shape1"]);

    txtMessage = Own(new MessageArea(this));
    Place(txtMessage, form["txtMessage"]);
    connect(txtMessage, &MessageArea::TextChanged, this, &frmMain::txtMessage_Change);

    txtEncKey = Own(new QLineEdit(this));
    Place(txtEncKey, form["txtEncKey"]);
    txtEncKey->setStyle(keyStyle_.get());
    cboEncryption = Own(new QComboBox(this));
    Place(cboEncryption, form["cboEncryption"]);
    cboEncPasses = Own(new QComboBox(this));
    Place(cboEncPasses, form["cboEncPasses"]);

    chkShowKey = Own(new QCheckBox(ToQString(form["chkShowKey"].caption), this));
    Place(chkShowKey, form["chkShowKey"]);
    chkShowKey->setChecked(true);
    connect(chkShowKey, &QCheckBox::clicked, this, &frmMain::chkShowKey_Click);
    connect(chkShowKey, &QCheckBox::stateChanged, this, [this](int state) {
        if (state == Qt::Checked) {
            chkShowKey->setToolTip(ToQString(forms::ShowKeyTipChecked));
        } else if (state == Qt::Unchecked) {
            chkShowKey->setToolTip(ToQString(forms::ShowKeyTipUnchecked));
        }
    });

    // The push buttons the label-buttons stand for, outside the client area.
    const std::array<std::pair<QPushButton**, void (*)(frmMain&)>, 5> commands = {{
        {&cmdDecrypt, [](frmMain& main) { main.cmdDecrypt_Click(); }},
        {&cmdEncrypt, [](frmMain& main) { main.cmdEncrypt_Click(); }},
        {&cmdQuit, [](frmMain& main) { main.cmdQuit_Click(); }},
        {&cmdCopy, [](frmMain& main) { main.cmdCopy_Click(); }},
        {&cmdClear, [](frmMain& main) { main.cmdClear_Click(); }},
    }};
    const std::array<const char*, 5> commandNames = {"cmdDecrypt", "cmdEncrypt", "cmdQuit", "cmdCopy", "cmdClear"};
    for (std::size_t i = 0; i < commands.size(); ++i) {
        const forms::Control& row = form[commandNames[i]];
        auto* button =
            new QPushButton(QIcon(pictures::Render(pictures::Path(row.picture), QSize(16, 16), devicePixelRatioF())),
                            ToQString(row.caption), this);
        Place(button, row);
        button->setFocusPolicy(Qt::NoFocus);
        connect(button, &QPushButton::clicked, this, [this, handler = commands[i].second] { handler(*this); });
        *commands[i].first = button;
    }

    lblLength = MakeLabel(this, "lblLength");
    lblHeading = MakeLabel(this, "lblHeading");
    Label4 = MakeLabel(this, "Label4");
    Label4->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    const QCursor pointer = pictures::LabelPointer();
    auto makeButton = [&](LabelButton*& label, const char* name) {
        const forms::Control& row = form[name];
        label = new LabelButton(ToQString(row.caption), this);
        Place(label, row);
        label->setCursor(pointer);
        label->setWordWrap(row.wrap);
    };
    makeButton(lblMenu, "lblMenu");
    makeButton(lblQuit, "lblQuit");
    makeButton(lblClear, "lblClear");
    makeButton(lblCopyText, "lblCopyText");
    makeButton(lblDecrypt, "lblDecrypt");
    makeButton(lblEncrypt, "lblEncrypt");
    makeButton(lblVersion, "lblVersion");

    connect(lblEncrypt, &LabelButton::Clicked, cmdEncrypt, &QPushButton::click);
    connect(lblDecrypt, &LabelButton::Clicked, cmdDecrypt, &QPushButton::click);
    connect(lblCopyText, &LabelButton::Clicked, cmdCopy, &QPushButton::click);
    connect(lblClear, &LabelButton::Clicked, cmdClear, &QPushButton::click);
    connect(lblQuit, &LabelButton::Clicked, cmdQuit, &QPushButton::click);
    connect(lblMenu, &LabelButton::Clicked, this, &frmMain::lblMenu_Click);
    connect(lblVersion, &LabelButton::Clicked, this, [this] { lblVersion_Click(); });
    for (LabelButton* label : {lblEncrypt, lblDecrypt, lblCopyText, lblClear, lblQuit, lblMenu}) {
        connect(label, &LabelButton::Hovered, this, [this, label] { label->SetTextColour(HoverColour(palette())); });
    }
    connect(lblVersion, &LabelButton::Hovered, this, [this] {
        QFont bold = lblVersion->font();
        bold.setBold(true);
        lblVersion->setFont(bold);
    });

    for (const char* image : {"Image1", "Image2", "Image3", "Image4", "Image5"}) {
        Own(AddPicture(this, form[image]));
    }

    Label1 = MakeLabel(this, "Label1");
    Label3 = MakeLabel(this, "Label3");
    Label5 = MakeLabel(this, "Label5");
    Label2 = MakeLabel(this, "Label2");
    lblResult = MakeLabel(this, "lblResult");

    prgWork = Own(new QProgressBar(this));
    Place(prgWork, form["prgWork"]);
    prgWork->setRange(0, 100);
    prgWork->setTextVisible(false);
    prgWork->hide();

    // The message area takes the focus in whichever of its parts shows the text.
    std::vector<QWidget*> chain;
    for (const std::string_view name : form.tabOrder) {
        auto* next = findChild<QWidget*>(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
        if (next == txtMessage) {
            chain.push_back(&txtMessage->Editor());
            chain.push_back(&txtMessage->View());
        } else {
            chain.push_back(next);
        }
    }
    for (std::size_t i = 1; i < chain.size(); ++i) {
        setTabOrder(chain[i - 1], chain[i]);
    }
    txtMessage->setFocus();

    ApplyColours();
}

void frmMain::CreateMenu() {
    const auto qname = [](std::string_view name) {
        return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
    };
    mnuMenu = new QMenu(QStringLiteral("Menu"), this);
    mnuMenu->setObjectName(QStringLiteral("mnuMenu"));
    QMenu* submenu = nullptr;
    QActionGroup* group = nullptr;
    for (const forms::MenuItem& item : Form().menu) {
        QMenu* into = item.depth == 0 ? mnuMenu : submenu;
        if (!item.submenuName.empty()) {
            submenu = new QMenu(ToQString(item.caption), mnuMenu);
            submenu->setObjectName(qname(item.submenuName));
            submenu->menuAction()->setObjectName(qname(item.name));
            mnuMenu->addMenu(submenu);
            group = nullptr;
            continue;
        }
        if (item.caption.empty()) {
            into->addSeparator()->setObjectName(qname(item.name));
            continue;
        }
        QAction* action = into->addAction(ToQString(item.caption));
        action->setObjectName(qname(item.name));
        if (item.checkable) {
            if (group == nullptr) {
                group = new QActionGroup(into);
            }
            action->setCheckable(true);
            group->addAction(action);
            action->setChecked(group->actions().size() == 1);  // the first of a group is chosen at start
        }
        connect(action, &QAction::triggered, this, [this, name = item.name] { MenuChosen(name); });
    }
    mnuEncodingAnsi = mnuMenu->findChild<QAction*>(QStringLiteral("mnuEncodingAnsi"));
    mnuEncodingUtf8 = mnuMenu->findChild<QAction*>(QStringLiteral("mnuEncodingUtf8"));
}

void frmMain::CreateShortcuts() {
    for (const forms::Shortcut& shortcut : Form().shortcuts) {
        shortcutKeys_.emplace_back(
            QString::fromLatin1(shortcut.keys.data(), static_cast<qsizetype>(shortcut.keys.size())));
        auto* key = new QShortcut(shortcutKeys_.back(), this);
        key->setContext(Qt::WindowShortcut);
        auto* button = findChild<QAbstractButton*>(
            QString::fromLatin1(shortcut.control.data(), static_cast<qsizetype>(shortcut.control.size())));
        connect(key, &QShortcut::activated, button, &QAbstractButton::click);
    }
    // The text fields would take some of these for editing (Ctrl+D deletes, on X11).
    txtEncKey->installEventFilter(this);
    txtMessage->InstallKeyFilter(this);
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
    lblVersion->setText(ToQString(forms::MainVersionCaption(VersionMajor, VersionMinor)));

    {
        const QSignalBlocker quiet(cboEncryption);
        LoadEngines();
    }
    connect(cboEncryption, &QComboBox::currentIndexChanged, this, &frmMain::cboEncryption_Click);
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
        txtEncKey->setFont(ToQFont(forms::KeyShownFont, font()));
        break;
    case Qt::Unchecked:
        txtEncKey->setFont(ToQFont(forms::KeyMaskedFont, font()));
        txtEncKey->setEchoMode(QLineEdit::Password);
        break;
    case Qt::PartiallyChecked:
        break;
    }
}

void frmMain::AddEngineLine(std::u16string_view name, std::int32_t itemData) {
    cboEncryption->addItem(ToQString(name), itemData);
}

void frmMain::SelectFirstEngineLine() {
    cboEncryption->setCurrentIndex(0);
    cboEncryption_Click();
}

void frmMain::cboEncryption_Click() {
    const QVariant item = cboEncryption->currentData();
    SelectEngine(item.isValid() ? std::optional<std::int64_t>(item.toInt()) : std::nullopt);
}

void frmMain::chkShowKey_Click() { ApplyKeyDisplay(); }

void frmMain::CloseForm() { close(); }

void frmMain::lblMenu_Click() {
    // From the keyboard the menu opens under the label, from the mouse at the pointer.
    const QPoint at = lblMenu->underMouse() ? QCursor::pos() : lblMenu->mapToGlobal(QPoint(0, lblMenu->height()));
    mnuMenu->popup(at);
}

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

void frmMain::OpenAddress(std::u16string_view address) { desktop_.OpenAddress(ToQString(address)); }

void frmMain::ShowEncoding(bool utf8) { (utf8 ? mnuEncodingUtf8 : mnuEncodingAnsi)->setChecked(true); }

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
    lblLength->setText(ToQString(forms::LengthCaption(txtMessage->Text().size())));
    if (!CommandRunning()) {
        ForgetEnvelope();
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
        background_ = pictures::Render(pictures::Path(forms::picture::Background), size(), ratio);
    }
    QPainter painter(this);
    painter.drawPixmap(0, 0, background_);
}

void frmMain::mouseMoveEvent(QMouseEvent* event) {
    Form_MouseMove();
    event->accept();
}

void frmMain::closeEvent(QCloseEvent* event) {
    if (CloseWaits()) {
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

}  // namespace tavorin
