#include "ui/widgets/pictures.h"

#include <QFile>
#include <QString>
#include <mutex>

// The resources live in a static library, so nothing would pull their
// registration into the program unless it is called by name.
static void RegisterPictureResources() {
    static std::once_flag once;
    std::call_once(once, [] { Q_INIT_RESOURCE(porthold_images); });
}

namespace porthold::ui::widgets {

namespace {

constexpr int kDensities[] = {1, 2};
constexpr int kIconSizes[] = {16, 24, 32, 48, 64, 128, 256};

QString BitmapPath(BitmapId id, int density) {
    const QString suffix = density == 1 ? QString() : QStringLiteral("@%1x").arg(density);
    return QStringLiteral(":/porthold/bitmaps/%1%2.png").arg(id).arg(suffix);
}

}  // namespace

PictureImages LoadBitmap(BitmapId id) {
    RegisterPictureResources();
    PictureImages images;
    if (id == kNoBitmap) {
        return images;
    }
    for (const int density : kDensities) {
        QImage image(BitmapPath(id, density));
        if (image.isNull()) {
            // A denser copy without its plain one is of no use: the plain one
            // gives the picture's size.
            if (density == 1) {
                return images;
            }
            continue;
        }
        image.setDevicePixelRatio(density);
        images.push_back(std::move(image));
    }
    return images;
}

QIcon ApplicationIcon() {
    RegisterPictureResources();
    QIcon icon;
    for (const int size : kIconSizes) {
        icon.addFile(QStringLiteral(":/porthold/icons/128-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}

}  // namespace porthold::ui::widgets
