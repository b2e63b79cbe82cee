#include "app/preflight.h"

#include "app/segment_math.h"

namespace {

QString rateText(std::int64_t numerator, std::int64_t denominator, const StatusWords& words) {
    const double fps = static_cast<double>(numerator) / static_cast<double>(denominator);
    return QString::number(fps, 'g', 4) + QLatin1Char(' ') + words.rate;
}

bool rateKnown(const InstanceMedia& m) {
    return m.rateNumerator > 0 && m.rateDenominator > 0;
}

}  // namespace

QStringList mediaProblems(const InstanceMedia& instance, const QStringList& syncPoints,
                          const InstanceMedia* reference, const StatusWords& words) {
    if (!instance.open) {
        return {words.noMedia};
    }
    QStringList problems;
    if (instance.inPoint > instance.durationFrames) {
        problems << words.inOutside;
    } else {
        // A segment that ends past the file's end stops early, so the first such point says it.
        for (const std::optional<std::int32_t>& point : parseSyncPoints(syncPoints)) {
            if (point && addFrames(*point, instance.inPoint) > instance.durationFrames) {
                problems << words.tooShort + QLatin1Char(' ') + QString::number(*point);
                break;
            }
        }
    }
    // Compared as fractions: 30000/1001 and 60000/2002 agree.
    if (reference != nullptr && rateKnown(instance) && rateKnown(*reference) &&
        instance.rateNumerator * reference->rateDenominator !=
            reference->rateNumerator * instance.rateDenominator) {
        problems << rateText(instance.rateNumerator, instance.rateDenominator, words) +
                        QStringLiteral(" \u2260 ") +
                        rateText(reference->rateNumerator, reference->rateDenominator, words);
    }
    return problems;
}

QStringList preflightProblems(const std::vector<InstanceMedia>& instances,
                              const QStringList& syncPoints, const StatusWords& words) {
    QStringList found;
    const InstanceMedia* reference = instances.empty() ? nullptr : &instances.front();
    for (const InstanceMedia& instance : instances) {
        for (const QString& problem : mediaProblems(instance, syncPoints, reference, words)) {
            found << instance.name + QStringLiteral(": ") + problem;
        }
    }
    return found;
}
