// Draws the About box picture: a 400 x 300 baseline JPEG, a logo in the upper part over a
// background that shades from white at the top to light blue at the bottom.
//   about_picture <output.jpg>   (or .png for a lossless copy to look at)
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>

namespace {

constexpr int kWidth = 400;
constexpr int kHeight = 300;

void drawBackground(QPainter& painter) {
    QLinearGradient shade(0, 0, 0, kHeight);
    shade.setColorAt(0.0, QColor(255, 255, 255));
    shade.setColorAt(0.35, QColor(246, 250, 255));
    shade.setColorAt(1.0, QColor(173, 210, 240));
    painter.fillRect(0, 0, kWidth, kHeight, shade);
}

// A scanner's beam across a bar code, in a rounded badge at the top centre.
void drawLogo(QPainter& painter) {
    const QRectF badge(kWidth / 2.0 - 70, 10, 140, 64);
    QPainterPath outline;
    outline.addRoundedRect(badge, 12, 12);
    painter.fillPath(outline, QColor(0, 0, 128));

    const int widths[] = {3, 1, 2, 1, 3, 2, 1, 1, 3, 1, 2, 3, 1, 2, 1, 1, 3, 2, 1, 3, 1, 2, 1, 3};
    constexpr double kModule = 1.9;  // width of a bar or space of width 1
    constexpr double kGap = 1.4;     // extra space after each bar and space
    double total = 0;
    for (int width : widths)
        total += width * kModule + kGap;
    total -= kGap;
    double x = badge.center().x() - total / 2;
    bool bar = true;
    for (int width : widths) {
        const double w = width * kModule;
        if (bar)
            painter.fillRect(QRectF(x, badge.top() + 12, w, badge.height() - 24), Qt::white);
        x += w + kGap;
        bar = !bar;
    }
    painter.setPen(QPen(QColor(255, 64, 64), 2.5));
    painter.drawLine(QPointF(badge.left() + 8, badge.center().y()),
                     QPointF(badge.right() - 8, badge.center().y()));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: about_picture <output.jpg>\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        drawBackground(painter);
        drawLogo(painter);
    }

    // The format follows the file name, so a PNG copy can be drawn for viewing.
    QImageWriter writer(QString::fromLocal8Bit(argv[1]));
    writer.setQuality(90);
    writer.setProgressiveScanWrite(false);  // baseline
    writer.setOptimizedWrite(false);
    if (!writer.write(image)) {
        std::fprintf(stderr, "about_picture: %s\n", qPrintable(writer.errorString()));
        return 1;
    }
    return 0;
}
