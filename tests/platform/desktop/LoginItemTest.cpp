#include "platform/desktop/LoginItem.h"
#include "platform/desktop/DesktopEntry.h"
#include "support/TestWorld.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace tivela;
using namespace tivela::test;
using namespace Qt::StringLiterals;
using Status = LoginItem::Status;

namespace {

// A program file in a folder whose name needs quoting.
QString program(const QString& folder) {
    const QString path = World::root() + u'/' + folder + u"/bin/tivela"_s;
    QDir().mkpath(World::root() + u'/' + folder + u"/bin"_s);
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return path;
}

void edit(const QString& path, const QString& from, const QString& to) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll()).replace(from, to);
    file.close();
    ASSERT_TRUE(DesktopEntry::write(path, text.toUtf8()));
}

} // namespace

TEST(LoginItemTest, RoundTripAndEveryWayAnEntryIsOff) {
    const QString entry = World::root() + u"/config/autostart/dev.quorvanta.Tivela.dev.desktop"_s;
    LoginItem item(entry, program(u"My Apps/100% Tivela"_s));
    EXPECT_EQ(item.status(), Status::notRegistered);
    EXPECT_FALSE(item.unregister());
    ASSERT_TRUE(item.registerItem());
    EXPECT_EQ(item.status(), Status::enabled);
    ASSERT_TRUE(item.registerItem());
    EXPECT_EQ(item.status(), Status::enabled);

    edit(entry, u"X-GNOME-Autostart-enabled=true"_s, u"X-GNOME-Autostart-enabled=false"_s);
    EXPECT_EQ(item.status(), Status::notRegistered);
    ASSERT_TRUE(item.registerItem());
    edit(entry, u"Terminal=false"_s, u"Hidden=true"_s);
    EXPECT_EQ(item.status(), Status::notRegistered);
    ASSERT_TRUE(item.registerItem());

    // Another copy's entry under our name is not ours.
    LoginItem other(entry, program(u"other"_s));
    EXPECT_EQ(other.status(), Status::notRegistered);
    EXPECT_TRUE(item.unregister());
    EXPECT_EQ(item.status(), Status::notRegistered);
}

TEST(LoginItemTest, NothingToStartIsNotFound) {
    LoginItem missing(World::root() + u"/config/autostart/x.desktop"_s,
                      World::root() + u"/nowhere/bin/tivela"_s);
    EXPECT_EQ(missing.status(), Status::notFound);
    EXPECT_FALSE(missing.registerItem());
    EXPECT_FALSE(QFile::exists(World::root() + u"/config/autostart/x.desktop"_s));
    EXPECT_EQ(LoginItem(u"x"_s, QString()).status(), Status::notFound);
}
