#include "app/views/UpdateWindow.h"
#include "app/views/Theme.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTest>

using namespace tivela;
using namespace Qt::StringLiterals;

namespace {

using Kind = UpdateNotice::Kind;

QStringList texts(const QWidget& window) {
    QStringList found;
    for (const QLabel* label : window.findChildren<QLabel*>())
        found << label->text();
    return found;
}

QPushButton* button(const QWidget& window, const QString& text) {
    for (QPushButton* button : window.findChildren<QPushButton*>()) {
        if (button->text() == text && button->isVisibleTo(&window))
            return button;
    }
    return nullptr;
}

} // namespace

TEST(UpdateWindowTest, TellsEachOutcomeAndOpensOnlyAFoundRelease) {
    QList<UpdateNotice> opened;
    UpdateWindow window([&](const UpdateNotice& notice) { opened << notice; });
    window.setPalette(Theme::palette(false));

    UpdateNotice found{Kind::found,
                       u"1.2 (12)"_s,
                       u"1.3 (13)"_s,
                       u"Tivela 1.3"_s,
                       QUrl(u"https://example.org/13"_s),
                       u"/home/j/Downloads/t-1.3.tgz"_s,
                       {}};
    window.setNotice(found);
    window.show();
    EXPECT_EQ(texts(window), (QStringList{u"A new version of Tivela is available"_s,
                                          u"Tivela 1.3 (13) is available; you have 1.2 (12). It "
                                          u"was saved to /home/j/Downloads/t-1.3.tgz."_s}));
    const QString shots = qEnvironmentVariable("TIVELA_TEST_SHOTS");
    if (!shots.isEmpty())
        window.grab().save(shots + u"/update-found.png"_s);
    ASSERT_NE(button(window, u"Download\u2026"_s), nullptr);
    QTest::mouseClick(button(window, u"Download\u2026"_s), Qt::LeftButton);
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened[0].download, found.download);
    EXPECT_FALSE(window.isVisible());

    window.setNotice({Kind::upToDate, u"1.2 (12)"_s, {}, {}, {}, {}, {}});
    window.show();
    EXPECT_EQ(texts(window), (QStringList{u"You\u2019re up to date"_s,
                                          u"Tivela 1.2 (12) is the newest version."_s}));
    EXPECT_EQ(button(window, u"Download\u2026"_s), nullptr);
    EXPECT_TRUE(button(window, u"Close"_s)->isDefault());
    QTest::mouseClick(button(window, u"Close"_s), Qt::LeftButton);
    EXPECT_FALSE(window.isVisible());

    window.setNotice({Kind::failed, u"1.2 (12)"_s, {}, {}, {}, {}, u"No answer."_s});
    EXPECT_EQ(texts(window),
              (QStringList{u"Tivela couldn\u2019t check for updates"_s, u"No answer."_s}));
    EXPECT_EQ(opened.size(), 1);
}
