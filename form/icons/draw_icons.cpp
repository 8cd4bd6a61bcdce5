// Draws the form's 34x34 key icons and their disabled twins as PNG files into the
// folder given on the command line (run at build time).
#include <QColor>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QString>
#include <cstdio>
#include <functional>

namespace {

constexpr int kSize = 34;
const QColor kKeyFace(0x80, 0x80, 0x80);
const QColor kKeyFaceDisabled(0xCC, 0xCC, 0xCC);
const QColor kAccent(204, 91, 44);
const QColor kLineDisabled(0xCC, 0xCC, 0xCC);

using Drawing = std::function<void(QPainter&)>;

bool Save(const QString& folder, const QString& name, const QColor& background, const QColor& line,
          const Drawing& draw)
{
    QImage image(kSize, kSize, QImage::Format_ARGB32);
    image.fill(background);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(line, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    draw(painter);
    painter.end();
    return image.save(QDir(folder).filePath(name + QStringLiteral(".png")), "PNG");
}

void ArrowLeft(QPainter& p, double cx, double cy, double half)
{
    p.drawLine(QPointF(cx + half, cy), QPointF(cx - half, cy));
    p.drawLine(QPointF(cx - half, cy), QPointF(cx - half + 7, cy - 7));
    p.drawLine(QPointF(cx - half, cy), QPointF(cx - half + 7, cy + 7));
}

void ArrowRight(QPainter& p, double cx, double cy, double half)
{
    p.drawLine(QPointF(cx - half, cy), QPointF(cx + half, cy));
    p.drawLine(QPointF(cx + half, cy), QPointF(cx + half - 7, cy - 7));
    p.drawLine(QPointF(cx + half, cy), QPointF(cx + half - 7, cy + 7));
}

void Chevron(QPainter& p, double cy, bool up)
{
    const double d = up ? -5 : 5;
    p.drawPolyline(QPolygonF{QPointF(10, cy - d), QPointF(17, cy + d), QPointF(24, cy - d)});
}

void Circle(QPainter& p)
{
    p.drawEllipse(QPointF(17, 17), 14.5, 14.5);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "cannot create the folder %s\n", argv[1]);
        return 1;
    }

    // Keyboard icons: white lines on the grey key face.
    const struct {
        const char* name;
        Drawing draw;
    } keys[] = {
        {"voltar", [](QPainter& p) { ArrowLeft(p, 17, 17, 11); }},
        {"avancar", [](QPainter& p) { ArrowRight(p, 17, 17, 11); }},
        {"backspace",
         [](QPainter& p) {
             p.drawPolygon(QPolygonF{QPointF(3, 17), QPointF(11, 8), QPointF(31, 8),
                                     QPointF(31, 26), QPointF(11, 26)});
             p.drawLine(QPointF(16, 12), QPointF(25, 22));
             p.drawLine(QPointF(25, 12), QPointF(16, 22));
         }},
        {"limpar",
         [](QPainter& p) {
             p.drawPolygon(
                 QPolygonF{QPointF(6, 20), QPointF(18, 6), QPointF(28, 14), QPointF(16, 27)});
             p.drawLine(QPointF(11, 14), QPointF(22, 23));
             p.drawLine(QPointF(4, 31), QPointF(30, 31));
         }},
        {"sair",
         [](QPainter& p) {
             Circle(p);
             ArrowLeft(p, 17, 17, 8);
         }},
    };
    // Cursor icons: arrows in circles in the accent colour on white.
    const struct {
        const char* name;
        Drawing draw;
    } cursors[] = {
        {"primeiro",
         [](QPainter& p) {
             Circle(p);
             Chevron(p, 13, true);
             Chevron(p, 21, true);
         }},
        {"rolar_cima",
         [](QPainter& p) {
             Circle(p);
             p.drawLine(QPointF(17, 26), QPointF(17, 9));
             Chevron(p, 14, true);
         }},
        {"rolar_baixo",
         [](QPainter& p) {
             Circle(p);
             p.drawLine(QPointF(17, 8), QPointF(17, 25));
             Chevron(p, 20, false);
         }},
        {"ultimo",
         [](QPainter& p) {
             Circle(p);
             Chevron(p, 13, false);
             Chevron(p, 21, false);
         }},
    };

    bool ok = true;
    for (const auto& key : keys) {
        const QString name = QString::fromLatin1(key.name);
        ok = Save(folder, name, kKeyFace, Qt::white, key.draw) && ok;
        ok = Save(folder, name + QStringLiteral("_disabled"), kKeyFaceDisabled, Qt::white,
                  key.draw) &&
             ok;
    }
    for (const auto& cursor : cursors) {
        const QString name = QString::fromLatin1(cursor.name);
        ok = Save(folder, name, Qt::white, kAccent, cursor.draw) && ok;
        ok = Save(folder, name + QStringLiteral("_disabled"), Qt::white, kLineDisabled,
                  cursor.draw) &&
             ok;
    }
    if (!ok) {
        std::fprintf(stderr, "cannot write the icons into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
