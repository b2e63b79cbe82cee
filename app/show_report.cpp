#include "app/show_report.h"

#include "app/app_log.h"

#include <algorithm>

namespace {

// Names are addresses, names Slaves give themselves and "Master"; anything that would break a field
// is replaced.
QString field(QString text) {
    for (QChar& c : text) {
        if (c == QLatin1Char(',') || c == QLatin1Char('"') || c < QLatin1Char(' ')) {
            c = QLatin1Char(' ');
        }
    }
    return text;
}

QString number(const std::optional<std::int64_t>& value) {
    return value ? QString::number(*value) : QString();
}

}  // namespace

ShowReport::ShowReport(const QString& path) : file_(path, MaxFileBytes, KeptOldFiles) {}

ShowReport::~ShowReport() {
    finish();
}

QByteArray ShowReport::formatLine(const QDateTime& time, std::int32_t segment,
                                  const std::vector<Entry>& entries) {
    QStringList fields{time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")),
                       QString::number(segment)};
    // The first entry is the Master: the others' lateness is measured against its picture.
    const std::optional<std::int64_t> reference =
        entries.empty() ? std::nullopt : entries.front().startedAtMs;
    for (const Entry& entry : entries) {
        std::optional<std::int64_t> late;
        if (reference && entry.startedAtMs) {
            late = *entry.startedAtMs - *reference;
        }
        fields << field(entry.name) << number(entry.startFrame) << number(late);
    }
    return fields.join(QLatin1Char(',')).toUtf8() + '\n';
}

void ShowReport::begin(const QDateTime& time, std::int32_t segment,
                       const std::vector<Instance>& instances) {
    finish();
    Pending pending{time, segment, {}};
    for (const Instance& instance : instances) {
        pending.entries.push_back({instance.id, instance.name, std::nullopt, std::nullopt});
    }
    pending_ = std::move(pending);
}

ShowReport::Entry* ShowReport::pendingEntry(const QString& id) {
    if (!pending_) {
        return nullptr;
    }
    auto& entries = pending_->entries;
    const auto it =
        std::find_if(entries.begin(), entries.end(), [&](const Entry& e) { return e.id == id; });
    return it != entries.end() ? &*it : nullptr;
}

void ShowReport::markUnwell(const QString& id, const QString& health) {
    Entry* entry = pendingEntry(id);
    if (entry != nullptr && !entry->name.endsWith(QLatin1Char(' ') + health)) {
        entry->name += QLatin1Char(' ') + health;
    }
}

void ShowReport::record(const QString& id, std::int32_t segment, std::int64_t startFrame,
                        std::int64_t startedAtMs) {
    Entry* it = pendingEntry(id);
    if (it == nullptr || pending_->segment != segment) {
        return;
    }
    auto& entries = pending_->entries;
    it->startFrame = startFrame;
    it->startedAtMs = startedAtMs;
    if (std::all_of(entries.begin(), entries.end(), [](const Entry& e) { return e.startedAtMs; })) {
        finish();
    }
}

void ShowReport::finish() {
    if (!pending_) {
        return;
    }
    const Pending pending = std::move(*pending_);
    pending_.reset();
    if (!file_.write(formatLine(pending.time, pending.segment, pending.entries))) {
        qCWarning(lcSync).noquote() << "cannot write the show report" << file_.path();
    }
}
