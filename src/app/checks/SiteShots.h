#pragma once

#include "app/checks/ScreenshotRenderer.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <QCoro/QCoroTask>

namespace tivela {

// The --render-site-shots mode: a smaller set of pictures for the web site, as a
// Spanish-speaking person sees the application.
namespace SiteShots {

const QList<ScreenshotRenderer::Seed>& seeds();
// Every text the set shows.
QStringList samples();
void run(const QString& folder);
QCoro::Task<> render(ScreenshotRenderer::Session& session);

} // namespace SiteShots

} // namespace tivela
