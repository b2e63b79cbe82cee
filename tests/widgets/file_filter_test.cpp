#include <gtest/gtest.h>

#include "widgets/dialog_service.h"

TEST(FileFilter, PairsBecomeQtEntriesAndStarDotStarMatchesEveryName) {
    EXPECT_EQ(qtFileFilter(QStringLiteral("AVI Files (*.avi)|*.avi|All Files (*.*)|*.*")),
              QStringLiteral("AVI Files (*.avi);;All Files (*)"));
}

TEST(FileFilter, SeveralPatternsAndADescriptionWithoutThem) {
    EXPECT_EQ(qtFileFilter(QStringLiteral("Help pages|*.htm;*.html")),
              QStringLiteral("Help pages (*.htm *.html)"));
}

TEST(FileFilter, ATrailingDescriptionWithoutPatternIsDropped) {
    EXPECT_EQ(qtFileFilter(QStringLiteral("WAV Files (*.wav)|*.wav|Broken")),
              QStringLiteral("WAV Files (*.wav)"));
    EXPECT_EQ(qtFileFilter(QString()), QString());
}
