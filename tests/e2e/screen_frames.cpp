#include "e2e/screen_frames.h"

#include "tools/clipgen/frame_code.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QRegularExpression>
#include <QScreen>
#include <QThread>

QRect placeVideo(const ShowInstance& instance, int x, int y) {
    unsigned long window = 0;
    waitUntil(
        [&] {
            return (window = desktop::findWindow(instance.pid(),
                                                 QStringLiteral("frameLock PRO Video"))) != 0;
        },
        30);
    if (window == 0) {
        return {};
    }
    desktop::move(window, x, y);
    const QString shape = desktop::geometry(window);
    const auto value = [&](const char* key) {
        const QRegularExpression pattern(QLatin1String(key) + QStringLiteral("=(\\d+)"));
        return pattern.match(shape).captured(1).toInt();
    };
    return QRect(value("X"), value("Y"), value("WIDTH"), value("HEIGHT"));
}

std::vector<std::optional<std::int64_t>> framesOnScreen(const std::vector<QRect>& windows) {
    QRect all;
    for (const QRect& window : windows) {
        all |= window;
    }
    const QImage screen = QGuiApplication::primaryScreen()
                              ->grabWindow(0, all.x(), all.y(), all.width(), all.height())
                              .toImage()
                              .convertToFormat(QImage::Format_Grayscale8);
    std::vector<std::optional<std::int64_t>> frames;
    for (const QRect& window : windows) {
        const QImage picture = screen.copy(window.translated(-all.topLeft()));
        frames.push_back(readFrameCode(picture.constBits(), picture.width(), picture.height(),
                                       static_cast<int>(picture.bytesPerLine())));
    }
    return frames;
}

std::vector<std::vector<std::int64_t>> lagSamples(const std::vector<QRect>& windows,
                                                  const std::vector<std::pair<int, int>>& pairs,
                                                  int samples, std::int64_t fromFrame) {
    std::vector<std::vector<std::int64_t>> lags(pairs.size());
    for (int i = 0; i < samples; ++i) {
        const auto frames = framesOnScreen(windows);
        for (std::size_t p = 0; p < pairs.size(); ++p) {
            const auto& ahead = frames[static_cast<std::size_t>(pairs[p].first)];
            const auto& behind = frames[static_cast<std::size_t>(pairs[p].second)];
            if (ahead && behind && *ahead >= fromFrame && *behind >= fromFrame) {
                lags[p].push_back(*ahead - *behind);
            }
        }
        QCoreApplication::processEvents();
        QThread::msleep(50);
    }
    return lags;
}

std::string listed(const std::vector<std::int64_t>& lags) {
    std::string text;
    for (const std::int64_t lag : lags) {
        text += std::to_string(lag) + ' ';
    }
    return text;
}
