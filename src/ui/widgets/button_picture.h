#pragma once

#include <QImage>
#include <QSize>

#include "ui/widgets/pictures.h"

namespace porthold::ui::widgets {

enum class PictureResult { Ok = 0, SizeUnreadable = 1, MaskFailed = 2 };

// How a button makes its second picture when it is given only one.
enum class AutomaticPicture { Grey, Darker };

inline constexpr QRgb kWhite = 0xFFFFFF;

// One picture of a button, ready to draw: the pixels of its transparent colour
// are cut out of every density, so the button face shows through them.
class ButtonPicture {
public:
    // Replaces the picture. On failure the picture is left empty.
    PictureResult Build(const PictureImages& images, QRgb transparentColour);
    void Clear();

    bool IsEmpty() const { return images_.empty(); }
    // In device-independent pixels.
    QSize Size() const { return size_; }
    QRgb TransparentColour() const { return transparentColour_; }
    // The sharpest image for that ratio, or the densest there is.
    const QImage& ForDevicePixelRatio(qreal ratio) const;

private:
    PictureImages images_;
    QSize size_;
    QRgb transparentColour_ = kWhite;
};

// The image with every opaque pixel of the transparent colour made fully
// transparent; a null image when it cannot be built.
QImage CutOutTransparentColour(const QImage& image, QRgb transparentColour);

// Each pixel but the transparent ones replaced by the grey of its luminance.
QImage GreyCopy(const QImage& image, QRgb transparentColour);

// Each channel of each pixel but the transparent ones reduced by a quarter.
QImage DarkerCopy(const QImage& image, QRgb transparentColour);

PictureImages AutomaticCopy(const PictureImages& images, QRgb transparentColour,
                            AutomaticPicture kind);

}  // namespace porthold::ui::widgets
