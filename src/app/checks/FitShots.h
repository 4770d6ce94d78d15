#pragma once

#include "app/checks/ScreenshotRenderer.h"

#include <QList>
#include <QString>

#include <QCoro/QCoroTask>

namespace tivela {

// The --render-fit-shots mode: the translate tab with samples of very different lengths and
// scripts, light and dark, so the fitted font sizes can be compared side by side.
namespace FitShots {

struct Sample {
    QString name;
    QString text;
};

// In the order they are taken.
const QList<Sample>& samples();
void run(const QString& folder);
QCoro::Task<> render(ScreenshotRenderer::Session& session);

} // namespace FitShots

} // namespace tivela
