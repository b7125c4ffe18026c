#pragma once
// The editor's trim strip: frames of the recording side by side, the kept
// range between two handles (the rest dimmed), and the playhead. It paints
// what TrimRangeControl says and hands it the pointer.

#include <QImage>
#include <QWidget>
#include <functional>
#include <vector>

#include "core/recordingflow/TrimRangeControl.h"

namespace tessarin {

class TrimStripWidget final : public QWidget {
public:
    // `changed` runs after every move, with the part that moved.
    TrimStripWidget(double duration, std::function<void(TrimRangeControl::Part)> changed, QWidget* parent = nullptr);

    TrimRangeControl& control() { return control_; }
    // The strip's frames, left to right, as they arrive.
    void setFrame(size_t index, size_t count, QImage frame);
    QSize sizeHint() const override { return {600, 64}; }

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    // Left/Right step the playhead by a tenth (Shift: a second), I and O
    // move the range's start and end to it.
    void keyPressEvent(QKeyEvent* event) override;

private:
    static constexpr int kInset = 10;

    TrimRangeControl control_;
    std::function<void(TrimRangeControl::Part)> changed_;
    std::vector<QImage> frames_;
};

}  // namespace tessarin
