#include "ui/main_dialog.h"

#include <QAction>
#include <QLabel>
#include <QMenuBar>
#include <QVBoxLayout>

#include "ui/dialog_resources.h"
#include "ui/dialog_units.h"
#include "ui/widgets/pictures.h"

namespace porthold::ui {

namespace {

QString FromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The window's size in dialog units, below its menu bar.
constexpr int kClientWidth = 132;
constexpr int kClientHeight = 55;

constexpr std::array<int, 3> kButtonCommands = {kMessagesButton, kPinListButton, kSettingsButton};
constexpr std::array<int, 4> kGatedMenuCommands = {kViewPinListCommand, kViewMessagesCommand,
                                                   kViewSettingsCommand, kHelpCommand};

}  // namespace

MainDialog::MainDialog(ManagementDialogs& dialogs, QWidget* parent)
    : QDialog(parent), dialogs_(dialogs) {
    setObjectName(QStringLiteral("MainDialog"));
    setProperty("templateId", kMainDialogTemplate);
    // A caption with the system menu and a minimise box; no maximise box, and
    // the size is fixed.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(FromUtf8(kCaption));
    setFont(DialogFont());
    for (int command : kGatedMenuCommands) {
        menuEnabled_[command] = true;
    }

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    BuildMenu();
    layout->setMenuBar(menuBar_);

    const LayoutUnits units = FontLayoutUnits(font());
    client_ = new QWidget(this);
    client_->setObjectName(QStringLiteral("client"));
    client_->setFixedSize(DialogWidth(units, kClientWidth), DialogHeight(units, kClientHeight));
    layout->addWidget(client_);

    statusLabel_ = new QLabel(FromUtf8(kInitialStatus), client_);
    statusLabel_->setObjectName(QStringLiteral("statusLabel"));
    statusLabel_->setProperty("controlId", kStatusLabel);
    statusLabel_->setGeometry(DialogRect(units, 7, 41, 118, 12));
    statusLabel_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    statusLabel_->setLineWidth(1);
    statusLabel_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    statusLabel_->setWordWrap(false);
    statusLabel_->setTextFormat(Qt::PlainText);
}

MainDialog::~MainDialog() = default;

void MainDialog::BuildMenu() {
    menuBar_ = new QMenuBar(this);
    menuBar_->setObjectName(QStringLiteral("mainMenu"));
    menuBar_->setProperty("menuId", kMainMenu);
    // Qt, like the menu resource, shows "&&" as one ampersand.
    struct Item {
        const char* menu;
        const char* text;
        int command;
    };
    static constexpr Item kItems[] = {
        {"&File", "E&xit", kExitCommand},
        {"&View", "&Messages", kViewMessagesCommand},
        {"&View", "&PIN List", kViewPinListCommand},
        {"&View", "Settings", kViewSettingsCommand},
        {"&Documentation", "Documentation && Help", kHelpCommand},
    };
    std::map<QString, QMenu*> menus;
    for (const Item& item : kItems) {
        const QString title = QString::fromLatin1(item.menu);
        QMenu*& menu = menus[title];
        if (menu == nullptr) {
            menu = menuBar_->addMenu(title);
        }
        QAction* action = menu->addAction(QString::fromLatin1(item.text));
        action->setObjectName(QStringLiteral("command%1").arg(item.command));
        action->setData(item.command);
        const int command = item.command;
        connect(action, &QAction::triggered, this, [this, command] { OnCommand(command); });
        menuActions_[command] = action;
    }
}

int MainDialog::Run() {
    // Qt creates the window when it is first shown; the initialisation runs
    // before that, so that the user first sees the window ready (or stalled).
    initialised_ = program_ != nullptr && program_->OnInitDialog();
    const int result = exec();
    DestroyWindow();
    return result;
}

void MainDialog::DestroyWindow() {
    if (destroyed_) {
        return;
    }
    destroyed_ = true;
    if (program_ != nullptr) {
        program_->OnDestroyWindow();
    }
}

// ---------------------------------------------------------------------------
// Start-up and shutdown steps

void MainDialog::SelectButtonFont() {
    // The program's buttons share the window's font; Qt always has one.
    buttonFont_ = font();
}

LayoutUnits MainDialog::MeasureLayoutUnits() {
    return FontLayoutUnits(font());
}

void MainDialog::CreateMainButtons(LayoutUnits units) {
    const int x = units.x;
    const int y = units.y;
    buttons_[0] = CreateMainButton(kMessagesButton, QStringLiteral("Messages"),
                                   QRect(QPoint(0, 0), QPoint(11 * x - 1, 5 * y - 1)),
                                   widgets::kBitmapMessages,
                                   QStringLiteral("Play and Delete voice messages"));
    buttons_[1] =
        CreateMainButton(kPinListButton, QStringLiteral("PIN List"),
                         QRect(QPoint(11 * x, 0), QPoint(22 * x - 1, 5 * y - 1)),
                         widgets::kBitmapPinList, QStringLiteral("Add and Delete caller PINs"));
    buttons_[2] = CreateMainButton(kSettingsButton, QStringLiteral("Settings"),
                                   QRect(QPoint(22 * x, 0), QPoint(33 * x - 1, 5 * y - 1)),
                                   widgets::kBitmapSettings,
                                   QStringLiteral("Change software specific settings"));
}

widgets::PictureButton* MainDialog::CreateMainButton(int command, const QString& caption,
                                                     QRect rectangle, int bitmap,
                                                     const QString& toolTip) {
    auto* button = new widgets::PictureButton(caption, client_);
    static const std::map<int, QString> kNames = {
        {kMessagesButton, QStringLiteral("messagesButton")},
        {kPinListButton, QStringLiteral("pinListButton")},
        {kSettingsButton, QStringLiteral("settingsButton")},
    };
    button->setObjectName(kNames.at(command));
    button->setProperty("controlId", command);
    button->setGeometry(rectangle);
    // Enter must not press a main button: the window has no default button.
    button->setAutoDefault(false);
    button->setFont(buttonFont_);
    button->SetPictures(bitmap, widgets::kWhite);
    button->SetFlatLook(widgets::FlatLook::Off);
    button->SetPictureAlignment(widgets::kPictureAbove);
    button->SetToolTip(toolTip, widgets::ToolTipState::Active);
    connect(button, &QAbstractButton::clicked, this, [this, command] { OnCommand(command); });
    button->show();
    return button;
}

void MainDialog::DeleteMainButtons() {
    for (QPointer<widgets::PictureButton>& button : buttons_) {
        delete button.data();
        button = nullptr;
    }
}

void MainDialog::SetMainButtons(Availability availability) {
    for (const QPointer<widgets::PictureButton>& button : buttons_) {
        if (button != nullptr) {
            button->setEnabled(availability == Availability::Enabled);
        }
    }
}

void MainDialog::SetMenuCommands(Availability availability) {
    for (auto& [command, enabled] : menuEnabled_) {
        enabled = availability == Availability::Enabled;
    }
}

void MainDialog::ShowApplicationIcon() {
    // Qt draws the minimised window and the task switcher entry from it.
    setWindowIcon(widgets::ApplicationIcon());
}

// ---------------------------------------------------------------------------
// Status line and main controls

void MainDialog::SetStatus(std::string_view text) {
    // The engine sets its idle text on every tick; only a change is painted.
    if (text == statusText_) {
        return;
    }
    statusText_ = text;
    statusLabel_->setText(FromUtf8(text));
    // Painted now rather than on the next pass of the event loop: the thread
    // may block in a telephony or audio request right after.
    statusLabel_->repaint();
}

QString MainDialog::StatusText() const {
    return statusLabel_->text();
}

void MainDialog::LockMainControls() {
    SetMainButtons(Availability::Disabled);
    SetMenuCommands(Availability::Disabled);
}

void MainDialog::UnlockMainControls() {
    SetMainButtons(Availability::Enabled);
    SetMenuCommands(Availability::Enabled);
}

void MainDialog::SetMessagesLook(int bitmap, std::string_view caption) {
    widgets::PictureButton* button = buttons_[0];
    if (button == nullptr) {
        return;
    }
    button->SetPictures(bitmap, widgets::kWhite);
    button->setText(FromUtf8(caption));
}

widgets::PictureButton* MainDialog::MainButton(int command) const {
    for (std::size_t index = 0; index < kButtonCommands.size(); ++index) {
        if (kButtonCommands[index] == command) {
            return buttons_[index];
        }
    }
    return nullptr;
}

QAction* MainDialog::MenuAction(int command) const {
    const auto found = menuActions_.find(command);
    return found == menuActions_.end() ? nullptr : found->second;
}

bool MainDialog::IsMenuCommandEnabled(int command) const {
    const auto found = menuEnabled_.find(command);
    // File, Exit has no flag.
    return found == menuEnabled_.end() || found->second;
}

// ---------------------------------------------------------------------------
// Timers and commands

void MainDialog::OnTimer(platform::TimerId id) {
    if (program_ != nullptr) {
        program_->OnWindowTimer(id);
    }
}

void MainDialog::OnCommand(int command) {
    switch (command) {
        case kMessagesButton:
        case kPinListButton:
        case kSettingsButton: {
            const widgets::PictureButton* button = MainButton(command);
            if (button == nullptr || !button->isEnabled()) {
                return;
            }
            break;
        }
        default:
            if (!IsMenuCommandEnabled(command)) {
                return;
            }
            break;
    }
    switch (command) {
        case kMessagesButton:
        case kViewMessagesCommand:
            OpenManagementDialog(ManagementDialog::Messages);
            break;
        case kPinListButton:
        case kViewPinListCommand:
            OpenManagementDialog(ManagementDialog::PinList);
            break;
        case kSettingsButton:
        case kViewSettingsCommand:
            OpenManagementDialog(ManagementDialog::Settings);
            break;
        case kHelpCommand:
            dialogs_.RunAbout(this);
            break;
        case kExitCommand:
            // Ends the modal loop; Run then shuts the program down.
            done(QDialog::Rejected);
            break;
        default:
            break;
    }
}

void MainDialog::OpenManagementDialog(ManagementDialog dialog) {
    if (program_ == nullptr) {
        return;
    }
    telephony::CallState& state = program_->CallState();
    // No call is answered while the user manages the program.
    state.answeringEnabled = false;
    SetMainButtons(Availability::Disabled);
    // Without telephony the line already reads " Disabled...".
    if (dialog == ManagementDialog::Settings || !state.telephonyUnavailable) {
        SetStatus(kDisabledStatus);
    }
    switch (dialog) {
        case ManagementDialog::Messages:
            state.newMessageCount = dialogs_.RunMessages(this, state.newMessageCount);
            break;
        case ManagementDialog::PinList:
            dialogs_.RunPinList(this, program_->Settings().RemotePIN);
            break;
        case ManagementDialog::Settings:
            // The dialog has written the registry when it ends with OK. The
            // folders derived at start-up stay as they are.
            if (dialogs_.RunSettings(this, program_->Settings()) == DialogOutcome::Ok) {
                program_->ReloadSettings();
            }
            break;
    }
    SetMainButtons(Availability::Enabled);
    state.answeringEnabled = true;
    program_->WakeEngine();
}

}  // namespace porthold::ui
