#include "app/desktop/DesktopShortcutList.h"

#include <QGridLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "core/common/Localization.h"
#include "core/shell/DesktopShortcutLinks.h"

namespace tessarin {
namespace {

QLabel* wrappedText(std::string_view text) {
    auto* label = new QLabel(QString::fromStdString(localized(text)));
    label->setWordWrap(true);
    return label;
}

}  // namespace

QWidget* desktopShortcutList(const QString& objectPrefix) {
    auto* box = new QWidget;
    box->setObjectName(objectPrefix + QStringLiteral(".desktopShortcuts"));
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(wrappedText(kDesktopShortcutsIntro));
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(12);
    int row = 0;
    for (const DesktopShortcutBinding& binding : desktopShortcutBindings()) {
        auto* command = new QLabel(QString::fromStdString(binding.command));
        command->setObjectName(objectPrefix + QStringLiteral(".desktopShortcut.") +
                               QString::fromUtf8(rawValue(binding.name).data()));
        command->setTextInteractionFlags(Qt::TextSelectableByMouse);
        QFont mono = command->font();
        mono.setFamily(QStringLiteral("monospace"));
        command->setFont(mono);
        grid->addWidget(new QLabel(QString::fromStdString(binding.title)), row, 0, Qt::AlignRight);
        grid->addWidget(command, row, 1, Qt::AlignLeft);
        ++row;
    }
    layout->addLayout(grid);
    layout->addWidget(wrappedText(kDesktopShortcutsOutro));
    return box;
}

}  // namespace tessarin
