#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <cstdlib>

#include "pixel_probe.h"
#include "ui/widgets/picture_button.h"

namespace porthold::ui::widgets {
namespace {

using testing::BoundingBox;
using testing::Grab;
using testing::kBlue;
using testing::kDark;
using testing::kFace;
using testing::kLight;
using testing::kMidlight;
using testing::kShadow;

bool IsBlue(QRgb pixel) {
    return qBlue(pixel) > 200 && qRed(pixel) < 60 && qGreen(pixel) < 60;
}

// Caption pixels: grey or black, clearly darker than the face.
bool IsInk(QRgb pixel) {
    return std::abs(qRed(pixel) - qBlue(pixel)) < 30 && qGray(pixel) < qGray(kFace) - 40;
}

class PictureButtonPixelsTest : public ::testing::Test {
protected:
    PictureButtonPixelsTest() : button_(QString(), nullptr) {
        button_.setPalette(testing::TestPalette());
        button_.SetFlatLook(FlatLook::Off);
        button_.resize(80, 90);
    }

    QRect Interior() const { return button_.rect().adjusted(3, 3, -3, -3); }
    QRect PictureBox(const QImage& image) const { return BoundingBox(image, Interior(), IsBlue); }

    PictureButton button_;
};

TEST_F(PictureButtonPixelsTest, RaisedBorderUsesTheFourPaletteEdges) {
    const QImage image = Grab(button_);
    const int right = button_.width() - 1;
    const int bottom = button_.height() - 1;
    EXPECT_EQ(image.pixel(0, 0), kLight);
    EXPECT_EQ(image.pixel(0, bottom - 1), kLight);
    EXPECT_EQ(image.pixel(40, 0), kLight);
    EXPECT_EQ(image.pixel(1, 1), kMidlight);
    EXPECT_EQ(image.pixel(40, 1), kMidlight);
    EXPECT_EQ(image.pixel(1, bottom - 2), kMidlight);
    EXPECT_EQ(image.pixel(1, bottom - 1), kDark);
    EXPECT_EQ(image.pixel(40, bottom - 1), kDark);
    EXPECT_EQ(image.pixel(right - 1, 1), kDark);
    EXPECT_EQ(image.pixel(right, 0), kShadow);
    EXPECT_EQ(image.pixel(0, bottom), kShadow);
    EXPECT_EQ(image.pixel(right, bottom), kShadow);
    EXPECT_EQ(image.pixel(40, 45), kFace);
}

TEST_F(PictureButtonPixelsTest, PressedShowsABlackFrameAShadowFrameAndMovesThePicture) {
    button_.SetPictureImages({testing::SolidPicture({20, 20}, kBlue)}, kWhite);
    const QRect resting = PictureBox(Grab(button_));

    button_.setDown(true);
    const QImage pressed = Grab(button_);
    const int right = button_.width() - 1;
    const int bottom = button_.height() - 1;
    for (const QPoint corner : {QPoint(0, 0), QPoint(right, 0), QPoint(0, bottom),
                                QPoint(right, bottom), QPoint(40, 0), QPoint(0, 45)}) {
        EXPECT_EQ(pressed.pixel(corner), 0xFF000000u) << corner.x() << "," << corner.y();
    }
    EXPECT_EQ(pressed.pixel(1, 1), kDark);
    EXPECT_EQ(pressed.pixel(right - 1, bottom - 1), kDark);
    EXPECT_EQ(pressed.pixel(2, 2), kFace);
    EXPECT_EQ(PictureBox(pressed), resting.translated(1, 1));
}

TEST_F(PictureButtonPixelsTest, TheDefaultButtonIsFramedInBlackAroundItsRaisedBorder) {
    button_.setDefault(true);
    const QImage image = Grab(button_);
    EXPECT_EQ(image.pixel(0, 0), 0xFF000000u);
    EXPECT_EQ(image.pixel(1, 1), kLight);
    EXPECT_EQ(image.pixel(2, 2), kMidlight);
}

TEST_F(PictureButtonPixelsTest, WhiteInThePictureShowsTheButtonFace) {
    QImage picture = testing::SolidPicture({16, 16}, kBlue, 8);
    picture.setPixel(0, 0, 0xFFFEFEFE);  // almost white stays
    button_.resize(60, 60);
    button_.SetPictureImages({picture}, kWhite);
    const QImage image = Grab(button_);
    const QPoint origin(22, 22);  // centred: (60 - 16) / 2
    EXPECT_EQ(image.pixel(origin + QPoint(8, 8)), kFace);
    EXPECT_EQ(image.pixel(origin + QPoint(1, 1)), kBlue);
    EXPECT_EQ(image.pixel(origin), 0xFFFEFEFEu);
    EXPECT_EQ(image.pixel(origin - QPoint(1, 1)), kFace);
}

TEST_F(PictureButtonPixelsTest, PictureAboveATwoLineCaptionCentresBoth) {
    button_.SetPictureImages({testing::SolidPicture({32, 32}, kBlue)}, kWhite);
    ASSERT_EQ(button_.SetPictureAlignment(kPictureAbove), PictureButtonResult::Ok);
    button_.setText("New\nMessage(s)");
    const QImage image = Grab(button_);

    EXPECT_EQ(PictureBox(image), QRect(24, 3, 32, 32));  // (80 - 32) / 2 across, 3 down

    // Below the picture: two separate lines of ink, each centred across, the
    // block centred in the space from the picture's height to the bottom.
    const QRect captionArea(3, 35, 74, 52);
    std::vector<QRect> lines;
    bool inLine = false;
    for (int y = captionArea.top(); y <= captionArea.bottom(); ++y) {
        const QRect row = BoundingBox(image, QRect(3, y, 74, 1), IsInk);
        if (row.isEmpty()) {
            inLine = false;
            continue;
        }
        if (!inLine) {
            lines.push_back(row);
        } else {
            lines.back() |= row;
        }
        inLine = true;
    }
    ASSERT_EQ(lines.size(), 2u);
    for (const QRect& line : lines) {
        EXPECT_NEAR(line.center().x(), 40, 2);
    }
    EXPECT_GT(lines[1].width(), lines[0].width());  // "Message(s)" below "New"
    const int blockMiddle = (lines[0].top() + lines[1].bottom()) / 2;
    EXPECT_NEAR(blockMiddle, (32 + 90) / 2, 4);
    EXPECT_TRUE(BoundingBox(image, QRect(3, 3, 74, 32), IsInk).isEmpty());
}

TEST_F(PictureButtonPixelsTest, DisabledCaptionIsEmbossed) {
    button_.resize(120, 40);
    button_.setText("Embossed");
    const auto isLight = [](QRgb pixel) { return qGray(pixel) > qGray(kFace) + 30; };
    const QImage enabled = Grab(button_);
    EXPECT_TRUE(BoundingBox(enabled, Interior(), isLight).isEmpty());
    EXPECT_FALSE(BoundingBox(enabled, Interior(), [](QRgb p) { return qGray(p) < 40; }).isEmpty());

    button_.setEnabled(false);
    const QImage disabled = Grab(button_);
    // Nothing in the text colour; the shadow copy on top of a highlight copy
    // one pixel right and down, which shows along the right and bottom.
    EXPECT_TRUE(BoundingBox(disabled, Interior(), [](QRgb p) { return qGray(p) < 100; }).isEmpty());
    const QRect shadow = BoundingBox(disabled, Interior(), IsInk);
    const QRect highlight = BoundingBox(disabled, Interior(), isLight);
    ASSERT_FALSE(shadow.isEmpty());
    ASSERT_FALSE(highlight.isEmpty());
    EXPECT_EQ(BoundingBox(disabled, Interior(), [](QRgb p) { return p == kDark; }).isEmpty(),
              false);
    EXPECT_EQ(highlight.right(), shadow.right() + 1);
    EXPECT_EQ(highlight.bottom(), shadow.bottom() + 1);
}

TEST_F(PictureButtonPixelsTest, OutPictureIsUsedUntilPressed) {
    button_.resize(60, 60);
    button_.SetPictureImages({testing::SolidPicture({16, 16}, qRgb(200, 100, 50))}, kWhite,
                             AutomaticPicture::Grey);
    EXPECT_EQ(Grab(button_).pixel(30, 30), qRgb(124, 124, 124));
    button_.setDown(true);
    EXPECT_EQ(Grab(button_).pixel(31, 31), qRgb(200, 100, 50));

    button_.setDown(false);
    button_.SetPictureImages({testing::SolidPicture({16, 16}, qRgb(200, 100, 50))}, kWhite,
                             AutomaticPicture::Darker);
    EXPECT_EQ(Grab(button_).pixel(30, 30), qRgb(150, 75, 37));
}

TEST_F(PictureButtonPixelsTest, DenseScreensGetTheDensePicture) {
    QImage dense = testing::SolidPicture({32, 32}, 0xFFFF0000);
    dense.setDevicePixelRatio(2);
    button_.resize(60, 60);
    button_.SetPictureImages({testing::SolidPicture({16, 16}, kBlue), dense}, kWhite);

    QImage target(120, 120, QImage::Format_RGB32);
    target.setDevicePixelRatio(2);
    button_.render(&target);
    EXPECT_EQ(target.pixel(60, 60), 0xFFFF0000u);
    EXPECT_EQ(Grab(button_).pixel(30, 30), kBlue);
}

TEST_F(PictureButtonPixelsTest, FlatLookShowsItsBorderOnlyWhileThePointerIsOver) {
    const auto moveTo = [this](Qt::MouseButtons buttons) {
        QMouseEvent move(QEvent::MouseMove, QPointF(10, 10), QPointF(10, 10), Qt::NoButton, buttons,
                         Qt::NoModifier);
        QApplication::sendEvent(&button_, &move);
    };
    moveTo(Qt::NoButton);
    EXPECT_FALSE(button_.IsMouseOver());  // the raised look does not track

    button_.SetFlatLook(FlatLook::On);
    EXPECT_EQ(Grab(button_).pixel(0, 0), kFace);
    moveTo(Qt::LeftButton);  // a press dragged in from elsewhere
    EXPECT_FALSE(button_.IsMouseOver());
    moveTo(Qt::NoButton);
    ASSERT_TRUE(button_.IsMouseOver());
    const QImage hovered = Grab(button_);
    EXPECT_EQ(hovered.pixel(0, 0), kLight);
    EXPECT_EQ(hovered.pixel(79, 89), kDark);

    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&button_, &leave);
    EXPECT_FALSE(button_.IsMouseOver());
    EXPECT_EQ(Grab(button_).pixel(0, 0), kFace);

    moveTo(Qt::NoButton);
    button_.setEnabled(false);
    EXPECT_FALSE(button_.IsMouseOver());
}

}  // namespace
}  // namespace porthold::ui::widgets
