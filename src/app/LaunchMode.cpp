#include "app/LaunchMode.h"

using namespace Qt::StringLiterals;

namespace tivela {
namespace {

bool takesValue(LaunchMode::Kind kind) {
    return kind != LaunchMode::Kind::checkHelper && kind != LaunchMode::Kind::checkMigrationCleanup;
}

// The argument after the option's first occurrence; nothing when the option is absent or last.
std::optional<QString> valueOf(const QStringList& arguments, const QString& option) {
    const qsizetype at = arguments.indexOf(option);
    if (at < 0 || at + 1 >= arguments.size())
        return std::nullopt;
    return arguments[at + 1];
}

} // namespace

QString LaunchMode::option(Kind kind) {
    switch (kind) {
    case Kind::renderScreenshots:
        return u"--render-screenshots"_s;
    case Kind::renderFitShots:
        return u"--render-fit-shots"_s;
    case Kind::renderSiteShots:
        return u"--render-site-shots"_s;
    case Kind::checkWindow:
        return u"--check-window"_s;
    case Kind::checkKeys:
        return u"--check-keys"_s;
    case Kind::checkHelper:
        return u"--check-helper"_s;
    case Kind::checkMigrationCleanup:
        return u"--check-migration-cleanup"_s;
    case Kind::selfTest:
        return u"--self-test"_s;
    case Kind::normal:
        return u"--check-migration-report"_s;
    }
    return {};
}

LaunchMode LaunchMode::scan(const QStringList& arguments) {
    for (int i = 0; i < int(Kind::normal); ++i) {
        const Kind kind = Kind(i);
        if (!takesValue(kind)) {
            if (arguments.contains(option(kind)))
                return LaunchMode{kind, {}, std::nullopt};
        } else if (const auto value = valueOf(arguments, option(kind))) {
            return LaunchMode{kind, *value, std::nullopt};
        }
    }
    return LaunchMode{Kind::normal, {}, valueOf(arguments, option(Kind::normal))};
}

bool LaunchMode::isCheckOrRender() const {
    return kind != Kind::normal && kind != Kind::checkMigrationCleanup;
}

} // namespace tivela
