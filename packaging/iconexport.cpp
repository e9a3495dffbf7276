// Writes each image of a Windows icon file as <dir>/<w>x<h>/apps/<name>.png,
// the layout of an icon theme, so the installed icon is the program's own.

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QImageReader>
#include <QTextStream>

namespace {
bool exportImages(QImageReader &reader, const QString &outputDir, const QString &name)
{
    int written = 0;
    do {
        const QImage image = reader.read();
        if (image.isNull())
            return false;
        const QString dir = QStringLiteral("%1/%2x%3/apps").arg(outputDir).arg(image.width()).arg(image.height());
        if (!QDir().mkpath(dir) || !image.save(dir + QLatin1Char('/') + name + QStringLiteral(".png")))
            return false;
        ++written;
    } while (reader.jumpToNextImage());
    return written == reader.imageCount();
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    QTextStream err(stderr);
    if (args.size() != 4) {
        err << "usage: " << args.value(0) << " ICON-FILE OUTPUT-DIR NAME\n";
        return 2;
    }
    QImageReader reader(args.at(1), "ico");
    if (!reader.canRead()) {
        err << args.at(1) << ": " << reader.errorString() << '\n';
        return 1;
    }
    if (!exportImages(reader, args.at(2), args.at(3))) {
        err << args.at(1) << ": cannot export every image: " << reader.errorString() << '\n';
        return 1;
    }
    return 0;
}
