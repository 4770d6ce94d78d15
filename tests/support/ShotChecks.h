#pragma once

// What every picture of a render mode must be, whichever mode drew it. Header-only: only the
// programs that test the render modes link the views.
#include "app/views/Theme.h"
#include "support/PackFiles.h"

#include <QColor>
#include <QDir>
#include <QImage>
#include <QProcessEnvironment>
#include <QSize>
#include <QString>
#include <QStringList>

#include <map>

namespace tivela::test {

// The environment of a render mode's run: no display, temporary files inside the world.
inline QProcessEnvironment renderEnvironment(const QString& temporary) {
    QDir().mkpath(temporary);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TMPDIR"), temporary);
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    return environment;
}

inline QStringList filesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name);
}

// What is wrong with the light and dark pictures of a shot of a card of w × h points: each is
// 2(w + 72) × 2(h + 72) pixels of 8-bit RGBA, its first and last pixels are the ground's two
// colours, and inside the card most pixels differ between light and dark.
inline QStringList shotProblems(const QString& folder, const QString& name, QSize card) {
    QStringList problems;
    const QSize pixels = (card + QSize(72, 72)) * 2;
    QImage images[2];
    for (const bool dark : {false, true}) {
        const QString file = QDir(folder).filePath(name + (dark ? u"-dark.png" : u".png"));
        const QByteArray bytes = readFile(file);
        const auto say = [&](const QString& what) { problems << QString(file + u": " + what); };
        // The header's depth and colour type: 8 bits, RGBA (6).
        if (bytes.size() < 26 || bytes.mid(12, 4) != "IHDR" || bytes[24] != 8 || bytes[25] != 6) {
            say(QStringLiteral("not an 8-bit RGBA PNG"));
            continue;
        }
        QImage image = QImage::fromData(bytes, "PNG").convertToFormat(QImage::Format_ARGB32);
        if (image.size() != pixels) {
            say(QStringLiteral("%1 x %2 pixels").arg(image.width()).arg(image.height()));
            continue;
        }
        const QList<QColor> ground = Theme::screenshotGround(dark);
        if (image.pixel(0, 0) != ground.value(0).rgba() ||
            image.pixel(pixels.width() - 1, pixels.height() - 1) != ground.value(1).rgba())
            say(QStringLiteral("corners are not the ground's colours"));
        images[dark ? 1 : 0] = image;
    }
    if (images[0].isNull() || images[1].isNull())
        return problems;
    qint64 differing = 0;
    for (int y = 72; y < 72 + card.height() * 2; ++y)
        for (int x = 72; x < 72 + card.width() * 2; ++x)
            differing += images[0].pixel(x, y) != images[1].pixel(x, y);
    if (differing * 2 < qint64(card.width()) * card.height() * 4)
        problems << QString(name + u": light and dark alike inside the card");
    return problems;
}

// The problems of every shot of a run, by name and card size.
inline QStringList shotProblems(const QString& folder, const std::map<QString, QSize>& shots) {
    QStringList problems;
    for (const auto& [name, card] : shots)
        problems << shotProblems(folder, name, card);
    return problems;
}

// The file names a run writes for these shots: light and dark PNGs.
inline QStringList shotFiles(const std::map<QString, QSize>& shots) {
    QStringList files;
    for (const auto& [name, card] : shots)
        files << QString(name + u".png") << QString(name + u"-dark.png");
    return files;
}

} // namespace tivela::test
