#include "app/views/Theme.h"
#include "app/views/FilledButton.h"
#include "app/views/IconButton.h"
#include "app/views/LanguageMenu.h"
#include "app/views/RelativeDate.h"
#include "app/views/Symbols.h"
#include "app/views/ViewStyle.h"
#include "platform/desktop/ColorScheme.h"
#include "platform/x11/PrivateDesktop.h"
#include "support/FakeDesktop.h"
#include "support/ViewRig.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDBusConnection>
#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyle>
#include <QTest>
#include <QTextDocument>

using namespace tivela;
using namespace Qt::StringLiterals;

namespace {

// A widget drawn on its own into an image at a device pixel ratio.
QImage render(QWidget& widget, double ratio = 1) {
    widget.ensurePolished();
    widget.resize(widget.sizeHint().expandedTo(widget.size()));
    QImage image((QSizeF(widget.size()) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    widget.render(&image, {}, {}, QWidget::DrawChildren);
    return image;
}

// How many pixels are drawn nearly opaque, and how many of those are not of the colour (up to
// rounding).
std::pair<int, int> inks(const QImage& image, const QColor& color) {
    int drawn = 0;
    int other = 0;
    const QImage plain = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < plain.height(); ++y)
        for (int x = 0; x < plain.width(); ++x) {
            const QRgb pixel = plain.pixel(x, y);
            if (qAlpha(pixel) < 200)
                continue;
            ++drawn;
            if (std::abs(qRed(pixel) - color.red()) > 2 ||
                std::abs(qGreen(pixel) - color.green()) > 2 ||
                std::abs(qBlue(pixel) - color.blue()) > 2)
                ++other;
        }
    return {drawn, other};
}

} // namespace

TEST(ThemeTest, ColoursFollowThePaletteThatPaints) {
    for (const bool dark : {false, true}) {
        const QPalette palette = Theme::palette(dark);
        EXPECT_EQ(Theme::isDark(palette), dark);
        EXPECT_EQ(Theme::accent(palette).rgb(), dark ? 0xFF8DB1FF : 0xFF2255D4);
        EXPECT_EQ(Theme::accentFill(palette).rgb(), dark ? 0xFF3563E6 : 0xFF2255D4);
        EXPECT_EQ(Theme::accentFillStrong(palette).rgb(), dark ? 0xFF2B57D6 : 0xFF1A45B0);
        EXPECT_EQ(Theme::secondary(palette).rgb(), dark ? 0xFFB9A6FF : 0xFF6640D2);
        // The soft accent is the accent, fainter in the light than in the dark.
        const QColor soft = Theme::accentSoft(palette);
        EXPECT_EQ(soft.rgb(), Theme::accent(palette).rgb());
        EXPECT_NEAR(soft.alphaF(), dark ? 0.12 : 0.10, 0.002);
        EXPECT_EQ(Theme::accent(palette).alpha(), 255);
    }
    // A palette of the platform's own, not ours, counts by its lightness too.
    QPalette platform(QColor(0x30, 0x30, 0x30), QColor(0x20, 0x20, 0x20));
    EXPECT_EQ(Theme::accent(platform).rgb(), 0xFF8DB1FF);
    EXPECT_EQ(Theme::screenshotGround(true).first(), QColor(22, 28, 54));
    EXPECT_EQ(Theme::screenshotGround(false).last(), QColor(241, 236, 252));
}

TEST(ThemeTest, IconButtonsPaintInTheirToneAndTakeClicksAllOverTheSquare) {
    for (const bool dark : {false, true}) {
        IconButton button(u"star.fill"_s, u"Save to Phrasebook"_s, false);
        button.setPalette(Theme::palette(dark));
        const QColor secondary = Theme::secondaryText(button.palette());
        EXPECT_EQ(button.symbolColor(), secondary);
        EXPECT_NE(button.symbolColor(), Theme::secondary(button.palette()));
        // The drawing is the symbol tinted: every drawn pixel is of the one colour.
        const QImage inactive = render(button, 2);
        EXPECT_EQ(inactive.size(), QSize(52, 52));
        QImage plain = inactive.convertToFormat(QImage::Format_ARGB32);
        const QRgb centre = plain.pixel(26, 26);
        EXPECT_NEAR(qAlpha(centre), secondary.alpha(), 3);
        button.setActive(true);
        const auto [drawn, other] = inks(render(button, 2), Theme::accent(button.palette()));
        EXPECT_GT(drawn, 40);
        EXPECT_EQ(other, 0);
        EXPECT_EQ(button.toolTip(), u"Save to Phrasebook"_s);
    }

    IconButton button(u"speaker.wave.2"_s, u"Listen in <b>English</b>"_s, false);
    button.show();
    int clicks = 0;
    QObject::connect(&button, &QAbstractButton::clicked, [&clicks] { ++clicks; });
    for (const QPoint corner : {QPoint(0, 0), QPoint(25, 0), QPoint(0, 25), QPoint(25, 25)})
        QTest::mouseClick(&button, Qt::LeftButton, {}, corner);
    EXPECT_EQ(clicks, 4);
    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(26, 13));
    EXPECT_EQ(clicks, 4);
    // Help is plain text: a tooltip shows its markup and its entities as written.
    for (const QString& help :
         {u"Listen in <b>English</b>"_s, u"Dogs &amp; cats"_s, u"a &lt; b"_s, u"Fish & chips"_s}) {
        button.setHelp(help);
        QTextDocument shown;
        if (Qt::mightBeRichText(button.toolTip()))
            shown.setHtml(button.toolTip());
        else
            shown.setPlainText(button.toolTip());
        EXPECT_EQ(shown.toPlainText(), help);
        EXPECT_EQ(button.accessibleName(), help);
    }
}

TEST(ThemeTest, FilledButtonsFillExactlyWithTheAccentAtTwiceTheResolution) {
    for (const bool dark : {false, true}) {
        FilledButton button(u"Paste"_s, u"doc.on.clipboard"_s);
        button.setPalette(Theme::palette(dark));
        const QImage image = render(button, 2).convertToFormat(QImage::Format_ARGB32);
        const QRgb fill = Theme::accentFill(button.palette()).rgb();
        // Inside the rounded corners, beside the content: the fill and nothing else.
        for (const QPoint at : {QPoint(8, image.height() / 2), QPoint(image.width() - 9, 10),
                                QPoint(image.width() / 2, 4)})
            EXPECT_EQ(image.pixel(at), fill) << dark << at.x() << "," << at.y();
        button.setDown(true);
        EXPECT_EQ(render(button, 2).convertToFormat(QImage::Format_ARGB32).pixel(8, 10),
                  Theme::accentFillStrong(button.palette()).rgb());
        button.setDown(false);
        button.setEnabled(false);
        const QRgb faded = render(button, 2).convertToFormat(QImage::Format_ARGB32).pixel(8, 10);
        EXPECT_NEAR(qAlpha(faded), 0.45 * 255, 2);
    }
}

// Scroll bars are thin and have no arrow buttons, and their handle stands out from the track
// in both palettes; a menu of languages marks the chosen one alone, with a check and no box.
TEST(ThemeTest, ScrollBarsAreThinWithAVisibleHandleAndMenusMarkOnlyTheChoice) {
    ViewStyle style;
    for (const bool dark : {false, true}) {
        SCOPED_TRACE(dark ? "dark" : "light");
        QScrollBar bar(Qt::Vertical);
        bar.setStyle(&style);
        bar.setPalette(Theme::palette(dark));
        bar.setRange(0, 100);
        bar.setPageStep(20);
        EXPECT_LE(bar.sizeHint().width(), 10);
        bar.resize(bar.sizeHint().width(), 200);
        const QImage image = render(bar).convertToFormat(QImage::Format_ARGB32);
        QImage ground(image.size(), QImage::Format_ARGB32);
        ground.fill(Theme::palette(dark).color(QPalette::Window));
        QPainter painter(&ground);
        painter.drawImage(0, 0, image);
        painter.end();
        // At the very top is the handle (no arrow above it), at the bottom the bare track.
        const int x = ground.width() / 2;
        EXPECT_GT(std::abs(qGray(ground.pixel(x, 6)) - qGray(ground.pixel(x, 190))), 40);
        EXPECT_EQ(ground.pixel(x, 6), ground.pixel(x, 30));
    }

    LanguageMenu languages(false);
    languages.setLanguages({u"en"_s, u"es"_s, u"de"_s});
    languages.setSelected(u"es"_s);
    QMenu* menu = languages.menu();
    // Choosing the checked language again reports it and keeps its mark.
    QSignalSpy chosen(&languages, &LanguageMenu::chosen);
    menu->actions().at(1)->trigger();
    ASSERT_EQ(chosen.size(), 1);
    EXPECT_EQ(chosen.first().first().toString(), u"es"_s);
    menu->setPalette(Theme::palette(false));
    menu->ensurePolished();
    menu->adjustSize();
    QImage image(menu->size(), QImage::Format_ARGB32);
    image.fill(Qt::white);
    menu->render(&image);
    QStringList marked;
    for (QAction* action : menu->actions()) {
        const QRect row = menu->actionGeometry(action);
        const QRgb ground = image.pixel(row.right() - 2, row.center().y());
        int ink = 0;
        for (int y = row.top() + 2; y < row.bottom() - 1; ++y)
            for (int x = row.left() + 3; x < row.left() + row.height(); ++x)
                ink += std::abs(qGray(image.pixel(x, y)) - qGray(ground)) > 60;
        if (ink > 0)
            marked << action->text();
    }
    EXPECT_EQ(marked, QStringList{u"Spanish"_s});
}

// Letters typed into a list of languages lead to the first language they begin, accents and
// case aside; one letter again and again goes through the languages of that letter.
TEST(ThemeTest, TypingLettersLeadsToALanguage) {
    const QStringList names{u"English"_s,  u"Spanish"_s, u"German"_s,
                            u"Galician"_s, u"Greek"_s,   u"\u00C9w\u00E9"_s};
    struct Case {
        const char* typed;
        int current;
        int found;
    };
    for (const Case& c :
         {Case{"g", 0, 2}, Case{"g", 3, 2}, Case{"gr", 0, 4}, Case{"gg", 2, 3}, Case{"ggg", 4, 2},
          Case{"E", -1, 0}, Case{"ew", 0, 5}, Case{"x", 0, -1}, Case{"", 0, -1}}) {
        SCOPED_TRACE(c.typed);
        EXPECT_EQ(LanguageMenu::typeSelect(names, c.current, QString::fromLatin1(c.typed)),
                  c.found);
    }

    // In the open menu.
    LanguageMenu languages(true);
    languages.setLanguages({u"en"_s, u"es"_s, u"de"_s, u"gl"_s});
    languages.setSelected(u"auto"_s);
    QMenu* menu = languages.menu();
    menu->popup(QPoint(0, 0));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
    QTest::keyClick(menu, Qt::Key_G);
    ASSERT_TRUE(menu->activeAction());
    EXPECT_EQ(menu->activeAction()->text(), u"German"_s);
    QTest::keyClick(menu, Qt::Key_G);
    EXPECT_EQ(menu->activeAction()->text(), u"Galician"_s);
    menu->hide();
}

TEST(ThemeTest, EverySymbolTheViewsNameHasADrawing) {
    for (const char* name :
         {"character.bubble", "clock.arrow.circlepath", "star", "star.fill",
          "rectangle.on.rectangle.angled", "ellipsis.circle", "speaker.wave.2", "doc.on.doc",
          "doc.on.clipboard", "xmark.circle.fill", "arrow.left.arrow.right", "checkmark",
          "chevron.down", "magnifyingglass", "globe", "ellipsis", "clock", "checkmark.seal"}) {
        EXPECT_TRUE(Symbols::exists(QString::fromLatin1(name))) << name;
        EXPECT_FALSE(Symbols::pixmap(QString::fromLatin1(name), 16, Qt::red, 2).isNull());
    }
    EXPECT_FALSE(Symbols::exists(u"no.such.symbol"_s));
    EXPECT_TRUE(Symbols::pixmap(u"no.such.symbol"_s, 16, Qt::red, 1).isNull());
}

TEST(ThemeTest, RelativeDatesAreShortEnglishInAnyLanguage) {
    qputenv("LANG", "de_DE.UTF-8");
    qputenv("LC_ALL", "de_DE.UTF-8");
    QLocale::setDefault(QLocale(QLocale::German));
    const QDateTime now(QDate(2024, 3, 15), QTime(12, 0), Qt::UTC);
    struct Case {
        QDateTime date;
        QString text;
    };
    for (const Case& c : {
             Case{now, u"in 0 sec."_s},
             Case{now.addSecs(-42), u"42 sec. ago"_s},
             Case{now.addSecs(-2 * 3600 - 59 * 60), u"2 hr. ago"_s},
             Case{now.addDays(-1), u"1 day ago"_s},
             Case{now.addDays(-13), u"1 wk. ago"_s},
             Case{now.addMonths(-3).addDays(-2), u"3 mo. ago"_s},
             Case{now.addYears(-2).addMonths(-11), u"2 yr. ago"_s},
             Case{now.addSecs(5 * 60), u"in 5 min."_s},
             Case{now.addDays(3), u"in 3 days"_s},
         })
        EXPECT_EQ(RelativeDate::relative(c.date, now), c.text) << c.date.toString().toStdString();
    EXPECT_EQ(RelativeDate::relative(QDateTime(), now), QString());
    QLocale::setDefault(QLocale::c());
}

// The portal's preference decides, as it changes; without one, the palette the platform gave.
TEST(ThemeTest, TheAppearanceFollowsTheDesktopsPreference) {
    PrivateDesktop bus;
    ASSERT_TRUE(bus.start({.display = false, .tray = false, .bus = true}))
        << bus.error().toStdString();
    bus.enter();
    const QPalette platform = QApplication::palette();
    const bool platformDark = Theme::isDark(platform);
    {
        test::FakeDesktop desktop({u"portal=1"_s});
        ColorScheme scheme;
        Appearance appearance(scheme);
        ASSERT_TRUE(test::waitUntil([&] { return scheme.preference().has_value(); }));
        EXPECT_EQ(scheme.preference(), ColorScheme::Preference::dark);
        EXPECT_TRUE(appearance.isDark());
        EXPECT_TRUE(Theme::isDark(QApplication::palette()));
        EXPECT_TRUE(qobject_cast<ViewStyle*>(QApplication::style()));

        QSignalSpy changed(&appearance, &Appearance::changed);
        desktop.setScheme(2);
        ASSERT_TRUE(test::waitUntil([&] { return !changed.isEmpty(); }));
        EXPECT_FALSE(Theme::isDark(QApplication::palette()));
        desktop.setScheme(0);
        ASSERT_TRUE(
            test::waitUntil([&] { return scheme.preference() == ColorScheme::Preference::none; }));
        EXPECT_EQ(appearance.isDark(), platformDark);
    }
    QApplication::setPalette(platform);
    // A portal that never answers is given up after the time allowed; no portal at once.
    for (const QStringList& services : {QStringList{u"portal-silent"_s}, QStringList{}}) {
        test::FakeDesktop desktop(services);
        ColorScheme scheme(QDBusConnection::sessionBus(), 300);
        Appearance appearance(scheme);
        EXPECT_FALSE(scheme.preference().has_value());
        ASSERT_TRUE(test::waitUntil([&] { return scheme.preference().has_value(); }, 5000));
        EXPECT_EQ(scheme.preference(), ColorScheme::Preference::none);
        EXPECT_EQ(appearance.isDark(), platformDark);
    }
    // A dark platform palette stays dark without a preference.
    QApplication::setPalette(Theme::palette(true));
    {
        ColorScheme scheme(QDBusConnection(u"nowhere"_s));
        EXPECT_EQ(scheme.preference(), ColorScheme::Preference::none);
        Appearance appearance(scheme);
        EXPECT_TRUE(appearance.isDark());
    }
    QApplication::setPalette(platform);
}
