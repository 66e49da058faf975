#include "ui/widgets/button_picture.h"

#include <gtest/gtest.h>

#include "pixel_probe.h"
#include "ui/widgets/pictures.h"

namespace porthold::ui::widgets {
namespace {

QImage TwoPixels(QRgb first, QRgb second) {
    QImage image(2, 1, QImage::Format_RGB32);
    image.setPixel(0, 0, first);
    image.setPixel(1, 0, second);
    return image;
}

TEST(ButtonPictureTest, CutsOutExactlyTheTransparentColour) {
    const QImage cut = CutOutTransparentColour(TwoPixels(0xFFFFFFFF, 0xFFFEFEFE), kWhite);
    EXPECT_EQ(cut.pixel(0, 0), 0x00000000u);
    EXPECT_EQ(cut.pixel(1, 0), 0xFFFEFEFEu);

    const QImage magenta = CutOutTransparentColour(TwoPixels(0xFFFF00FF, 0xFFFFFFFF), 0xFF00FF);
    EXPECT_EQ(qAlpha(magenta.pixel(0, 0)), 0);
    EXPECT_EQ(magenta.pixel(1, 0), 0xFFFFFFFFu);
}

TEST(ButtonPictureTest, PicksTheImageForTheScreenDensity) {
    QImage plain = testing::SolidPicture({8, 8}, testing::kBlue);
    QImage dense = testing::SolidPicture({16, 16}, 0xFFFF0000);
    dense.setDevicePixelRatio(2);
    QImage misshapen = testing::SolidPicture({30, 20}, 0xFF00FF00);
    misshapen.setDevicePixelRatio(3);

    ButtonPicture picture;
    ASSERT_EQ(picture.Build({plain, dense, misshapen}, kWhite), PictureResult::Ok);
    EXPECT_EQ(picture.Size(), QSize(8, 8));
    EXPECT_EQ(picture.ForDevicePixelRatio(1).pixel(0, 0), testing::kBlue);
    EXPECT_EQ(picture.ForDevicePixelRatio(1.5).pixel(0, 0), 0xFFFF0000u);
    // The copy drawn to another shape is not used.
    EXPECT_EQ(picture.ForDevicePixelRatio(3).pixel(0, 0), 0xFFFF0000u);

    EXPECT_EQ(picture.Build({}, kWhite), PictureResult::Ok);
    EXPECT_TRUE(picture.IsEmpty());
}

TEST(EmbeddedPicturesTest, EveryButtonPictureExistsForNormalAndDenseScreens) {
    const struct {
        BitmapId id;
        int size;
    } bitmaps[] = {{kBitmapNewMessages, 32},
                   {kBitmapMessages, 32},
                   {kBitmapPinList, 32},
                   {kBitmapSettings, 32},
                   {kBitmapPickUp, 24}};
    for (const auto& bitmap : bitmaps) {
        SCOPED_TRACE(bitmap.id);
        const PictureImages images = LoadBitmap(bitmap.id);
        ASSERT_EQ(images.size(), 2u);
        EXPECT_EQ(images[0].size(), QSize(bitmap.size, bitmap.size));
        EXPECT_EQ(images[1].size(), QSize(2 * bitmap.size, 2 * bitmap.size));
        EXPECT_EQ(images[1].devicePixelRatio(), 2.0);
        // White is the transparent colour the windows give, so the corners
        // around each picture must be pure white.
        for (const QImage& image : images) {
            EXPECT_EQ(image.pixel(0, 0) | 0xFF000000, 0xFFFFFFFFu);
            EXPECT_EQ(image.pixel(image.width() - 1, image.height() - 1) | 0xFF000000, 0xFFFFFFFFu);
        }
    }
    EXPECT_TRUE(LoadBitmap(999).empty());
    EXPECT_TRUE(LoadBitmap(kNoBitmap).empty());
}

TEST(EmbeddedPicturesTest, TheApplicationIconComesInDesktopSizes) {
    const QList<QSize> sizes = ApplicationIcon().availableSizes();
    for (const int size : {16, 32, 48, 256}) {
        EXPECT_TRUE(sizes.contains(QSize(size, size))) << size;
    }
}

}  // namespace
}  // namespace porthold::ui::widgets
