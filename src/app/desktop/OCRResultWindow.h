#pragma once
// The window that shows the text read from a capture: "Recognized Text"
// over the text (selectable) and "Copy All", or the note that none was
// found. What it says comes from core/recording's OCRResultContent; this
// class lays it out and copies.

#include <QWidget>
#include <string>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace tessarin {

class OCRResultWindow final : public QWidget {
public:
    OCRResultWindow();

    // Shows `text` (the empty string: the no-text note), centred on the
    // screen under the pointer and in front.
    void present(const std::string& text);

private:
    void copyAll();

    QLabel* heading_;
    QLabel* note_;
    QPlainTextEdit* text_;
    QPushButton* copyAll_;
};

}  // namespace tessarin
