#include "window_harness.h"

#include "app/sync_command.h"
#include "media/fake_media_service.h"
#include "net/loopback.h"
#include "widgets/product_info.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QDir>
#include <QFile>

WindowHarness::WindowHarness(const QByteArray& settings, const QString& programDir,
                             std::function<std::unique_ptr<MediaService>()> media) {
    dir_ = programDir.isEmpty() ? ownDir_.path() + QLatin1Char('/') : programDir;
    const QDir built(QCoreApplication::applicationDirPath());
    for (const QString& name :
         built.entryList({QStringLiteral("*.lng"), QStringLiteral("*.htm")})) {
        QFile::remove(dir_ + name);
        QFile::copy(built.filePath(name), dir_ + name);
    }
    if (!settings.isEmpty()) {
        QFile file(dir_ + QStringLiteral("frameLock.ini"));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(settings);
    }
    FrameLockServices services;
    services.dialogs = &dialogs;
    services.programDir = dir_;
    services.makeMediaService =
        media ? std::move(media) : [this]() -> std::unique_ptr<MediaService> {
        auto fake = std::make_unique<FakeMediaService>(mediaLog);
        media_ = fake.get();
        return fake;
    };
    window_ = std::make_unique<TfFrameLock>(std::move(services));
}

WindowHarness::~WindowHarness() {
    close();
}

void WindowHarness::show() {
    window_->show();
}

void WindowHarness::close() {
    if (window_) {
        window_->close();
        window_.reset();
        media_ = nullptr;
    }
}

QByteArray WindowHarness::settingsFile() const {
    QFile file(dir_ + QStringLiteral("frameLock.ini"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray systemSection(const QStringList& lines) {
    return ("[System]\r\n" + lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"))
        .toLatin1();
}

QByteArray WindowSettings::text() const {
    const auto flag = [](bool on) { return on ? QStringLiteral("True") : QStringLiteral("False"); };
    QStringList lines{QStringLiteral("rbMaster_Checked=") + flag(master),
                      QStringLiteral("rbSlave_Checked=") + flag(!master),
                      QStringLiteral("ComportsNr_ktBoolean=") + flag(splash)};
    if (port != 0) {
        lines << (master ? QStringLiteral("Server_Port=%1") : QStringLiteral("Client_Port=%1"))
                     .arg(port);
    }
    if (!file.isEmpty()) {
        lines << QStringLiteral("eFilename_Text=") + file;
    }
    if (in != 0) {
        lines << QStringLiteral("eIn_Value=%1").arg(in);
    }
    if (syncTimeMs != 0) {
        lines << QStringLiteral("StartTimer_Interval=%1").arg(syncTimeMs);
    }
    lines << more;
    if (!syncPoints.isEmpty()) {
        lines << QStringLiteral("[System.lbCut_Items]")
              << QStringLiteral("Count=%1").arg(syncPoints.size());
        for (int i = 0; i < syncPoints.size(); ++i) {
            lines << QStringLiteral("Item%1=%2").arg(i).arg(syncPoints[i]);
        }
    }
    return systemSection(lines);
}

namespace {

WindowSettings onPort(WindowSettings settings, quint16 port) {
    settings.port = port;
    return settings;
}

}  // namespace

TappedMaster::TappedMaster(WindowSettings settings,
                           std::function<std::unique_ptr<MediaService>()> media)
    : port(freePort()), h(onPort(std::move(settings), port).text(), QString(), std::move(media)) {
    h.show();
    tap = std::make_unique<WireTap>(port);
    EXPECT_TRUE(waitFor([&] { return h.ui().lbConnected->count() == 1; }));
}

QByteArray masterHello(const QString& showName) {
    return frameCommand(SyncCommand::hello({product::kTitleWithVersion, showName}));
}

struct WireTap::Peer {
    RawPeer raw;
};

WireTap::WireTap(quint16 port) : peer_(std::make_unique<Peer>(Peer{RawPeer::connectTo(port)})) {}

WireTap::~WireTap() = default;

QStringList WireTap::commands(int count) {
    QStringList list;
    waitFor([&] {
        bytes_ += peer_->raw.readAvailable();
        list.clear();
        for (const QByteArray& frame : bytes_.split('*')) {
            // The Master's hello is the link's, no command of the show.
            if (frame.startsWith('_') && !frame.startsWith(QByteArray("_") + SyncCode::Hello)) {
                list << QString::fromLatin1(frame.mid(1));
            }
        }
        return list.size() >= count;
    });
    return list;
}

QStringList WireTap::take(int count) {
    const QStringList all = commands(static_cast<int>(taken_) + count);
    const QStringList fresh = all.mid(taken_);
    taken_ = all.size();
    return fresh;
}
