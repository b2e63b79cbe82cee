#pragma once

#include <QString>
#include <functional>

// A text in the operator's language: the language file's message by its key, or the English text
// given where the file lacks the key. The default wording is English throughout, as the event
// log and the show report are written, so that they read alike on every machine.
class Wording {
public:
    Wording() = default;
    // textByKey returns the key itself for a key the file lacks.
    explicit Wording(std::function<QString(const QString& key)> textByKey)
        : textByKey_(std::move(textByKey)) {}

    QString operator()(const char* key, const char* english) const;
    QString operator()(const QString& key, const QString& english) const;

private:
    std::function<QString(const QString& key)> textByKey_;
};
