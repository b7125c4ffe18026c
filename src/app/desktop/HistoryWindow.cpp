#include "app/desktop/HistoryWindow.h"

#include <QCloseEvent>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QStackedWidget>
#include <QStyle>
#include <QVBoxLayout>

#include "app/desktop/HistoryGridView.h"
#include "core/common/Log.h"

namespace tessarin {
namespace {

constexpr int minWidth = 300;
constexpr int minHeight = 260;
const GridRect preferredFrame{0, 0, 960, 720};

QString text(std::string_view value) { return QString::fromUtf8(value.data(), static_cast<int>(value.size())); }

void logWindow(const std::string& message) { logLine(LogLevel::info, LogCategory::app, "history_window." + message); }

// The empty state's symbol: a clock face with an arrow running round it.
class ClockArrowSymbol final : public QWidget {
public:
    explicit ClockArrowSymbol(QWidget* parent) : QWidget(parent) { setFixedSize(64, 64); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPen pen(palette().color(QPalette::PlaceholderText), 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        painter.setPen(pen);
        const QRectF face(8, 8, 48, 48);
        painter.drawArc(face, 100 * 16, 300 * 16);  // open at the top left, where the arrow is
        painter.drawLine(QPointF(32, 32), QPointF(32, 18));
        painter.drawLine(QPointF(32, 32), QPointF(42, 38));
        painter.setBrush(pen.color());
        painter.drawPolygon(QPolygonF({QPointF(10, 14), QPointF(22, 16), QPointF(12, 26)}));
    }
};

QWidget* emptyState(QWidget* parent) {
    auto* page = new QWidget(parent);
    auto* column = new QVBoxLayout(page);
    column->addStretch();
    auto* symbol = new ClockArrowSymbol(page);
    symbol->setAccessibleName(text(HistoryWindowText::emptySymbol));
    column->addWidget(symbol, 0, Qt::AlignHCenter);
    auto* title = new QLabel(text(HistoryWindowText::emptyTitle), page);
    QFont large = title->font();
    large.setBold(true);
    large.setPointSizeF(large.pointSizeF() * 1.4);
    title->setFont(large);
    column->addWidget(title, 0, Qt::AlignHCenter);
    auto* message = new QLabel(text(HistoryWindowText::emptyMessage), page);
    message->setForegroundRole(QPalette::PlaceholderText);
    column->addWidget(message, 0, Qt::AlignHCenter);
    column->addStretch();
    return page;
}

std::vector<GridRect> screenFrames() {
    std::vector<GridRect> frames;
    // The primary screen first: the default place is on it.
    if (QScreen* primary = QGuiApplication::primaryScreen()) {
        const QRect r = primary->availableGeometry();
        frames.push_back({r.x(), r.y(), r.width(), r.height()});
    }
    for (QScreen* screen : QGuiApplication::screens()) {
        if (screen == QGuiApplication::primaryScreen()) continue;
        const QRect r = screen->availableGeometry();
        frames.push_back({r.x(), r.y(), r.width(), r.height()});
    }
    return frames;
}

}  // namespace

HistoryWindow::HistoryWindow(HistoryWindowPorts ports, KeyValueStore& frames, Executor& main, Executor& background)
    : controller_(ports), frame_(frames, "CaptureHistoryWindow") {
    QElapsedTimer built;
    built.start();
    setWindowTitle(text(HistoryWindowText::windowTitle));
    setMinimumSize(minWidth, minHeight);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 8, 0, 0);
    auto* toolbar = new QHBoxLayout;
    toolbar->setContentsMargins(16, 0, 16, 0);
    toolbar->addStretch();
    pause_ = new QPushButton(this);
    clear_ = new QPushButton(QIcon::fromTheme(QStringLiteral("user-trash"), style()->standardIcon(QStyle::SP_TrashIcon)),
                             text(HistoryWindowText::clear), this);
    toolbar->addWidget(pause_);
    toolbar->addWidget(clear_);
    column->addLayout(toolbar);

    pages_ = new QStackedWidget(this);
    pages_->addWidget(emptyState(pages_));
    grid_ = new HistoryGridView(controller_, ports.store.folder().folder("thumbnails"), main, background, pages_);
    grid_->onFirstPaint([this] {
        // Where things are on the screen, for scripts that drive the window.
        const auto at = [](const QWidget* widget, QPoint point) {
            const QPoint global = widget->mapToGlobal(point);
            return std::to_string(global.x()) + "," + std::to_string(global.y());
        };
        const auto buttons = [&] {
            std::string list;
            for (const QPoint& centre : grid_->firstCellButtonCentres()) {
                list += (list.empty() ? "" : ";") + at(grid_->viewport(), centre);
            }
            return list;
        };
        const size_t columns = grid_->columns();
        logWindow("first_paint items=" + std::to_string(controller_.model().cells().size()) +
                  " ms=" + std::to_string(opened.isValid() ? opened.elapsed() : -1) +
                  " grid=" + at(grid_->viewport(), QPoint(0, 0)) + " pause=" + at(pause_, pause_->rect().center()) +
                  " clear=" + at(clear_, clear_->rect().center()) + " buttons=" + buttons() +
                  " badges=" + at(grid_->viewport(), grid_->firstCellBadgeRow().topLeft()) + "," +
                  std::to_string(grid_->firstCellBadgeRow().width()) + "," +
                  std::to_string(grid_->firstCellBadgeRow().height()) +
                  " pitch=" + std::to_string(grid_->cellPitch().x()) + "," + std::to_string(grid_->cellPitch().y()) +
                  " columns=" + std::to_string(columns));
    });
    pages_->addWidget(grid_);
    column->addWidget(pages_, 1);

    // Ctrl+W closes the window, as it does documents.
    auto* closing = new QShortcut(QKeySequence::Close, this);
    QObject::connect(closing, &QShortcut::activated, this, &QWidget::close);
    grid_->onThumbnailsVisible([this](size_t count) {
        logWindow("thumbnails_visible count=" + std::to_string(count) +
                  " ms=" + std::to_string(opened.isValid() ? opened.elapsed() : -1));
    });
    QObject::connect(pause_, &QPushButton::clicked, [this] { controller_.togglePaused(); });
    QObject::connect(clear_, &QPushButton::clicked, [this] { askToClear(); });
    controller_.setListener([this](const HistoryListChanges& changes) { refresh(changes); });

    frameSave_.setSingleShot(true);
    frameSave_.setInterval(400);
    QObject::connect(&frameSave_, &QTimer::timeout, [this] { saveFrame(); });

    refresh(HistoryListChanges{});
    placeWindow();
    logWindow("built items=" + std::to_string(controller_.model().cells().size()) +
              " ms=" + std::to_string(built.elapsed()));
}

HistoryWindow::~HistoryWindow() = default;

void HistoryWindow::placeWindow() {
    const GridRect frame = frame_.frame(screenFrames(), preferredFrame, minWidth, minHeight);
    setGeometry(frame.x, frame.y, frame.width, frame.height);
    placed_ = true;
}

void HistoryWindow::refresh(const HistoryListChanges& changes) {
    const auto& model = controller_.model();
    pause_->setText(text(model.pauseTitle()));
    clear_->setEnabled(!model.isEmpty());
    pages_->setCurrentIndex(model.isEmpty() ? 0 : 1);
    grid_->cellsChanged(changes);
}

void HistoryWindow::askToClear() {
    if (!controller_.requestClear()) return;
    logWindow("clear_question");
    auto* question = new QMessageBox(QMessageBox::Warning, text(HistoryWindowText::clearQuestion),
                                     text(HistoryWindowText::clearQuestion), QMessageBox::NoButton, this);
    question->setInformativeText(text(HistoryWindowText::clearMessage));
    QPushButton* confirm = question->addButton(text(HistoryWindowText::clear), QMessageBox::DestructiveRole);
    question->addButton(QMessageBox::Cancel);
    question->setDefaultButton(QMessageBox::Cancel);
    question->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(question, &QMessageBox::finished, [this, question, confirm](int) {
        const bool confirmed = question->clickedButton() == confirm;
        logWindow(std::string("clear_answer confirmed=") + (confirmed ? "true" : "false"));
        controller_.answerClear(confirmed);
    });
    question->open();
}

void HistoryWindow::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    if (placed_ && isVisible()) frameSave_.start();
}

void HistoryWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (placed_ && isVisible()) frameSave_.start();
}

void HistoryWindow::closeEvent(QCloseEvent* event) {
    saveFrame();
    logWindow("closed");
    QWidget::closeEvent(event);
}

void HistoryWindow::saveFrame() {
    const QRect r = geometry();
    frame_.save({r.x(), r.y(), r.width(), r.height()});
}

HistoryWindowHost::~HistoryWindowHost() { close(); }

HistoryWindowHost::HistoryWindowHost(DesktopHistoryPorts ports)
    : ports_(ports), pinning_(ports.pins, ports.main) {}

void HistoryWindowHost::open() {
    if (window_) {
        window_->showNormal();
        window_->raise();
        window_->activateWindow();
        logWindow("raised");
        return;
    }
    QElapsedTimer shown;
    shown.start();
    auto* window = new HistoryWindow(HistoryWindowPorts{.store = ports_.store,
                                                        .preferences = ports_.preferences,
                                                        .clipboard = ports_.clipboard,
                                                        .saver = ports_.saver,
                                                        .alerts = ports_.alerts,
                                                        .fileManager = fileManager_,
                                                        .pins = &pinning_,
                                                        .editor = ports_.editor,
                                                        .activateApplication = {}},
                                     ports_.frames, ports_.main, ports_.background);
    window->opened = shown;
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    window->raise();
    window->activateWindow();
    window_ = window;
    logWindow("shown items=" + std::to_string(ports_.store.items().size()) +
              " ms=" + std::to_string(shown.elapsed()));
}

void HistoryWindowHost::close() {
    if (window_) delete window_.data();
}

}  // namespace tessarin
