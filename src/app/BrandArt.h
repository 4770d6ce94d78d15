#pragma once

#include <QIcon>
#include <QString>

namespace tivela {

// The tray's image: MenuBarIcon.png at one, two and three times 18 pixels, from the bundle's
// share folder.
namespace BrandArt {

constexpr int side = 18;

// The icon from the files of a folder; a file that is missing or unreadable is left out, so
// with none the icon is empty.
QIcon menuBarImage(const QString& folder);
// From the running program's bundle.
QIcon menuBarImage();

} // namespace BrandArt

} // namespace tivela
