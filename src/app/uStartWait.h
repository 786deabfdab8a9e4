#pragma once
// The window a start shows while it builds the database's indexes (the first start on a file
// another program made, minutes of silence otherwise) or runs the page-by-page check of a large
// file: a sentence with the expected time and a progress bar. A start with nothing to do shows
// nothing.

#include <QString>
#include <QWidget>
#include <functional>

class QLabel;
class QProgressBar;

// How long the slow steps of a start are expected to take, from the size of the database file
// and, while indexes are made, from the time the first ones took.
class TStartEstimate {
public:
    explicit TStartEstimate(qint64 fileBytes) : fileBytes_(fileBytes) {}

    // Seconds left for the indexes, after `done` of `total` took `elapsedMs`; at least 1, or 0 when
    // nothing tells yet (a server's database before its first index).
    int IndexSeconds(int done, int total, qint64 elapsedMs) const;
    int CheckSeconds() const;  // the page-by-page check of the whole file; at least 1

    static QString IndexText(int seconds);  // without a time for 0
    static QString CheckText(int seconds);

private:
    qint64 fileBytes_;
};

class TfrmStartWait : public QWidget {
    Q_OBJECT
public:
    explicit TfrmStartWait(qint64 fileBytes);

    // For TDM::SetIndexProgress: shows the window at the first call and follows the indexes.
    void Indexes(int done, int total);
    // Runs the check on a thread of its own, showing the window with a moving bar when it takes
    // more than a moment; the window stays responsive meanwhile.
    void WhileChecking(const std::function<void()>& check);

private:
    void ShowWith(const QString& text);

    TStartEstimate estimate_;
    qint64 startedMs_ = 0;
    QLabel* lblText_ = nullptr;
    QProgressBar* bar_ = nullptr;
};
