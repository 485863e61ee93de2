// A progress bar with a line across it at a value of its range, so that a reading is seen
// against its threshold at a glance.
#pragma once

#include <QProgressBar>

class MarkedProgressBar final : public QProgressBar {
public:
    using QProgressBar::QProgressBar;
    // Outside the range: no line.
    void SetMark(int value);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_mark = -1;
};
