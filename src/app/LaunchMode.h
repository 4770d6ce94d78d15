#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace tivela {

// How one run of the program is used, decided from its whole command line before anything
// else exists (Qt takes options such as -style out of the arguments it is given; the scan gets
// a copy first, so a value that looks like one of them stays a value).
struct LaunchMode {
    // In the order the options are tried; the first that applies wins.
    enum class Kind {
        renderScreenshots,
        renderFitShots,
        renderSiteShots,
        checkWindow,
        checkKeys,
        checkHelper,
        checkMigrationCleanup,
        selfTest,
        normal,
    };

    Kind kind = Kind::normal;
    // The mode's folder or report file, exactly as given.
    QString value;
    // A normal start's migration report file.
    std::optional<QString> migrationReport;

    // An option matches only an argument equal to it; an option that takes a value applies
    // only when an argument follows its first occurrence, and that argument is its value,
    // whatever it looks like.
    static LaunchMode scan(const QStringList& arguments);
    static QString option(Kind kind);
    // Check and render modes: everything but the normal start and the login-item clean-up.
    bool isCheckOrRender() const;

    friend bool operator==(const LaunchMode&, const LaunchMode&) = default;
};

} // namespace tivela
