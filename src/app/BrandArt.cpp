#include "app/BrandArt.h"

#include "core/Paths.h"

#include <QImageReader>
#include <QPixmap>

using namespace Qt::StringLiterals;

namespace tivela {

QIcon BrandArt::menuBarImage(const QString& folder) {
    QIcon icon;
    for (const QString& name :
         {u"MenuBarIcon.png"_s, u"MenuBarIcon@2x.png"_s, u"MenuBarIcon@3x.png"_s}) {
        QImageReader reader(folder + u'/' + name, "png");
        const QImage image = reader.read();
        if (image.isNull())
            continue;
        QPixmap pixmap = QPixmap::fromImage(image);
        // Each file is the same 18-pixel icon at its own density.
        pixmap.setDevicePixelRatio(double(image.width()) / side);
        icon.addPixmap(pixmap);
    }
    icon.setIsMask(true);
    return icon;
}

QIcon BrandArt::menuBarImage() {
    const auto& bundle = Paths::appBundle();
    return bundle ? menuBarImage(bundle->root + u"/share"_s) : QIcon();
}

} // namespace tivela
