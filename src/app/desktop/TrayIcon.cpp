#include "app/desktop/TrayIcon.h"

#include <QAction>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <initializer_list>

#include "core/common/Log.h"

namespace tessarin {
namespace {

// A viewfinder: four corner brackets around a lens; while capturing, a red
// recording dot fills the lens.
QPixmap drawIcon(int size, bool capturing) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    // A tile keeps the icon readable on light and dark panels alike.
    QPainterPath tile;
    tile.addRoundedRect(QRectF(0.04 * s, 0.04 * s, 0.92 * s, 0.92 * s), 0.2 * s, 0.2 * s);
    QLinearGradient gradient(0, 0, 0, s);
    gradient.setColorAt(0, QColor(0x3b, 0x82, 0xf6));
    gradient.setColorAt(1, QColor(0x1d, 0x4e, 0xd8));
    painter.fillPath(tile, gradient);
    QPen pen(Qt::white, std::max(1.5, s / 11.0), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(pen);
    const qreal inset = 0.22 * s;
    const qreal arm = 0.22 * s;
    const QRectF box(inset, inset, s - 2 * inset, s - 2 * inset);
    const QPointF corners[4] = {box.topLeft(), box.topRight(), box.bottomRight(), box.bottomLeft()};
    const QPointF directions[4][2] = {{{1, 0}, {0, 1}}, {{-1, 0}, {0, 1}}, {{-1, 0}, {0, -1}}, {{1, 0}, {0, -1}}};
    for (int i = 0; i < 4; ++i) {
        QPainterPath bracket;
        bracket.moveTo(corners[i] + directions[i][0] * arm);
        bracket.lineTo(corners[i]);
        bracket.lineTo(corners[i] + directions[i][1] * arm);
        painter.drawPath(bracket);
    }
    const qreal lens = box.width() * (capturing ? 0.42 : 0.30);
    const QRectF lensRect(box.center().x() - lens / 2, box.center().y() - lens / 2, lens, lens);
    if (capturing) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0xef, 0x44, 0x44));
        painter.drawEllipse(lensRect);
    } else {
        painter.drawEllipse(lensRect);
    }
    return pixmap;
}

QIcon iconOfSizes(bool capturing, std::initializer_list<int> sizes) {
    QIcon icon;
    for (int size : sizes) icon.addPixmap(drawIcon(size, capturing));
    return icon;
}

// Panels ask for any of these.
constexpr std::initializer_list<int> kTraySizes = {16, 22, 24, 32, 48, 64, 128, 256};

}  // namespace

QIcon trayIdleIcon() { return iconOfSizes(false, kTraySizes); }
QIcon trayCapturingIcon() { return iconOfSizes(true, kTraySizes); }
// Window lists and switchers show 16 to 64 pixels, a 128 for large ones;
// the guide draws it at 96 (scaled down from 128).
QIcon applicationIcon() { return iconOfSizes(false, {16, 24, 32, 48, 64, 128}); }
QIcon smallWindowIcon() {
    static const QIcon icon = iconOfSizes(false, {16});
    return icon;
}

TrayIcon::TrayIcon(TessarinApp& app) : app_(app) {
    buildMenu();
    refreshIcon();
    icon_.setToolTip(QStringLiteral("Tessarin"));
    icon_.setContextMenu(&menu_);
    // A left click opens the same menu, as a tray menu does on most desktops.
    connect(&icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger) {
            refreshMenu();
            menu_.popup(QCursor::pos());
        }
    });
    connect(&menu_, &QMenu::aboutToShow, this, [this] { refreshMenu(); });
    stateSubscription_ = app_.appState().subscribe([this] { refreshIcon(); });
    shortcutSubscription_ = app_.shortcuts().subscribe([this](ShortcutName) { refreshMenu(); });
    if (!hostAvailable()) {
        logLine(LogLevel::info, LogCategory::app, "tray.unavailable no system tray host; shortcuts and links still work");
    }
    icon_.show();
}

TrayIcon::~TrayIcon() { icon_.hide(); }

bool TrayIcon::hostAvailable() const { return QSystemTrayIcon::isSystemTrayAvailable(); }

void TrayIcon::buildMenu() {
    const auto rows = app_.menuRows();
    for (const auto& row : rows) {
        QAction* action = nullptr;
        if (row.kind == MenuRow::Kind::separator) {
            action = menu_.addSeparator();
        } else {
            action = menu_.addAction(QString::fromStdString(row.title));
            const MenuAction which = row.action;
            connect(action, &QAction::triggered, this,
                    [this, which] { app_.appState().perform(which, ActionSource::menu); });
        }
        actions_.push_back(action);
    }
    refreshMenu();
}

void TrayIcon::refreshMenu() {
    const auto rows = app_.menuRows();
    for (size_t i = 0; i < rows.size() && i < actions_.size(); ++i) {
        QAction* action = actions_[i];
        const auto& row = rows[i];
        action->setVisible(row.visible);
        if (row.kind == MenuRow::Kind::separator) continue;
        // A menu shows the text after a tab right-aligned, as a shortcut.
        const std::string& keys = row.shortcutText.empty() ? row.keyEquivalent : row.shortcutText;
        QString text = QString::fromStdString(row.title);
        if (!keys.empty()) text += QLatin1Char('\t') + QString::fromStdString(keys);
        action->setText(text);
    }
}

void TrayIcon::refreshIcon() {
    const bool busy = app_.appState().isCapturing() || app_.appState().isRecording();
    icon_.setIcon(busy ? trayCapturingIcon() : trayIdleIcon());
}

}  // namespace tessarin
