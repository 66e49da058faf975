#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QSignalSpy>
#include <string>

#include "pixel_probe.h"
#include "ui/widgets/picture_button.h"
#include "url_recorder.h"

namespace porthold::ui::widgets {
namespace {

TEST(PictureButtonTest, ResultsOfTheSetUpOperations) {
    PictureButton button("Messages", nullptr);
    EXPECT_EQ(button.SetFlatLook(FlatLook::Off), PictureButtonResult::Ok);
    EXPECT_FALSE(button.IsFlat());
    EXPECT_EQ(button.SetPictureAlignment(kPictureAbove), PictureButtonResult::Ok);
    EXPECT_EQ(button.SetPictureAlignment(4), PictureButtonResult::AlignmentOutOfRange);
    EXPECT_EQ(button.SetPictureAlignment(-1), PictureButtonResult::AlignmentOutOfRange);
    EXPECT_EQ(button.PictureAlignment(), kPictureAbove);
    EXPECT_EQ(button.SetPictureAlignment(kPictureUnplaced), PictureButtonResult::Ok);
    EXPECT_EQ(button.SetPictures(kBitmapMessages, kWhite), PictureButtonResult::Ok);
    // A picture that does not exist leaves the button with its border and caption.
    EXPECT_EQ(button.SetPictures(999, kWhite), PictureButtonResult::Ok);
}

TEST(PictureButtonTest, CheckBoxButtonsToggleAndStayDownWhileChecked) {
    PictureButton box("Option", nullptr, ButtonType::CheckBox);
    box.setPalette(testing::TestPalette());
    box.SetFlatLook(FlatLook::Off);
    box.resize(60, 60);
    box.SetPictureImages({testing::SolidPicture({16, 16}, testing::kBlue)}, kWhite);
    box.setText(QString());
    const QImage unchecked = testing::Grab(box);

    box.click();
    EXPECT_EQ(box.GetCheck(), 1);
    const QImage checked = testing::Grab(box);
    EXPECT_EQ(checked.pixel(0, 0), 0xFF000000u);
    EXPECT_EQ(checked.pixel(1, 1), testing::kDark);
    // Only a push button's picture moves while down.
    EXPECT_EQ(checked.pixel(22, 22), testing::kBlue);
    EXPECT_EQ(checked.pixel(21, 21), testing::kFace);

    box.click();
    EXPECT_EQ(box.GetCheck(), 0);
    EXPECT_EQ(testing::Grab(box), unchecked);

    box.SetCheck(2);
    EXPECT_EQ(box.GetCheck(), 1);
    box.SetCheck(3);
    EXPECT_EQ(box.GetCheck(), 0);

    PictureButton push("Push", nullptr);
    push.SetCheck(1);
    EXPECT_EQ(push.GetCheck(), 0);
    push.click();
    EXPECT_EQ(push.GetCheck(), 0);
}

TEST(PictureButtonTest, LinkTargetKeepsAtMost259BytesAndNoHalfCharacter) {
    PictureButton button("Link", nullptr);
    button.SetLinkTarget(std::string(300, 'a'));
    EXPECT_EQ(button.LinkTarget(), std::string(259, 'a'));

    // "é" is two bytes; one that would be cut in half is left out whole.
    const std::string accented = std::string(258, 'a') + "\xC3\xA9" + "tail";
    button.SetLinkTarget(accented);
    EXPECT_EQ(button.LinkTarget(), std::string(258, 'a'));
    button.SetLinkTarget(std::string(257, 'a') + "\xC3\xA9" + "tail");
    EXPECT_EQ(button.LinkTarget(), std::string(257, 'a') + "\xC3\xA9");

    button.SetLinkTarget({});
    EXPECT_TRUE(button.LinkTarget().empty());
}

class LinkOpeningTest : public ::testing::Test {
protected:
    LinkOpeningTest() {
        for (const char* scheme : {"file", "https", "mailto"}) {
            QDesktopServices::setUrlHandler(scheme, &opener_, "Open");
        }
    }
    ~LinkOpeningTest() override {
        for (const char* scheme : {"file", "https", "mailto"}) {
            QDesktopServices::unsetUrlHandler(scheme);
        }
    }

    testing::UrlRecorder opener_;
};

TEST_F(LinkOpeningTest, AClickOpensTheLinkTargetAndStillReachesTheParent) {
    PictureButton button("E-mail", nullptr);
    QSignalSpy clicks(&button, &QAbstractButton::clicked);
    button.SetLinkTarget("mailto:support@example.com");
    button.click();
    ASSERT_EQ(opener_.opened.size(), 1u);
    EXPECT_EQ(opener_.opened[0], QUrl("mailto:support@example.com"));
    EXPECT_EQ(clicks.count(), 1);

    button.SetLinkTarget("/home/user/porthold/help/support.html");
    button.click();
    ASSERT_EQ(opener_.opened.size(), 2u);
    EXPECT_EQ(opener_.opened[1], QUrl::fromLocalFile("/home/user/porthold/help/support.html"));

    button.SetLinkTarget({});
    button.click();
    EXPECT_EQ(opener_.opened.size(), 2u);
}

TEST_F(LinkOpeningTest, ACheckBoxButtonTogglesInsteadOfOpening) {
    PictureButton box("Option", nullptr, ButtonType::CheckBox);
    box.SetLinkTarget("https://example.com/");
    box.click();
    EXPECT_TRUE(opener_.opened.empty());
    EXPECT_EQ(box.GetCheck(), 1);
}

TEST(PictureButtonTest, ToolTipIsShownOnlyWhileActive) {
    PictureButton button("Messages", nullptr);
    button.SetToolTip("Play and Delete voice messages");
    EXPECT_EQ(button.toolTip(), "Play and Delete voice messages");
    button.SetToolTip("");
    EXPECT_EQ(button.toolTip(), "Play and Delete voice messages");
    button.SetToolTip("Play and Delete voice messages", ToolTipState::Inactive);
    EXPECT_TRUE(button.toolTip().isEmpty());
}

}  // namespace
}  // namespace porthold::ui::widgets
