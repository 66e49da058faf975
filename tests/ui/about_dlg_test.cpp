#include "ui/about_dlg.h"

#include <QDesktopServices>
#include <QTest>

#include "dialog_fixture.h"
#include "widgets/url_recorder.h"

namespace porthold::ui {
namespace {

class AboutDlgTest : public testing::DialogFixture {
protected:
    AboutDlgTest() {
        for (const char* scheme : kSchemes) {
            QDesktopServices::setUrlHandler(scheme, &opener, "Open");
        }
    }
    ~AboutDlgTest() override {
        for (const char* scheme : kSchemes) {
            QDesktopServices::unsetUrlHandler(scheme);
        }
    }

    static constexpr std::array<const char*, 3> kSchemes = {"file", "https", "mailto"};
    porthold::testing::UrlRecorder opener;
};

TEST_F(AboutDlgTest, EachLinkOpensItsTargetWithTheDesktopsOpener) {
    AboutDlg dialog(services);
    for (int index = 0; index < 3; ++index) {
        dialog.LinkButton(index)->click();
    }

    ASSERT_EQ(opener.opened.size(), 3u);
    EXPECT_EQ(opener.opened[0].toLocalFile().toStdString(), folder.File("help/support.html"));
    EXPECT_EQ(opener.opened[1].toString().toStdString(), WebsiteAddress());
    EXPECT_EQ(opener.opened[2].toString().toStdString(),
              "mailto:" + std::string(SupportMailAddress()));
    EXPECT_TRUE(dialog.LinkButton(2)->toolTip().endsWith(QStringLiteral("required)")));
}

TEST_F(AboutDlgTest, EscapeAndOkBothClose) {
    AboutDlg escaped(services);
    EXPECT_EQ(RunModal(escaped, [](QDialog& open) { QTest::keyClick(&open, Qt::Key_Escape); }),
              QDialog::Rejected);
    AboutDlg confirmed(services);
    EXPECT_EQ(RunModal(confirmed, [](QDialog& open) { QTest::keyClick(&open, Qt::Key_Return); }),
              QDialog::Accepted);
}

}  // namespace
}  // namespace porthold::ui
