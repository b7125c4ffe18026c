#include "app/desktop/VideoThumbnailWindow.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "core/common/Localization.h"
#include "core/recording/VideoEditModel.h"

namespace tessarin {

namespace {

constexpr int kWidth = 220;
constexpr int kPosterHeight = 124;
constexpr int kMargin = 16;

QImage posterOf(const RecordingResult& result) {
    QImage poster(kWidth, kPosterHeight, QImage::Format_RGB32);
    poster.fill(QColor(40, 40, 44));
    if (const auto& image = result.posterFrame; image && image->width() > 0) {
        const QImage frame(image->data(), int(image->width()), int(image->height()), int(image->stride()),
                           QImage::Format_RGBA8888);
        const QImage scaled = frame.scaled(poster.size(), Qt::KeepAspectRatio, Qt::SmoothTransformation);
        QPainter painter(&poster);
        painter.drawImage((poster.width() - scaled.width()) / 2, (poster.height() - scaled.height()) / 2, scaled);
    }
    QPainter painter(&poster);
    painter.setRenderHint(QPainter::Antialiasing);
    // The play/edit mark in the middle, the duration in the corner.
    const QPointF centre(poster.width() / 2.0, poster.height() / 2.0);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 150));
    painter.drawEllipse(centre, 22, 22);
    painter.setBrush(Qt::white);
    const QPointF triangle[3] = {centre + QPointF(-7, -11), centre + QPointF(-7, 11), centre + QPointF(12, 0)};
    painter.drawPolygon(triangle, 3);
    const QString duration = QString::fromStdString(videoTimeText(result.duration));
    const QRect badge(poster.width() - 70, poster.height() - 24, 64, 18);
    painter.setBrush(QColor(0, 0, 0, 170));
    painter.drawRoundedRect(badge, 4, 4);
    painter.setPen(Qt::white);
    painter.drawText(badge, Qt::AlignCenter, duration);
    return poster;
}

}  // namespace

VideoThumbnailWindow::VideoThumbnailWindow(RecordingResult result, Handler handler)
    : QWidget(nullptr, Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::Tool | Qt::WindowDoesNotAcceptFocus),
      result_(std::move(result)),
      handler_(std::move(handler)) {
    setObjectName("tessarinVideoThumbnail");
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowTitle(QString::fromStdString(result_.fileURL.filename().string()));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(6, 6, 6, 6);
    column->setSpacing(4);
    auto* edit = new QPushButton(this);
    edit->setObjectName("edit");
    edit->setToolTip(QString::fromStdString(recordingThumbnailActionTitle(RecordingThumbnailAction::edit)));
    edit->setIcon(QPixmap::fromImage(posterOf(result_)));
    edit->setIconSize(QSize(kWidth, kPosterHeight));
    edit->setFlat(true);
    edit->setFocusPolicy(Qt::NoFocus);
    column->addWidget(edit);
    const QString fileName = QString::fromStdString(result_.fileURL.filename().string());
    auto* name = new QLabel(this);
    name->setText(name->fontMetrics().elidedText(fileName, Qt::ElideMiddle, kWidth));
    name->setToolTip(fileName);
    column->addWidget(name);
    auto connect = [this](QPushButton* button, RecordingThumbnailAction action) {
        QObject::connect(button, &QPushButton::clicked, this, [this, action] {
            // The handler may close this window: keep the result alive past it.
            const RecordingResult kept = result_;
            const Handler act = handler_;
            act(action, kept);
        });
    };
    connect(edit, RecordingThumbnailAction::edit);
    auto* row = new QHBoxLayout();
    for (auto action : {RecordingThumbnailAction::reveal, RecordingThumbnailAction::saveAs, RecordingThumbnailAction::close}) {
        auto* button = new QPushButton(QString::fromStdString(recordingThumbnailActionTitle(action)), this);
        button->setObjectName(QString::number(static_cast<int>(action)));
        button->setFocusPolicy(Qt::NoFocus);
        row->addWidget(button);
        connect(button, action);
    }
    column->addLayout(row);
}

void VideoThumbnailWindow::showInCorner() {
    adjustSize();
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen) {
        const QRect area = screen->availableGeometry();
        move(area.right() - width() - kMargin, area.bottom() - height() - kMargin);
    }
    show();
}

}  // namespace tessarin
