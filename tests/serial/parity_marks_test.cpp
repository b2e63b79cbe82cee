#include <gtest/gtest.h>

#include "serial/parity_marks.h"

TEST(ParityMarks, MarkedBytesAreReplacedAndEscapedMarksUnescaped) {
    QByteArray pending;
    EXPECT_EQ(DecodeParityMarks(pending,
                                QByteArray("a\xFF\x00xb\xFF\xFF"
                                           "c",
                                           8),
                                '?'),
              QByteArray("a?b\xFF"
                         "c"));
    EXPECT_TRUE(pending.isEmpty());
}

TEST(ParityMarks, AMarkCutBetweenTwoReadsIsCompletedByTheNext) {
    QByteArray pending;
    EXPECT_EQ(DecodeParityMarks(pending, QByteArray("ab\xFF"), '#'), QByteArray("ab"));
    EXPECT_EQ(pending, QByteArray("\xFF"));
    EXPECT_EQ(DecodeParityMarks(pending, QByteArray(1, '\0'), '#'), QByteArray());
    EXPECT_EQ(pending.size(), 2);
    EXPECT_EQ(DecodeParityMarks(pending, QByteArray("zq"), '#'), QByteArray("#q"));
    EXPECT_TRUE(pending.isEmpty());

    EXPECT_EQ(DecodeParityMarks(pending, QByteArray("\xFF"), '#'), QByteArray());
    EXPECT_EQ(DecodeParityMarks(pending, QByteArray("\xFF"), '#'), QByteArray("\xFF"));
}
