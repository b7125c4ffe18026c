#pragma once
// What the recording's and the scrolling capture's chrome share: windows
// that stay above everything without taking the focus, the layout of the
// chrome around a selection, and the ring just outside the selection (one
// window shaped to the ring, so no compositor is needed and nothing of it
// is grabbed with the selection).

#include <QColor>
#include <QRect>
#include <QWidget>

#include "core/capture/CaptureSelection.h"
#include "core/recordingflow/RecordingChromeLayout.h"

namespace tessarin {

QRect qtRect(const Rect& rect);

// Above everything, never focused, no decoration: the window manager must
// neither move it into the selection nor take the focus from the
// application under it.
Qt::WindowFlags chromeWindowFlags();

// The selection in Qt's desktop coordinates.
Rect qtSelectionRect(const CaptureSelection& selection);

// The chrome around `selection` on the desktop's displays, in Qt's coordinates.
RecordingChromeLayout chromeLayoutFor(const CaptureSelection& selection, const RecordingConfiguration& configuration);

// A chrome's control panel: dark, shown without taking the focus, and
// dragged by its background (where the compositor places windows, the
// compositor is asked to move it).
class ChromePanel : public QWidget {
public:
    explicit ChromePanel(Qt::WindowFlags flags);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    QPoint grabbedAt_;
};

// The ring: a dark band with a line of `line` along the selection's edge.
class SelectionRing final : public QWidget {
public:
    SelectionRing(const RecordingChromeLayout& layout, const Rect& selection, double stroke, QColor line);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QRect selection_;
    double stroke_;
    QColor line_;
};

}  // namespace tessarin
