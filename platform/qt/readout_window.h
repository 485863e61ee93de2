// The alignment readout drawn with QPainter: every size follows the window's, so that full
// screen (F11) can be read from metres away.
#pragma once

#include "platform/readout_picture.h"

#include <QWidget>

class ReadoutWindow final : public QWidget {
public:
    ReadoutWindow(QWidget* owner, const QString& title);
    void SetPicture(ReadoutPicture picture);
    const ReadoutPicture& Picture() const { return m_picture; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    ReadoutPicture m_picture;
};
