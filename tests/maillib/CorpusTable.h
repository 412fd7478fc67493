#pragma once

#include <QList>
#include <QString>

// One row of a corpus expectation table (expected.tsv): the values an
// independent decoder and a hand check agreed on for one message file.
struct CorpusRow
{
    QString file;
    QString subject;
    QString from;
    QString date;
    int attachmentCount = 0;
    QString attachmentNames;
    QString bodyFirstLine;
    QString notes;
    // Rows whose notes say a decoder may reasonably read the message otherwise.
    bool soft = false;
};

// Reads expected.tsv (UTF-8, a header line, tab-separated, "\\", "\t", "\n",
// "\r" and "\xHH" escapes). Returns an empty list when the file cannot be read.
QList<CorpusRow> readCorpusTable(const QString &path);

// Makes two texts comparable: runs of white space collapsed, and every
// replacement or private-use character taken as U+FFFD, since the table allows
// either for unmapped pictograms.
QString comparable(const QString &text);

// The first line of text that is not blank, trimmed.
QString firstNonBlankLine(const QString &text);
