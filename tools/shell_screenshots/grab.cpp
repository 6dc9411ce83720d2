// Saves the whole screen of $DISPLAY as a PNG: pelmora_grab out.png
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdio>

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: pelmora_grab out.png\n");
        return 2;
    }
    return QGuiApplication::primaryScreen()->grabWindow(0).save(argv[1]) ? 0 : 1;
}
