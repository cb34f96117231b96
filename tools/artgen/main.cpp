// Renders the page artwork table to PNG files at twice their size, plus the
// resource list that embeds them. Run at build time: artgen <output folder>.

#include "ui/artwork.h"

#include <QDir>
#include <QFile>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QTextStream>

#include "tools/usage.h"

#include <cstdio>

namespace {
// Every text reaches 4.5:1 against what lies under it (WCAG's small-text level).
const QColor kInk{QRgb(kArtInk)};
const QColor kAccent{QRgb(kArtAccent)};
const QColor kAccentDark{QRgb(kArtAccentDark)};
const QColor kMuted{QRgb(kArtMuted)};
const QColor kOk{QRgb(kArtOk)};
const QColor kError{QRgb(kArtError)};
const char* kStepNames[] = {"CODE", "FOLDER", "INSTALL", "FINISH"};

// Draws words in the box at the largest size up to `px` that fits; messages
// may wrap onto a second line, buttons and captions keep to one.
void DrawFitted(QPainter& p, const QRectF& box, const QString& words, float px, bool bold, bool centred, QColor color,
                bool wrap = false)
{
    int align = (centred ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignVCenter | (wrap ? Qt::TextWordWrap : 0);
    for (float size = px; size >= 3; size -= 0.5f) {
        QFont f("DejaVu Sans");
        f.setBold(bold);
        f.setHintingPreference(QFont::PreferNoHinting);
        f.setPointSizeF(size * 72.0 / p.device()->logicalDpiY());
        QFontMetricsF fm(f);
        QRectF need = fm.boundingRect(box, align, words);
        if (need.width() <= box.width() + 0.5 && need.height() <= box.height() + 0.5) {
            p.setFont(f);
            p.setPen(color);
            p.drawText(box, align, words);
            return;
        }
    }
    p.setPen(color);
    p.drawText(box, align, words);
}

// The mark: a falcon's wing in a rounded square, drawn into `box`.
void DrawMark(QPainter& p, const QRectF& box)
{
    p.save();
    p.translate(box.topLeft());
    p.scale(box.width() / 44, box.height() / 44);
    QPainterPath square;
    square.addRoundedRect(QRectF(0, 0, 44, 44), 10, 10);
    p.fillPath(square, kAccent);
    QPainterPath wing;
    wing.moveTo(8, 33);
    wing.cubicTo(16, 11, 30, 7, 38, 7);
    wing.cubicTo(32, 15, 30, 21, 26, 25);
    wing.cubicTo(22, 23, 18, 25, 16, 29);
    wing.closeSubpath();
    p.fillPath(wing, Qt::white);
    p.setBrush(Qt::white);
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(32, 13), 2.2, 2.2);
    p.restore();
}

void DrawLogo(QPainter& p)
{
    // header band
    QLinearGradient band(0, 0, 600, 0);
    band.setColorAt(0, QColor("#1b2733"));
    band.setColorAt(1, QColor("#2a3b4d"));
    p.fillRect(QRectF(0, 0, 600, 78), band);
    DrawMark(p, QRectF(40, 17, 44, 44));
    DrawFitted(p, QRectF(96, 18, 260, 28), "KESTROW", 26, true, false, Qt::white);
    DrawFitted(p, QRectF(97, 44, 260, 16), "SAMPLE LIBRARY INSTALLER", 11, false, false, QColor("#a9bfd4"));
}

void DrawSteps(QPainter& p, int current)
{
    const double y = 112, r = 12;
    p.setPen(QPen(QColor("#cfd6dd"), 2));
    p.drawLine(QPointF(150, y), QPointF(450, y));
    p.setPen(QPen(kAccent, 2));
    p.drawLine(QPointF(150, y), QPointF(150 + 100 * (current - 1), y));
    for (int i = 1; i <= 4; ++i) {
        QPointF c(150 + 100 * (i - 1), y);
        bool done = i < current, now = i == current;
        p.setPen(QPen(done || now ? kAccent : QColor("#cfd6dd"), 2));
        p.setBrush(done ? kAccent : now ? kAccentDark : QColor(Qt::white));
        p.drawEllipse(c, r, r);
        QRectF box(c.x() - r, c.y() - r, 2 * r, 2 * r);
        if (done) {
            QPainterPath tick;
            tick.moveTo(c.x() - 5, c.y());
            tick.lineTo(c.x() - 1.5, c.y() + 4);
            tick.lineTo(c.x() + 5.5, c.y() - 4);
            p.setBrush(Qt::NoBrush);
            p.setPen(QPen(Qt::white, 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            p.drawPath(tick);
        } else {
            DrawFitted(p, box, QString::number(i), 12, true, true, now ? QColor(Qt::white) : kMuted);
        }
        DrawFitted(p, QRectF(c.x() - 40, y + 15, 80, 14), kStepNames[i - 1], 9, now, true, now ? kInk : kMuted);
    }
}

void DrawBackground(QPainter& p, const ArtPiece& a)
{
    QLinearGradient g(0, 0, 0, a.height);
    g.setColorAt(0, QColor("#f7f9fb"));
    g.setColorAt(1, QColor("#e9eef3"));
    p.fillRect(QRectF(0, 0, a.width, a.height), g);
    DrawLogo(p);
    DrawSteps(p, a.step);
    p.setPen(QPen(QColor("#d5dce3"), 1));
    p.drawLine(QPointF(40, 372), QPointF(560, 372));
    for (const ArtText& t : a.texts)
        if (t.words)
            DrawFitted(p, QRectF(t.x, t.y, t.width, t.height), t.words, t.pixelSize, t.bold, t.centred, kInk);
}

void DrawButton(QPainter& p, const ArtPiece& a, bool active)
{
    QRectF r(0.5, 0.5, a.width - 1, a.height - 1);
    QPainterPath shape;
    shape.addRoundedRect(r, 5, 5);
    QLinearGradient g(0, 0, 0, a.height);
    g.setColorAt(0, active ? QColor("#2a6fb0") : QColor("#d3d9df"));
    g.setColorAt(1, active ? kAccentDark : QColor("#c2c9d0"));
    p.fillPath(shape, g);
    const ArtText& t = a.texts[0];
    DrawFitted(p, r.adjusted(4, 2, -4, -2), t.words, t.pixelSize, true, true, active ? QColor(Qt::white) : QColor("#3f4a55"));
}

void DrawMessage(QPainter& p, const ArtPiece& a, bool ok)
{
    const double d = qMin(16.0, a.height - 3.0);
    QPointF c(d / 2 + 1, a.height / 2.0);
    p.setPen(Qt::NoPen);
    p.setBrush(ok ? kOk : kError);
    p.drawEllipse(c, d / 2, d / 2);
    p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    double k = d / 16;
    if (ok) {
        QPainterPath tick;
        tick.moveTo(c.x() - 4 * k, c.y());
        tick.lineTo(c.x() - 1 * k, c.y() + 3 * k);
        tick.lineTo(c.x() + 4.5 * k, c.y() - 3.5 * k);
        p.drawPath(tick);
    } else {
        p.drawLine(QPointF(c.x() - 3.5 * k, c.y() - 3.5 * k), QPointF(c.x() + 3.5 * k, c.y() + 3.5 * k));
        p.drawLine(QPointF(c.x() + 3.5 * k, c.y() - 3.5 * k), QPointF(c.x() - 3.5 * k, c.y() + 3.5 * k));
    }
    const ArtText& t = a.texts[0];
    DrawFitted(p, QRectF(d + 5, 0, a.width - d - 5, a.height), t.words, t.pixelSize, true, false, ok ? kOk : kError,
               true);
}

QImage Render(const ArtPiece& a)
{
    QImage image(a.width * 2, a.height * 2, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2.0);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
    const ArtText& t = a.texts[0];
    switch (a.kind) {
    case ArtKind::Background: DrawBackground(p, a); break;
    case ArtKind::Button: DrawButton(p, a, true); break;
    case ArtKind::ButtonInactive: DrawButton(p, a, false); break;
    case ArtKind::MessageOk: DrawMessage(p, a, true); break;
    case ArtKind::MessageError: DrawMessage(p, a, false); break;
    case ArtKind::Caption:
        DrawFitted(p, QRectF(0, 0, a.width, a.height), t.words, t.pixelSize, true, false, kInk);
        break;
    case ArtKind::Notice:
        DrawFitted(p, QRectF(0, 0, a.width, a.height), t.words, t.pixelSize, true, true, kError);
        break;
    case ArtKind::Icon: DrawMark(p, QRectF(0, 0, a.width, a.height)); break;
    }
    p.end();
    return image;
}
}  // namespace

int main(int argc, char** argv)
{
    const char* usage = "usage: artgen FOLDER\nRenders the page artwork as PNG files and art.qrc into FOLDER.\n";
    if (HelpAsked(argc, argv))
        return Usage(usage, true);
    if (argc != 2 || argv[1][0] == '-')
        return Usage(usage, false);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QDir out(QString::fromLocal8Bit(argv[1]));
    out.mkpath(".");
    QFile qrc(out.filePath("art.qrc"));
    if (!qrc.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 1;
    QTextStream list(&qrc);
    list << "<RCC>\n  <qresource prefix=\"/art\">\n";
    for (std::size_t i = 0; i < kArtworkCount; ++i) {
        const ArtPiece& a = kArtwork[i];
        QString file = QString::fromStdString(ArtFileName(a));
        if (!Render(a).save(out.filePath(file), "PNG")) {
            std::fprintf(stderr, "artgen: cannot write %s\n", qPrintable(file));
            return 1;
        }
        list << "    <file>" << file << "</file>\n";
    }
    list << "  </qresource>\n</RCC>\n";
    return 0;
}
