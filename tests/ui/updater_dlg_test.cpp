// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>
#include <QImage>
#include <gtest/gtest.h>

#include "ui/qt/dialog_units.h"
#include "ui/qt/updater_dlg.h"
#include "ui/qt/updater_icon.h"

namespace {

// The window is given the loop to start; here the loop only counts.
class MainWindow : public ::testing::Test {
protected:
    struct {
        int loopsStarted = 0;
    } frontEnd;
    CUpdaterDlg window{0, [this] { ++frontEnd.loopsStarted; }};
};

int Grey(const QImage& image, int x, int y)
{
    const QColor c = image.pixelColor(x, y);
    return c.red() == c.green() && c.green() == c.blue() ? c.red() : -1;
}

TEST_F(MainWindow, GradientHas127BandsAndTheRestInTheLastColour)
{
    for (const int height : {100, 130, 381, 588}) {
        SCOPED_TRACE(height);
        window.setFixedSize(40, height);
        const QImage image = window.grab().toImage();
        ASSERT_EQ(image.height(), height);
        const int band = height / 127;
        for (int y = 0; y < height; ++y) {
            const int expected = y < 127 * band ? 255 - 2 * (y / band) : 3;
            ASSERT_EQ(Grey(image, 0, y), expected) << "row " << y;
            ASSERT_EQ(Grey(image, 39, y), expected) << "row " << y;
        }
    }
}

TEST_F(MainWindow, FirstPaintStartsTheLoopOnceAfterThePaintLaterPaintsDoNot)
{
    window.grab();
    EXPECT_EQ(frontEnd.loopsStarted, 0);   // not inside the paint handler
    QApplication::processEvents();
    EXPECT_EQ(frontEnd.loopsStarted, 1);
    window.grab();
    window.grab();
    QApplication::processEvents();
    EXPECT_EQ(frontEnd.loopsStarted, 1);
}

TEST_F(MainWindow, TitleIsSetAgainOnEveryPaint)
{
    window.setWindowTitle(QStringLiteral("something else"));
    window.grab();
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Zentrix OS Update"));
    window.setWindowTitle(QStringLiteral("again"));
    window.grab();
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Zentrix OS Update"));
}

TEST_F(MainWindow, MinimizedItDrawsTheIconCentredAndStillStartsTheLoop)
{
    window.setFixedSize(101, 80);
    window.setWindowState(Qt::WindowMinimized);
    const QImage image = window.grab().toImage();
    const QImage icon = DrawUpdaterIcon(32).toImage();
    const int x = (101 - 32 + 1) / 2;
    const int y = (80 - 32 + 1) / 2;
    // The icon's calculator body is opaque at its middle column.
    EXPECT_EQ(image.pixelColor(x + 16, y + 30), icon.pixelColor(16, 30));
    EXPECT_NE(Grey(image, 0, 79), 3);   // no gradient underneath
    QApplication::processEvents();
    EXPECT_EQ(frontEnd.loopsStarted, 1);
}

TEST_F(MainWindow, ClientAreaIs515By362DialogUnitsOfAn8PointFont)
{
    QFont font = window.font();
    font.setPointSize(8);
    EXPECT_EQ(window.size(), DialogUnitsToPixels(QSize(515, 362), BaseUnitsOf(font)));
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
}

TEST_F(MainWindow, HasNoMinimizeOrMaximizeButtonAndOurIcon)
{
    EXPECT_FALSE(window.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(window.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(window.windowFlags() & Qt::WindowCloseButtonHint);
    const QList<QSize> sizes = window.windowIcon().availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(32, 32)));
    EXPECT_TRUE(sizes.contains(QSize(16, 16)));
}

}  // namespace
