// SPDX-License-Identifier: MIT
#pragma once

#include "paragraphs.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <deque>

class QLCDNumber;
class QTextCursor;
class QTextEdit;

// Puts arrivals into the receive box and the receive counter. Each arrival keeps its
// own colour, but the box is written in batches: inserting and repainting every small
// read on its own costs more than the reading, and a flooding device would starve the
// window of the time it needs to answer the user.
class ArrivalDisplay : public QObject
{
    Q_OBJECT

public:
    // Longest the box and counter lag the port, and the display work done in one go.
    static constexpr int flushDelayMs = 45;
    static constexpr int flushBudgetMs = 15;
    // When the box falls behind a flood, the port and the user get this long between batches.
    static constexpr int catchUpDelayMs = 15;
    // The box keeps the most recent characters up to this many, trimmed seldom and in large
    // steps: down to half that in one go.
    static constexpr int maxCharacters = 1000000;
    static constexpr int trimmedCharacters = maxCharacters / 2;
    // A new window has not learnt what its text costs to lay out, which differs a hundredfold
    // between scripts: its first batch is small, and later ones grow from what each cost.
    static constexpr int firstBatchCharacters = 2048;

    ArrivalDisplay(QTextEdit *receiveBox, QLCDNumber *receiveCounter, QObject *parent = nullptr);

    // An arrival's text, and the line break that may follow it. Empty text without a
    // line break changes nothing, not even the colour of the next arrival.
    void add(const QString &text, BreakUnit unit, bool lineBreak);
    void setCount(int count);
    // Shows everything pending now, however long that takes.
    void flush();

private:
    // One arrival's share of the pending text.
    struct Run
    {
        int length;
        bool red;
    };

    void insertPending(bool unbounded);
    qint64 takePending(QTextCursor &cursor, qint64 room);
    void learnCost(qint64 characters, qint64 nanoseconds);
    void dropOverflowingPending();
    void dropPendingThroughParagraph(qint64 atLeast);
    // Whether it removed anything.
    bool trimBox(qint64 incoming);
    int boxCharacters() const;
    void releaseTakenPending();

    QTextEdit *box;
    QLCDNumber *counter;
    QTimer flushTimer;
    // What waits for the box, in one buffer from pendingStart on: a flood leaves up to a
    // million characters waiting, and as one allocation they go back to the system once
    // shown, where a piece per arrival (each with the room its decoding reserved) would
    // stay behind in the heap, fragmented.
    QString pendingText;
    int pendingStart = 0;
    std::deque<Run> pending;
    qint64 pendingCharacters = 0;
    bool lastRed = false;
    bool countChanged = false;
    int count = 0;
    int openParagraphLength = 0;
    static constexpr qint64 fewestPerFlush = 1024;
    static constexpr qint64 charactersPerEdit = maxCharacters / 10;
    static constexpr int keptPendingCapacity = maxCharacters / 2;
    qint64 charactersPerFlush = firstBatchCharacters;
};
