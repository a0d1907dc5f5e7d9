#include "ui/Pictures.h"

#include <QGuiApplication>
#include <QPainter>
#include <QSvgRenderer>
#include <array>

// The resource lives in a static library: register it before the first use (at global scope,
// where the macro declares its function).
static void EnsureResources() {
    static const bool loaded = [] {
        Q_INIT_RESOURCE(pictures);
        return true;
    }();
    (void)loaded;
}

namespace {

constexpr std::array<const char*, kImageListSize> kLargeStems = {
    "bar-tools",   "bar-pen",   "bar-notes", "bar-lifebuoy",
    "bar-picture", "bar-cubes", "bar-globe", "bar-help"};

constexpr std::array<const char*, kImageListSize> kSmallStems = {
    "small-play",    "small-stop",  "small-diskette", "small-info",
    "small-warning", "small-error", "small-day",      "small-camera"};

}  // namespace

QString PicturePath(const QString& stem) {
    return QStringLiteral(":/pictures/%1.svg").arg(stem);
}

QPixmap RenderPicture(const QString& stem, int width, int height) {
    EnsureResources();
    const qreal ratio = qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
    QPixmap pixmap(QSize(width, height) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QSvgRenderer renderer(PicturePath(stem));
    if (!renderer.isValid()) {
        return pixmap;
    }
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    renderer.render(&painter, QRectF(0, 0, width, height));
    return pixmap;
}

QString ImageListStem(int index) {
    if (index < 0 || index >= kImageListSize) {
        return {};
    }
    return QString::fromLatin1(kLargeStems[static_cast<size_t>(index)]);
}

QString ImageList16Stem(int index) {
    if (index < 0 || index >= kImageListSize) {
        return {};
    }
    return QString::fromLatin1(kSmallStems[static_cast<size_t>(index)]);
}

namespace {

QIcon IconOfSizes(const QString& stem) {
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64}) {
        icon.addPixmap(RenderPicture(stem, size, size));
    }
    return icon;
}

}  // namespace

QIcon ImageList16Icon(int index) {
    const QString stem = ImageList16Stem(index);
    return stem.isEmpty() ? QIcon() : IconOfSizes(stem);
}

QIcon ApplicationIcon() {
    return IconOfSizes(QStringLiteral("app-icon"));
}

QPixmap ImageListPixmap(int index, int size) {
    const QString stem = ImageListStem(index);
    if (stem.isEmpty()) {
        return {};
    }
    return RenderPicture(stem, size, size);
}
