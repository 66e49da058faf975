#pragma once

#include <QDialog>
#include <array>
#include <string_view>

#include "ui/dialog_services.h"
#include "ui/widgets/picture_button.h"

namespace porthold::ui {

// Where the product's web page and the maker's support mailbox are; set when
// the program is built (PORTHOLD_WEBSITE_URL, PORTHOLD_SUPPORT_EMAIL).
std::string_view WebsiteAddress();
std::string_view SupportMailAddress();

// The program's name and version, and three links under "Help Options": the
// help page in the program folder, the product's web page and an e-mail to
// support, each opened with the desktop's opener. Changes nothing.
class AboutDlg final : public QDialog {
    Q_OBJECT

public:
    static constexpr std::string_view kVersionText = "Porthold v2.0.1";

    AboutDlg(const DialogServices& services, QWidget* parent = nullptr);

    // Buttons 102 (help), 103 (web page) and 104 (e-mail), in that order.
    widgets::PictureButton* LinkButton(int index) const { return links_.at(index); }

private:
    void CreateLinkButtons(const config::Settings& settings);

    std::array<widgets::PictureButton*, 3> links_{};
};

}  // namespace porthold::ui
