#include "app/desktop/DesktopAnnotationEditor.h"

#include <QTimer>
#include <cmath>

#include "app/desktop/EditorCanvasPixels.h"
#include "app/desktop/EditorExport.h"
#include "app/desktop/EditorWindow.h"
#include "core/annotation/AnnotationCropTool.h"
#include "core/annotation/AnnotationEditorRenderer.h"
#include "core/annotation/OtherAnnotations.h"
#include "core/annotation/AnnotationTextLines.h"
#include "core/common/Log.h"
#include "core/preferences/AppPreferences.h"
#include "core/preferences/HistoryPreferences.h"

namespace tessarin {
namespace {

class PreferenceToolMemory final : public AnnotationToolMemory {
public:
    explicit PreferenceToolMemory(AppPreferences& preferences) : preferences_(preferences) {}
    std::optional<AnnotationToolType> lastTool() const override { return preferences_.lastAnnotationTool(); }
    void rememberTool(AnnotationToolType tool) override { preferences_.setLastAnnotationTool(tool); }

private:
    AppPreferences& preferences_;
};

// Text laid out at an average glyph width: what the editor measures with
// when the annotation module could not be loaded (it then shows the plain
// image and its exports fail with the reason).
class ApproximateTextMeasurer final : public TextMeasurer {
public:
    Size measure(std::string_view text, double fontSize, std::optional<double> wrapWidth, bool) const override {
        const double width = double(text.size()) * fontSize * 0.55;
        if (!wrapWidth || *wrapWidth <= 0 || width <= *wrapWidth) return {width, fontSize * 1.25};
        return {*wrapWidth, std::ceil(width / *wrapWidth) * fontSize * 1.25};
    }
};

// The lines of text of one session's image, read the first time the
// highlighter asks for one: most editing sessions never use it.
struct LazyTextLines {
    std::shared_ptr<const Image> image;
    std::function<void(const std::shared_ptr<const Image>&, std::function<void(std::vector<Rect>)>)> find;
    std::shared_ptr<AnnotationTextLines> lines = std::make_shared<AnnotationTextLines>();
    bool started = false;

    std::optional<Rect> lineAt(Point point) {
        if (!started && find && image) {
            started = true;
            const Rect drawRect{0, 0, double(image->width()), double(image->height())};
            find(image, [weak = std::weak_ptr<AnnotationTextLines>(lines), drawRect](std::vector<Rect> boxes) {
                if (auto alive = weak.lock()) alive->set(AnnotationTextLines::fromNormalized(boxes, drawRect));
            });
        }
        return lines->lineAt(point);
    }
};

}  // namespace

struct DesktopAnnotationEditor::Parts {
    explicit Parts(Dependencies d)
        : exportRenderer([this] { return renderer(); }, &pixels),
          delivery([&preferences = d.preferences] { return imageFormat(preferences.defaultImageFormat()); },
                   std::move(d.chooseFile)),
          toolMemory(d.preferences),
          findTextLines(std::move(d.findTextLines)),
          rendererSource(std::move(d.renderer)),
          pixels([this] { return renderer(); }),
          host([this](AnnotationEditorSessionPtr session) {
              AnnotationEditorModel::Dependencies deps;
              AnnotationEditorRenderer* drawing = renderer();
              deps.measurer = drawing ? drawing->textMeasurer() : std::make_shared<ApproximateTextMeasurer>();
              deps.renderer = &exportRenderer;
              deps.delivery = &delivery;
              deps.toolMemory = &toolMemory;
              // Captures are read at one pixel per point.
              deps.cropSessions = AnnotationCropTool::factory(1.0);
              // The highlighter snaps to lines of text once they are read
              // (in the background; until then it draws freely).
              auto lines = std::make_shared<LazyTextLines>();
              lines->image = session ? session->image() : nullptr;
              lines->find = findTextLines;
              deps.textLines = [lines](Point point) { return lines->lineAt(point); };
              return std::make_unique<AnnotationEditorModel>(std::move(session), std::move(deps));
          }) {}

    // The annotation module, loaded when the first editor opens.
    AnnotationEditorRenderer* renderer() {
        if (!rendererTried) {
            rendererTried = true;
            auto loaded = rendererSource ? Expected<AnnotationEditorRenderer*, std::string>(rendererSource())
                                         : loadAnnotationEditorRenderer();
            if (loaded && !*loaded) loaded = unexpected(std::string("no renderer was given"));
            if (loaded) {
                loadedRenderer = *loaded;
            } else {
                logLine(LogLevel::error, LogCategory::app, "editor.renderer_unavailable error=" + loaded.error());
            }
        }
        return loadedRenderer;
    }

    AnnotationEditorRenderer* loadedRenderer = nullptr;
    bool rendererTried = false;
    ModuleExportRenderer exportRenderer;
    QtExportDelivery delivery;
    PreferenceToolMemory toolMemory;
    std::function<void(const std::shared_ptr<const Image>&, std::function<void(std::vector<Rect>)>)> findTextLines;
    std::function<AnnotationEditorRenderer*()> rendererSource;
    TileCanvasPixels pixels;
    AnnotationEditorHost host;
};

DesktopAnnotationEditor::DesktopAnnotationEditor(Dependencies dependencies) {
    if (!dependencies.chooseFile) {
        dependencies.chooseFile = QtExportDelivery::fileDialog([this]() -> QWidget* { return window_.get(); });
    }
    parts_ = std::make_unique<Parts>(std::move(dependencies));
    window_ = std::make_unique<EditorWindow>(parts_->host, parts_->pixels, [parts = parts_.get()] { return parts->renderer(); });
    window_->setHidesWhenEmpty(true);
}

DesktopAnnotationEditor::~DesktopAnnotationEditor() = default;

void DesktopAnnotationEditor::present(SharedImage image, AnnotationEditorSession::Completion completion) {
    if (!image) return;
    // A delivery may finish later (a history write): the window then shows what became of it.
    auto completing = [window = window_.get(), completion = std::move(completion)](
                          std::shared_ptr<const Image> edited, AnnotationDeliveryCallback finished) {
        completion(std::move(edited), [window, finished = std::move(finished)](AnnotationDeliveryResult result) {
            finished(std::move(result));
            QTimer::singleShot(0, window, [window] { window->refresh(); });
        });
    };
    parts_->host.open(std::make_shared<AnnotationEditorSession>(std::move(image), std::move(completing)));
    logLine(LogLevel::info, LogCategory::app, "editor.opened");
    window_->refresh();
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void DesktopAnnotationEditor::open(SharedImage image, const CaptureSessionInfo&, Finished finished) {
    present(std::move(image), [finished = std::move(finished)](std::shared_ptr<const Image> edited,
                                                               AnnotationDeliveryCallback delivered) {
        if (finished) finished(std::move(edited));
        delivered(AnnotationDeliveryResult::delivered());
    });
}

void DesktopAnnotationEditor::openStandalone(SharedImage image) {
    present(std::move(image), [this](std::shared_ptr<const Image> edited, AnnotationDeliveryCallback delivered) {
        if (!standaloneRoute_) {
            delivered(AnnotationDeliveryResult::failed(std::string(AnnotationEditorSession::kNoRouteMessage)));
            return;
        }
        standaloneRoute_(std::move(edited));
        delivered(AnnotationDeliveryResult::delivered());
    });
}

void DesktopAnnotationEditor::requestQuit(std::function<void(bool)> decided) {
    parts_->host.requestQuit(std::move(decided));
    window_->refresh();
}

}  // namespace tessarin
