#include "widgets/gui/splash_picture.h"

#include "widgets/splash_blend.h"

#include <QPainter>

QImage blendSplashPicture(const QImage& screen, const QImage& map, const QImage& mask,
                          QColor background) {
    QImage result(map.size(), QImage::Format_RGB888);
    result.fill(background);
    if (!screen.isNull()) {
        QPainter painter(&result);
        painter.drawImage(0, 0, screen);
    }
    const QImage map24 = map.convertToFormat(QImage::Format_RGB888);
    const QImage mask24 = mask.convertToFormat(QImage::Format_RGB888);
    const auto rowBytes = static_cast<std::size_t>(map24.width()) * 3;
    const int rows = qMin(map24.height(), mask24.height());
    const auto maskBytes = static_cast<std::size_t>(qMin(map24.width(), mask24.width())) * 3;
    for (int y = 0; y < rows; ++y) {
        blendSplashRow(std::span<std::uint8_t>(result.scanLine(y), rowBytes),
                       std::span<const std::uint8_t>(map24.constScanLine(y), rowBytes),
                       std::span<const std::uint8_t>(mask24.constScanLine(y), maskBytes));
    }
    return result;
}
