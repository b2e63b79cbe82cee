#pragma once

#include "app/status_words.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

// What the Master knows of one instance's media before a show starts.
struct InstanceMedia {
    QString name;
    bool open = false;
    std::int64_t durationFrames = 0;
    // 0/1: not known (audio, or an older Slave that does not say).
    std::int64_t rateNumerator = 0;
    std::int64_t rateDenominator = 1;
    std::int32_t inPoint = 0;
};

// What is wrong with one instance's media for the Sync point list: no media, an In point past
// its end, the first Sync point its file is too short for, a frame rate other than the
// reference's. Empty when nothing is.
QStringList mediaProblems(const InstanceMedia& instance, const QStringList& syncPoints,
                          const InstanceMedia* reference, const StatusWords& words);

// The check at Start over every instance, the first being the Master (the reference for the
// frame rate): one "<name>: <problem>" per problem found.
QStringList preflightProblems(const std::vector<InstanceMedia>& instances,
                              const QStringList& syncPoints, const StatusWords& words);
