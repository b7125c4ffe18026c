#include "core/recording/TextRecognitionManager.h"

#include <exception>
#include <memory>

#include "core/recording/SingleResume.h"

namespace tessarin {
namespace {

// Length of the line break starting at text[i], or 0 when there is none.
size_t lineBreakLength(std::string_view text, size_t i) {
    const auto byte = [&](size_t k) { return k < text.size() ? static_cast<unsigned char>(text[k]) : 0u; };
    const unsigned char c = byte(i);
    if (c >= 0x0a && c <= 0x0d) return 1;                       // LF, VT, FF, CR
    if (c == 0xc2 && byte(i + 1) == 0x85) return 2;             // NEL
    if (c == 0xe2 && byte(i + 1) == 0x80 && (byte(i + 2) == 0xa8 || byte(i + 2) == 0xa9)) return 3;  // LS, PS
    return 0;
}

}  // namespace

void TextRecognitionManager::recognizeText(Image image, TextRecognitionRequest request,
                                           Completion<RecognizedBlocks> done) {
    if (!lifetime_.alive()) {
        main_.post([done = std::move(done)] { done(interruptedResult<RecognizedBlocks>(kCancelled)); });
        return;
    }
    // Posted back to the main executor whichever way the engine ends; after
    // shutdown() the result is dropped and `done` hears "cancelled".
    auto guard = std::make_shared<SingleResume<RecognizedBlocks>>(
        [&main = main_, done = lifetime_.guard(std::move(done))](RecognizedBlocks result) mutable {
            main.post([result = std::move(result), done = std::move(done)]() mutable { done(std::move(result)); });
        });
    background_.post([&recognizer = recognizer_, guard, image = std::move(image), request = std::move(request)]() mutable {
        try {
            guard->resume(recognizer.recognize(image, request));
        } catch (const std::exception& error) {
            guard->resume(unexpected(TextRecognitionError(TextRecognitionError::Kind::engineFailure, error.what())));
        } catch (...) {
            guard->resume(unexpected(TextRecognitionError(TextRecognitionError::Kind::engineFailure,
                                                          "the recognition engine stopped unexpectedly")));
        }
    });
}

void TextRecognitionManager::extractFullText(Image image, Completion<RecognizedText> done) {
    recognizeText(std::move(image), fullTextRequest(), [done = std::move(done)](RecognizedBlocks blocks) mutable {
        if (!blocks) {
            done(unexpected(blocks.error()));
            return;
        }
        done(joinedLines(*blocks));
    });
}

TextRecognitionRequest TextRecognitionManager::fullTextRequest() {
    return {{"zh-Hans", "zh-Hant", "en-US"}, RecognitionLevel::accurate, true, true};
}

std::string TextRecognitionManager::joinedLines(const std::vector<RecognizedBlock>& blocks) {
    std::string text;
    for (size_t i = 0; i < blocks.size(); ++i) {
        if (i > 0) text += '\n';
        text += blocks[i].text;
    }
    return text;
}

std::string TextRecognitionManager::collapsingLinebreaks(std::string_view text) {
    std::string collapsed;
    size_t pieceStart = 0;
    const auto takePiece = [&](size_t end) {
        if (end == pieceStart) return;
        if (!collapsed.empty()) collapsed += ' ';
        collapsed.append(text.substr(pieceStart, end - pieceStart));
    };
    for (size_t i = 0; i < text.size();) {
        const size_t length = lineBreakLength(text, i);
        if (length == 0) {
            ++i;
            continue;
        }
        takePiece(i);
        i += length;
        pieceStart = i;
    }
    takePiece(text.size());
    return collapsed;
}

}  // namespace tessarin
