// SPDX-License-Identifier: GPL-3.0-or-later
// zentrix-render-icon SIZE FILE: writes the program's icon, drawn by the
// same code as the window icon, as a SIZE x SIZE PNG. Runs at build time
// without a display.
#include <QGuiApplication>
#include <QPixmap>
#include <QString>
#include <cstdio>
#include <cstdlib>

#include "ui/qt/updater_icon.h"

namespace {

constexpr int kMaxSize = 1024;

int ParseSize(const char* text)
{
    char* end = nullptr;
    const long size = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || size < 1 || size > kMaxSize) {
        return 0;
    }
    return static_cast<int>(size);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: zentrix-render-icon SIZE FILE\n");
        return 2;
    }
    const int size = ParseSize(argv[1]);
    if (size == 0) {
        std::fprintf(stderr, "zentrix-render-icon: bad size '%s' (1 to %d)\n", argv[1], kMaxSize);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    QGuiApplication application(qtArgc, argv);
    const QPixmap icon = DrawUpdaterIcon(size);
    if (!icon.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "zentrix-render-icon: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
