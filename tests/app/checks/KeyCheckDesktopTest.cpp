// The keyboard check as a person starts it on their desktop: it runs on a display of its own,
// and the person's clipboard, files and processes are as they were afterwards.
#include "core/Paths.h"
#include "core/Store.h"
#include "platform/x11/PrivateDesktop.h"
#include "platform/x11/XConnection.h"
#include "platform/x11/XSelection.h"
#include "support/CheckBundle.h"
#include "support/Processes.h"
#include "support/TestWorld.h"
#include "support/x11/FakeXApp.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QJsonObject>

#include <gtest/gtest.h>

using namespace tivela;
using namespace tivela::test;
using namespace Qt::StringLiterals;

TEST(KeyCheckDesktopTest, EveryRecordPassesAndThePersonsClipboardAndFilesStay) {
    const CheckBundle bundle(World::root() + u"/Tivela"_s);
    ASSERT_TRUE(bundle.isValid());
    FakeXApp person;
    person.own("CLIPBOARD", {{"UTF8_STRING", "the person's text"}});
    SharedSettings::setPair(LanguagePair{u"ru"_s, u"en"_s});
    {
        Store store(Paths::database());
        store.addPhrase(Item{u"1"_s, u"a"_s, u"b"_s, u"en"_s, u"es"_s});
    }
    const auto before = World::personFiles(Paths::lexicon());
    const QString temporary = World::root() + u"/tmp-keys"_s;
    QDir().mkpath(temporary);

    // Started on this display as on the person's: not marked as a private one.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QString::fromLatin1(PrivateDesktop::markerVariable));
    environment.remove(u"QT_QPA_PLATFORM"_s);
    environment.insert(u"TMPDIR"_s, temporary);
    ProcessResult run;
    const QJsonObject report = bundle.check(u"--check-keys"_s, environment, &run, 170000);
    ASSERT_TRUE(run.finished) << run.err.toStdString();
    EXPECT_EQ(CheckBundle::failures(report), QJsonObject());
    EXPECT_EQ(report.value(u"total"_s), 39);
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();

    XConnection probe;
    const xcb_atom_t clipboard = probe.atom("CLIPBOARD");
    EXPECT_EQ(XSelection::owner(probe, clipboard), xcb_window_t(person.window()));
    EXPECT_EQ(XSelection::read(probe, clipboard, probe.atom("UTF8_STRING"), QDeadlineTimer(3000)),
              QByteArray("the person's text"));
    EXPECT_EQ(World::personFiles(Paths::lexicon()), before);
    EXPECT_EQ(QDir(temporary).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    EXPECT_EQ(runningFrom(bundle.root()), QStringList());
}
