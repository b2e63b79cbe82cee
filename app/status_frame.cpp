#include "app/status_frame.h"

#include "app/sync_command.h"

#include <QList>
#include <QStringDecoder>
#include <array>
#include <limits>

namespace {

constexpr char kSeparator = '|';

// Bytes that would end or restart a frame, split fields or hide in a log line go as %XX.
bool needsEscape(char c) {
    const auto u = static_cast<unsigned char>(c);
    return c == '_' || c == '*' || c == '%' || c == kSeparator || u < 0x20 || u == 0x7f;
}

QByteArray escapeText(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    QByteArray out;
    qsizetype i = 0;
    while (i < utf8.size()) {
        // One whole character at a time, so that shortening never cuts one in two.
        qsizetype length = 1;
        while (i + length < utf8.size() &&
               (static_cast<unsigned char>(utf8[i + length]) & 0xc0) == 0x80) {
            ++length;
        }
        QByteArray piece;
        for (qsizetype k = i; k < i + length; ++k) {
            const char c = utf8[k];
            if (needsEscape(c)) {
                piece.append('%').append(QByteArray(1, c).toHex().toUpper());
            } else {
                piece.append(c);
            }
        }
        if (out.size() + piece.size() > MaxStatusText) {
            break;
        }
        out.append(piece);
        i += length;
    }
    return out;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::optional<QString> unescapeText(QByteArrayView field) {
    if (field.size() > MaxStatusText) {
        return std::nullopt;
    }
    QByteArray bytes;
    for (qsizetype i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (c != '%') {
            if (needsEscape(c)) {
                return std::nullopt;
            }
            bytes.append(c);
            continue;
        }
        if (i + 2 >= field.size()) {
            return std::nullopt;
        }
        const int high = hexDigit(field[i + 1]);
        const int low = hexDigit(field[i + 2]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        bytes.append(static_cast<char>(high * 16 + low));
        i += 2;
    }
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError()) {
        return std::nullopt;
    }
    return text;
}

QByteArray number(std::int64_t value) {
    return QByteArray::number(static_cast<qlonglong>(value));
}

QByteArray optionalNumber(const std::optional<std::int64_t>& value) {
    return value ? number(*value) : QByteArray();
}

QByteArray join(const char* code, std::initializer_list<QByteArray> fields) {
    QByteArray out(code);
    bool first = true;
    for (const QByteArray& field : fields) {
        if (!first) {
            out.append(kSeparator);
        }
        out.append(field);
        first = false;
    }
    return out;
}

constexpr std::array<std::pair<PlayState, const char*>, 5> kStates = {{
    {PlayState::NoMedia, "none"},
    {PlayState::Stopped, "stop"},
    {PlayState::Cued, "cued"},
    {PlayState::Playing, "play"},
    {PlayState::Ended, "end"},
}};

std::optional<std::int64_t> ranged(QByteArrayView text, std::int64_t low, std::int64_t high) {
    const std::optional<std::int64_t> value = parseDecimal64(text);
    if (!value || *value < low || *value > high) {
        return std::nullopt;
    }
    return value;
}

constexpr std::int64_t kMax64 = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin64 = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kMax32 = std::numeric_limits<std::int32_t>::max();

// An empty field is "not known"; anything else must be a number.
bool optionalField(QByteArrayView text, std::optional<std::int64_t>& out) {
    if (text.isEmpty()) {
        out.reset();
        return true;
    }
    out = parseDecimal64(text);
    return out.has_value();
}

std::optional<bool> flag(QByteArrayView text) {
    if (text == "0") {
        return false;
    }
    if (text == "1") {
        return true;
    }
    return std::nullopt;
}

std::optional<StatusReport> parseMedia(const QList<QByteArrayView>& f) {
    if (f.size() != 9) {
        return std::nullopt;
    }
    StatusMedia m;
    const std::optional<bool> open = flag(f[0]);
    const std::optional<QString> name = unescapeText(f[1]);
    const auto duration = ranged(f[2], 0, kMax64);
    const auto num = ranged(f[3], 0, kMax32);
    const auto den = ranged(f[4], 1, kMax32);
    const auto width = ranged(f[5], 0, 65535);
    const auto height = ranged(f[6], 0, 65535);
    const auto in = ranged(f[7], 0, kMax32);
    const std::optional<QString> version = unescapeText(f[8]);
    if (!open || !name || !duration || !num || !den || !width || !height || !in || !version) {
        return std::nullopt;
    }
    m.open = *open;
    m.fileName = *name;
    m.durationFrames = *duration;
    m.rateNumerator = *num;
    m.rateDenominator = *den;
    m.width = static_cast<int>(*width);
    m.height = static_cast<int>(*height);
    m.inPoint = static_cast<std::int32_t>(*in);
    m.version = *version;
    return m;
}

constexpr qsizetype kPlayFields = 8;
constexpr qsizetype kBeatFields = kPlayFields + 3;

std::optional<StatusPlay> parsePlayFields(const QList<QByteArrayView>& f) {
    StatusPlay p;
    bool known = false;
    for (const auto& [state, word] : kStates) {
        if (f[0] == QByteArrayView(word)) {
            p.state = state;
            known = true;
        }
    }
    const auto segment = ranged(f[1], -1, kMax32);
    const std::optional<bool> cueing = flag(f[5]);
    const std::optional<bool> full = flag(f[6]);
    const auto sent = ranged(f[7], kMin64, kMax64);
    if (!known || !segment || !cueing || !full || !sent || !optionalField(f[2], p.cueFrame) ||
        !optionalField(f[3], p.startFrame) || !optionalField(f[4], p.startedAtMs)) {
        return std::nullopt;
    }
    p.segment = static_cast<std::int32_t>(*segment);
    p.stillCueing = *cueing;
    p.fullScreen = *full;
    p.sentAtMs = *sent;
    return p;
}

std::optional<StatusReport> parsePlay(const QList<QByteArrayView>& f) {
    if (f.size() != kPlayFields && f.size() != kBeatFields) {
        return std::nullopt;
    }
    const std::optional<StatusPlay> play = parsePlayFields(f);
    if (!play) {
        return std::nullopt;
    }
    if (f.size() == kPlayFields) {
        return *play;
    }
    StatusBeat beat{*play, std::nullopt, false, QString()};
    const std::optional<bool> moving = flag(f[kPlayFields + 1]);
    const std::optional<QString> name = unescapeText(f[kPlayFields + 2]);
    if (!optionalField(f[kPlayFields], beat.shownFrame) || !moving || !name) {
        return std::nullopt;
    }
    beat.pictureShouldMove = *moving;
    beat.name = *name;
    return beat;
}

}  // namespace

bool StatusPlay::sameStateAs(const StatusPlay& other) const {
    return state == other.state && segment == other.segment && cueFrame == other.cueFrame &&
           startFrame == other.startFrame && startedAtMs == other.startedAtMs &&
           stillCueing == other.stillCueing && fullScreen == other.fullScreen;
}

QByteArray buildStatus(const StatusMedia& m) {
    return join(StatusCode::Media,
                {m.open ? "1" : "0", escapeText(m.fileName), number(m.durationFrames),
                 number(m.rateNumerator), number(m.rateDenominator), number(m.width),
                 number(m.height), number(m.inPoint), escapeText(m.version)});
}

QByteArray buildStatus(const StatusPlay& p) {
    const char* word = "none";
    for (const auto& [state, text] : kStates) {
        if (state == p.state) {
            word = text;
        }
    }
    return join(StatusCode::Play,
                {word, number(p.segment), optionalNumber(p.cueFrame), optionalNumber(p.startFrame),
                 optionalNumber(p.startedAtMs), p.stillCueing ? "1" : "0", p.fullScreen ? "1" : "0",
                 number(p.sentAtMs)});
}

QByteArray buildStatus(const StatusBeat& b) {
    return join("", {buildStatus(b.play), optionalNumber(b.shownFrame),
                     b.pictureShouldMove ? "1" : "0", escapeText(b.name)});
}

QByteArray buildStatus(const StatusError& e) {
    return QByteArray(StatusCode::Error) + escapeText(e.text);
}

bool isStatusCommand(QByteArrayView command) {
    const QByteArrayView code = command.first(std::min<qsizetype>(command.size(), 4));
    return code == QByteArrayView(StatusCode::Media) || code == QByteArrayView(StatusCode::Play) ||
           code == QByteArrayView(StatusCode::Error);
}

std::optional<StatusReport> parseStatus(QByteArrayView command) {
    if (command.size() < 4 || command.size() > MaxStatusLength) {
        return std::nullopt;
    }
    const QByteArrayView code = command.first(4);
    const QByteArrayView body = command.sliced(4);
    if (code == QByteArrayView(StatusCode::Error)) {
        if (const std::optional<QString> text = unescapeText(body)) {
            return StatusError{*text};
        }
        return std::nullopt;
    }
    QList<QByteArrayView> fields;
    qsizetype from = 0;
    for (qsizetype i = 0; i <= body.size(); ++i) {
        if (i == body.size() || body[i] == kSeparator) {
            fields.append(body.sliced(from, i - from));
            from = i + 1;
        }
    }
    if (code == QByteArrayView(StatusCode::Media)) {
        return parseMedia(fields);
    }
    if (code == QByteArrayView(StatusCode::Play)) {
        return parsePlay(fields);
    }
    return std::nullopt;
}
