#include "ui/widgets/button_picture.h"

#include <functional>

namespace porthold::ui::widgets {

namespace {

bool IsTransparent(QRgb pixel, QRgb transparentColour) {
    return qAlpha(pixel) == 255 && (pixel & RGB_MASK) == (transparentColour & RGB_MASK);
}

// A non-premultiplied copy with `change` applied to every pixel.
QImage ChangePixels(const QImage& image, const std::function<QRgb(QRgb)>& change) {
    QImage result = image.convertToFormat(QImage::Format_ARGB32);
    if (result.isNull()) {
        return result;
    }
    result.setDevicePixelRatio(image.devicePixelRatio());
    for (int y = 0; y < result.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(result.scanLine(y));
        for (int x = 0; x < result.width(); ++x) {
            line[x] = change(line[x]);
        }
    }
    return result;
}

}  // namespace

PictureResult ButtonPicture::Build(const PictureImages& images, QRgb transparentColour) {
    Clear();
    if (images.empty()) {
        return PictureResult::Ok;
    }
    const QImage& plain = images.front();
    if (plain.width() <= 0 || plain.height() <= 0) {
        return PictureResult::SizeUnreadable;
    }
    const QSize size = plain.deviceIndependentSize().toSize();
    PictureImages cutOut;
    for (const QImage& image : images) {
        // A denser copy drawn to another shape would be stretched wrongly.
        if (image.deviceIndependentSize().toSize() != size) {
            continue;
        }
        QImage masked = CutOutTransparentColour(image, transparentColour);
        if (masked.isNull()) {
            return PictureResult::MaskFailed;
        }
        cutOut.push_back(std::move(masked));
    }
    images_ = std::move(cutOut);
    size_ = size;
    transparentColour_ = transparentColour;
    return PictureResult::Ok;
}

void ButtonPicture::Clear() {
    images_.clear();
    size_ = QSize();
    transparentColour_ = kWhite;
}

const QImage& ButtonPicture::ForDevicePixelRatio(qreal ratio) const {
    for (const QImage& image : images_) {
        if (image.devicePixelRatio() >= ratio) {
            return image;
        }
    }
    return images_.back();
}

QImage CutOutTransparentColour(const QImage& image, QRgb transparentColour) {
    const QImage result = ChangePixels(image, [&](QRgb pixel) {
        return IsTransparent(pixel, transparentColour) ? qRgba(0, 0, 0, 0) : pixel;
    });
    if (result.isNull()) {
        return result;
    }
    QImage premultiplied = result.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    premultiplied.setDevicePixelRatio(image.devicePixelRatio());
    return premultiplied;
}

QImage GreyCopy(const QImage& image, QRgb transparentColour) {
    return ChangePixels(image, [&](QRgb pixel) {
        if (IsTransparent(pixel, transparentColour)) {
            return pixel;
        }
        const int grey = (299 * qRed(pixel) + 587 * qGreen(pixel) + 114 * qBlue(pixel)) / 1000;
        return qRgba(grey, grey, grey, qAlpha(pixel));
    });
}

QImage DarkerCopy(const QImage& image, QRgb transparentColour) {
    return ChangePixels(image, [&](QRgb pixel) {
        if (IsTransparent(pixel, transparentColour)) {
            return pixel;
        }
        return qRgba(qRed(pixel) * 3 / 4, qGreen(pixel) * 3 / 4, qBlue(pixel) * 3 / 4,
                     qAlpha(pixel));
    });
}

PictureImages AutomaticCopy(const PictureImages& images, QRgb transparentColour,
                            AutomaticPicture kind) {
    PictureImages copies;
    for (const QImage& image : images) {
        copies.push_back(kind == AutomaticPicture::Grey ? GreyCopy(image, transparentColour)
                                                        : DarkerCopy(image, transparentColour));
    }
    return copies;
}

}  // namespace porthold::ui::widgets
