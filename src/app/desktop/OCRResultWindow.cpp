#include "app/desktop/OCRResultWindow.h"

#include <QClipboard>
#include <QCursor>
#include <QFont>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "core/common/Localization.h"
#include "core/common/Log.h"
#include "core/recording/ScreenTextExtraction.h"

namespace tessarin {

namespace {
QString qt(const std::string& text) { return QString::fromStdString(text); }
}  // namespace

OCRResultWindow::OCRResultWindow()
    : heading_(new QLabel(this)),
      note_(new QLabel(this)),
      text_(new QPlainTextEdit(this)),
      copyAll_(new QPushButton(qt(localized("Copy All")), this)) {
    setAttribute(Qt::WA_DeleteOnClose, false);
    heading_->setObjectName(QStringLiteral("heading"));
    note_->setObjectName(QStringLiteral("note"));
    text_->setObjectName(QStringLiteral("text"));
    copyAll_->setObjectName(QStringLiteral("copyAll"));

    QFont headingFont = heading_->font();
    headingFont.setBold(true);
    headingFont.setPointSizeF(headingFont.pointSizeF() * 1.25);
    heading_->setFont(headingFont);
    note_->setWordWrap(true);
    note_->setAlignment(Qt::AlignCenter);
    text_->setReadOnly(true);
    text_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    connect(copyAll_, &QPushButton::clicked, this, [this] { copyAll(); });

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(copyAll_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 16, 20, 16);
    layout->setSpacing(12);
    layout->addWidget(heading_);
    layout->addWidget(note_, 1);
    layout->addWidget(text_, 1);
    layout->addLayout(buttons);
    resize(480, 360);
}

void OCRResultWindow::present(const std::string& text) {
    const OCRResultContent content = OCRResultContent::forText(text);
    setWindowTitle(qt(content.windowTitle));
    heading_->setText(qt(content.heading));
    // The text goes in the editor (selectable, scrolled); the empty note
    // stands alone in the middle.
    text_->setVisible(content.offersCopyAll);
    note_->setVisible(!content.offersCopyAll);
    copyAll_->setVisible(content.offersCopyAll);
    if (content.offersCopyAll) {
        text_->setPlainText(qt(content.body));
        note_->clear();
    } else {
        text_->clear();
        note_->setText(qt(content.body));
    }
    QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (screen) {
        QRect frame = rect();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    show();
    raise();
    activateWindow();
    logLine(LogLevel::info, LogCategory::capture,
            "ocr.result_window characters=" + std::to_string(text.size()));
}

void OCRResultWindow::copyAll() {
    QGuiApplication::clipboard()->setText(text_->toPlainText());
    logLine(LogLevel::info, LogCategory::capture, "ocr.copy_all");
}

}  // namespace tessarin
