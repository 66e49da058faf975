#include "ui/about_dlg.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include "ui/dialog_controls.h"
#include "ui/dialog_units.h"
#include "ui/widgets/pictures.h"

namespace porthold::ui {

namespace {

constexpr int kWidth = 174;
constexpr int kHeight = 202;

struct LinkButtonSetUp {
    int controlId;
    const char* objectName;
    const char* caption;
    widgets::BitmapId picture;
    const char* toolTip;
    int top;  // in layout units; each button is three units high
};

constexpr std::array<LinkButtonSetUp, 3> kLinkButtons = {{
    {102, "helpLink", "Documentation and Help", widgets::kBitmapHelpLink,
     "View local documentation and help files", 8},
    {103, "websiteLink", "Porthold Website", widgets::kBitmapWebLink,
     "Visit the Porthold Website (Internet connection required)", 12},
    {104, "mailLink", "E-mail Quillmoor", widgets::kBitmapWebLink,
     "E-mail Quillmoor Software (Internet connection required)", 16},
}};

}  // namespace

std::string_view WebsiteAddress() {
    return PORTHOLD_WEBSITE_URL;
}

std::string_view SupportMailAddress() {
    return PORTHOLD_SUPPORT_EMAIL;
}

AboutDlg::AboutDlg(const DialogServices& services, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("AboutDlg"));
    setProperty("templateId", 164);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowTitle(QStringLiteral("Porthold"));
    setFont(DialogFont());
    const LayoutUnits units = FontLayoutUnits(font());
    setFixedSize(DialogWidth(units, kWidth), DialogHeight(units, kHeight));

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setProperty("controlId", 1);
    ok->setGeometry(DialogRect(units, 117, 7, 50, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* version = new QLabel(this);
    version->setObjectName(QStringLiteral("versionLabel"));
    version->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    version->setGeometry(DialogRect(units, 28, 7, 62, 16));
    version->setAlignment(Qt::AlignCenter);
    version->setTextFormat(Qt::PlainText);
    version->setText(
        QString::fromLatin1(kVersionText.data(), static_cast<qsizetype>(kVersionText.size())));

    const QRect picture = DialogRect(units, 7, 7, 17, 16);
    CreatePictureFrame(this, widgets::kBitmapAbout, picture.topLeft(), picture.size());

    auto* group = new QGroupBox(QStringLiteral("Help Options"), this);
    group->setObjectName(QStringLiteral("helpOptions"));
    // This style draws the title above the frame rather than on its line, so the
    // frame starts higher for its line to pass above the first link.
    group->setGeometry(DialogRect(units, 7, 44, 160, 149));

    CreateLinkButtons(services.settings);
    // Tab goes from OK through the links in their order.
    setTabOrder(ok, links_[0]);
    setTabOrder(links_[0], links_[1]);
    setTabOrder(links_[1], links_[2]);
}

void AboutDlg::CreateLinkButtons(const config::Settings& settings) {
    const LayoutUnits units = FontLayoutUnits(font());
    const std::array<std::string, 3> targets = {
        settings.Path + "help/support.html",
        std::string(WebsiteAddress()),
        "mailto:" + std::string(SupportMailAddress()),
    };
    for (std::size_t index = 0; index < kLinkButtons.size(); ++index) {
        const LinkButtonSetUp& link = kLinkButtons[index];
        auto* button = new widgets::PictureButton(QString::fromLatin1(link.caption), this);
        button->setObjectName(QString::fromLatin1(link.objectName));
        button->setProperty("controlId", link.controlId);
        button->setGeometry(QRect(QPoint(6 * units.x, link.top * units.y),
                                  QPoint(37 * units.x - 1, (link.top + 3) * units.y - 1)));
        button->setAutoDefault(false);
        button->SetPictures(link.picture, widgets::kWhite);
        button->SetFlatLook(widgets::FlatLook::Off);
        button->SetToolTip(QString::fromLatin1(link.toolTip), widgets::ToolTipState::Active);
        button->SetLinkTarget(targets[index]);
        links_[index] = button;
    }
}

}  // namespace porthold::ui
