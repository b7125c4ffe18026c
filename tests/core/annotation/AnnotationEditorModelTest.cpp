// The editor model: initial state, tools and shared style, layers, keys,
// crop and background panels, and the export with its faults; the host
// that guards unsaved edits when closing, replacing and quitting.

#include <gtest/gtest.h>

#include "EditorTestSupport.h"
#include "core/annotation/AnnotationCropTool.h"
#include "core/annotation/AnnotationEditorHost.h"
#include "core/annotation/OtherAnnotations.h"
#include "core/annotation/RectAnnotations.h"

namespace tessarin {
namespace {

using T = AnnotationToolType;
using Kind = AnnotationDeliveryResult::Kind;
const AnnotationColor red = AnnotationColor::systemRed();
const AnnotationColor yellow = AnnotationColor::systemYellow();

// Renders an image of the crop's size (or the draw rectangle's), now or when told.
struct FakeRenderer final : AnnotationExportRenderer {
    bool deferred = false;
    bool fails = false;
    std::vector<AnnotationCompositeInputs> received;
    std::vector<std::function<void(std::optional<Image>)>> pending;

    void render(AnnotationCompositeInputs inputs, std::function<void(std::optional<Image>)> finished) override {
        received.push_back(inputs);
        pending.push_back(std::move(finished));
        if (!deferred) finishAll();
    }
    void finishAll() {
        auto callbacks = std::exchange(pending, {});
        for (size_t i = 0; i < callbacks.size(); ++i) {
            const Rect r = received[received.size() - callbacks.size() + i].cropRect.value_or(Rect{0, 0, 8, 8});
            callbacks[i](fails ? std::nullopt : Image::allocate(uint32_t(r.width), uint32_t(r.height)));
        }
    }
};

struct FakeDelivery final : AnnotationExportDelivery {
    AnnotationDeliveryResult result = AnnotationDeliveryResult::delivered();
    int saved = 0, copied = 0;
    void saveAs(std::shared_ptr<const Image>, AnnotationDeliveryCallback done) override {
        ++saved;
        done(result);
    }
    void copy(std::shared_ptr<const Image>, AnnotationDeliveryCallback done) override {
        ++copied;
        done(result);
    }
};

struct FakeToolMemory final : AnnotationToolMemory {
    std::optional<T> stored;
    std::optional<T> lastTool() const override { return stored; }
    void rememberTool(T tool) override { stored = tool; }
};

struct Editor {
    testing::ManualClock clock;
    FakeRenderer renderer;
    FakeDelivery delivery;
    FakeToolMemory memory;
    std::vector<std::pair<AnnotationID, uint32_t>> completions;  // session, image width
    AnnotationDeliveryResult completionResult = AnnotationDeliveryResult::delivered();

    AnnotationEditorSessionPtr session() {
        auto image = std::make_shared<const Image>(*Image::allocate(400, 300));
        auto id = std::make_shared<AnnotationID>();
        auto s = std::make_shared<AnnotationEditorSession>(
            image, [this, id](std::shared_ptr<const Image> img, AnnotationDeliveryCallback done) {
                if (completionResult.kind == Kind::delivered) completions.emplace_back(*id, img->width());
                done(completionResult);
            });
        *id = s->id();
        return s;
    }
    AnnotationEditorModel::Dependencies deps(bool withMemory = false) {
        AnnotationEditorModel::Dependencies d;
        d.measurer = std::make_shared<testing::FakeTextMeasurer>();
        d.renderer = &renderer;
        d.delivery = &delivery;
        d.toolMemory = withMemory ? &memory : nullptr;
        d.clock = clock.function();
        return d;
    }
    std::unique_ptr<AnnotationEditorModel> model(bool withMemory = false) {
        return std::make_unique<AnnotationEditorModel>(session(), deps(withMemory));
    }
    AnnotationEditorHost host() {
        return AnnotationEditorHost([this](AnnotationEditorSessionPtr s) {
            return std::make_unique<AnnotationEditorModel>(std::move(s), deps());
        });
    }
};

void drawBox(AnnotationEditorModel& m, Point from = {10, 10}, Point to = {60, 60}) {
    m.setSelectedTool(T::rectangle);
    m.canvas().mouseDown(from, 1, {});
    m.canvas().mouseDragged(to, {});
    m.canvas().mouseUp(to, {});
}

TEST(AnnotationEditorModel, StartsEmptyWithTheSharedStyleAndTheRememberedTool) {
    Editor e;
    const auto m = e.model();
    EXPECT_FALSE(m->canUndo() || m->canRedo() || m->isExporting() || m->sidebarPanel() || m->cropSession());
    EXPECT_EQ(m->toolHandler(T::arrow).style.lineWidth, m->sharedMetrics().strokeWidth) << "the shared style reached the tools";
    e.memory.stored = T::text;
    EXPECT_EQ(e.model(true)->selectedTool(), T::text);
    e.model(true)->setSelectedTool(T::circle);
    EXPECT_EQ(e.memory.stored, T::circle);
}

TEST(AnnotationEditorModel, HighlighterTurnsRedYellowOncePerEditor) {
    Editor e;
    const auto m = e.model();
    m->setSelectedTool(T::highlighter);
    EXPECT_EQ(m->globalColor(), yellow);
    EXPECT_EQ(m->toolHandler(T::arrow).style.color, yellow);
    m->setColor(red);
    m->setSelectedTool(T::arrow);
    m->setSelectedTool(T::highlighter);
    EXPECT_EQ(m->globalColor(), red) << "a red chosen later stays";

    const auto other = e.model();
    other->setColor(AnnotationColor::black());
    other->setSelectedTool(T::highlighter);
    EXPECT_EQ(other->globalColor(), AnnotationColor::black()) << "only red turns yellow";
    EXPECT_TRUE(other->hasAppliedDefaultHighlighterColor());
}

TEST(AnnotationEditorModel, FillToggleOnlyForShapesThatFill) {
    Editor e;
    const auto m = e.model();
    const struct {
        T tool;
        std::set<T> after;
    } cases[] = {{T::arrow, {T::number}}, {T::rectangle, {T::number, T::rectangle}}, {T::circle, {T::number, T::rectangle, T::circle}},
                 {T::number, {T::rectangle, T::circle}}, {T::text, {T::rectangle, T::circle}}};
    for (const auto& c : cases) {
        m->toggleFill(c.tool);
        EXPECT_EQ(m->filledShapeTools(), c.after) << rawValue(c.tool);
    }
    EXPECT_TRUE(m->toolHandler(T::rectangle).style.filled);
}

TEST(AnnotationEditorModel, StyleChangesReachTheSelectionAsOneStep) {
    Editor e;
    const auto m = e.model();
    drawBox(*m);
    const auto box = std::dynamic_pointer_cast<RectangleAnnotation>(m->document().annotations.back());
    ASSERT_TRUE(box);
    for (double w = 3; w <= 9; ++w) m->updateParameter(w, AnnotationMetricKind::strokeWidth, true);
    m->endAdjusting();
    EXPECT_EQ(box->lineWidth, 9);
    EXPECT_EQ(m->sharedMetrics().strokeWidth, 9);
    EXPECT_EQ(m->document().editLog.undoStack().size(), 2u);
    m->updateParameter(40, AnnotationMetricKind::fontSize);
    EXPECT_EQ(m->sharedMetrics().fontSize, 16) << "a metric the toolbar does not show is ignored";
    m->setColor(AnnotationColor::white());
    EXPECT_EQ(box->color, AnnotationColor::white());
    m->canvas().deselect();
    EXPECT_EQ(m->styleState().metrics[0].value, 9) << "the tool's shared style without a selection";
    m->setSelectedTool(T::pixelate);
    m->canvas().mouseDown({100, 100}, 1, {});  // a mosaic box
    m->canvas().mouseUp({150, 150}, {});
    m->canvas().deselect();
    m->setColor(red);
    m->setSelectedTool(T::rectangle);
    m->updateParameter(4, AnnotationMetricKind::strokeWidth);
    drawBox(*m, {200, 200}, {250, 250});  // red, width 4
    const auto ids = m->document().order();
    m->selectLayers({ids.begin(), ids.end()});
    const auto mixed = m->styleState();
    EXPECT_EQ(mixed.selectionCount, 3u);
    EXPECT_TRUE(mixed.colorMixed) << "white and red";
    ASSERT_EQ(mixed.metrics.size(), 2u) << "stroke width and mosaic radius";
    EXPECT_TRUE(mixed.metrics[0].mixed) << "widths 9 and 4";
    EXPECT_FALSE(mixed.metrics[1].mixed);
    EXPECT_TRUE(mixed.showsMosaicEffect);
}

TEST(AnnotationEditorModel, KeysOnTheCanvas) {
    Editor e;
    const auto m = e.model();
    EXPECT_TRUE(m->handleKey(AnnotationKey::of(U'r')));
    EXPECT_EQ(m->selectedTool(), T::rectangle);
    EXPECT_FALSE(m->handleKey(AnnotationKey::of(U'o', {false, false, true, false}))) << "Ctrl+O is the window's";
    EXPECT_EQ(m->selectedTool(), T::rectangle);
    drawBox(*m);
    EXPECT_TRUE(m->handleKey(AnnotationKey::named(AnnotationKey::Kind::escape)));
    EXPECT_TRUE(m->document().selectedIDs.empty());
    m->selectLayers({m->document().annotations[0]->id()});
    EXPECT_TRUE(m->handleKey(AnnotationKey::named(AnnotationKey::Kind::deleteKey)));
    EXPECT_TRUE(m->document().annotations.empty());
    m->setSelectedTool(T::rectangle);
    m->canvas().mouseDown({100, 100}, 1, {});
    m->canvas().mouseDragged({150, 150}, {});
    m->handleKey(AnnotationKey::of(U'a'));  // ends the drag first
    EXPECT_FALSE(m->canvas().isDragging());
    EXPECT_EQ(m->document().annotations.size(), 1u) << "the box drawn so far was kept";
}

TEST(AnnotationEditorModel, LayersPanelOperations) {
    Editor e;
    const auto m = e.model();
    drawBox(*m, {0, 0}, {10, 10});
    drawBox(*m, {20, 20}, {30, 30});
    drawBox(*m, {40, 40}, {50, 50});
    const auto ids = m->document().order();  // bottom to top
    EXPECT_EQ(m->layers().at(0).id, ids[2]) << "the panel lists the top-most first";

    m->moveLayerRows({0}, 3);  // top row to the bottom
    EXPECT_EQ(m->document().order(), (std::vector{ids[2], ids[0], ids[1]}));
    m->undo();
    EXPECT_EQ(m->document().order(), ids);
    m->moveLayers({ids[0]}, AnnotationLayerPlacement::front);
    EXPECT_EQ(m->document().order().back(), ids[0]);
    m->toggleLayerVisibility(ids[1]);
    EXPECT_TRUE(m->layers()[2].isHidden || m->layers()[1].isHidden);
    m->deleteLayers({ids[1]});
    EXPECT_EQ(m->document().annotations.size(), 2u) << "the panel may delete a hidden layer";
}

TEST(AnnotationEditorModel, CropPanelAppliesOnLeavingAndRestoresThePanelBefore) {
    struct FixedCrop final : AnnotationCropSession {
        std::optional<Rect> rectToApply() const override { return Rect{10, 10, 100, 50}; }
        AnnotationCropKeyResult handleKey(const AnnotationKey&) override { return AnnotationCropKeyResult::handled; }
    };
    Editor e;
    auto deps = e.deps();
    deps.cropSessions = [](std::optional<Rect>, const Rect&) { return std::make_unique<FixedCrop>(); };
    AnnotationEditorModel m(e.session(), deps);
    m.toggleSidebarPanel(AnnotationSidebarPanel::layers);
    m.toggleSidebarPanel(AnnotationSidebarPanel::crop);
    ASSERT_TRUE(m.cropSession());
    EXPECT_TRUE(m.handleKey(AnnotationKey::of(U'r'))) << "keys go to the crop";
    EXPECT_EQ(m.selectedTool(), T::freehand);
    m.toggleSidebarPanel(AnnotationSidebarPanel::crop);
    EXPECT_FALSE(m.cropSession());
    EXPECT_EQ(m.document().cropRect, (Rect{10, 10, 100, 50}));
    EXPECT_EQ(m.sidebarPanel(), AnnotationSidebarPanel::layers);
    m.undo();
    m.toggleSidebarPanel(AnnotationSidebarPanel::crop);
    m.cancelCrop();
    EXPECT_FALSE(m.document().cropRect) << "cancel applies nothing";

    m.toggleSidebarPanel(AnnotationSidebarPanel::crop);
    m.toggleSidebarPanel(AnnotationSidebarPanel::background);
    EXPECT_EQ(m.sidebarPanel(), AnnotationSidebarPanel::background) << "from the crop straight to another panel";
    EXPECT_EQ(m.document().cropRect, (Rect{10, 10, 100, 50}));
}

TEST(AnnotationEditorModel, TheCropToolAppliesItsRectangleOnReturnAndEscapeKeepsTheOldOne) {
    Editor e;
    auto deps = e.deps();
    deps.cropSessions = AnnotationCropTool::factory(1.0);
    AnnotationEditorModel m(e.session(), deps);
    m.toggleSidebarPanel(AnnotationSidebarPanel::crop);
    auto* tool = dynamic_cast<AnnotationCropTool*>(m.cropSession());
    ASSERT_TRUE(tool && tool->state().beginDrag({400, 300}));
    tool->state().dragTo({300, 200});
    tool->state().endDrag();
    EXPECT_TRUE(m.handleKey(AnnotationKey::named(AnnotationKey::Kind::returnKey)));
    EXPECT_FALSE(m.cropSession());
    EXPECT_EQ(m.document().cropRect, (Rect{0, 0, 300, 200}));

    m.toggleSidebarPanel(AnnotationSidebarPanel::crop);
    tool = dynamic_cast<AnnotationCropTool*>(m.cropSession());
    ASSERT_TRUE(tool && tool->state().beginDrag({300, 200})) << "the session starts from the crop";
    tool->state().dragTo({150, 100});
    EXPECT_TRUE(m.handleKey(AnnotationKey::named(AnnotationKey::Kind::escape)));
    EXPECT_EQ(m.document().cropRect, (Rect{0, 0, 300, 200}));
}

TEST(AnnotationEditorModel, BackgroundToggleRemembersTheLastStyle) {
    Editor e;
    const auto m = e.model();
    m->setBackgroundEnabled(true);
    AnnotationBackgroundStyle blurred;
    blurred.fill = AnnotationBackgroundFill::Blur{0.8};
    m->updateBackground(blurred);
    m->setBackgroundEnabled(false);
    EXPECT_FALSE(m->document().background);
    m->setBackgroundEnabled(true);
    EXPECT_EQ(m->document().background, blurred);
    EXPECT_EQ(m->document().editLog.undoStack().size(), 4u);
}

TEST(AnnotationEditorModel, FillsKeepTheFrameAndEachIsOneStepEvenMidDrag) {
    Editor e;
    const auto m = e.model();
    using namespace AnnotationBackgroundFill;
    m->updateBackgroundFill(Blur{m->backgroundPanel().lastBlurAmount});  // off before: the defaults around it
    EXPECT_EQ(m->document().background, (AnnotationBackgroundStyle{Blur{0.5}, 48, 12, 0.5}));
    AnnotationBackgroundStyle wider = *m->document().background;
    wider.padding = 80;
    m->updateBackground(wider, true);  // a slider still held
    m->selectCustomBackgroundColor({0.1, 0.2, 0.3, 1});
    EXPECT_EQ(m->backgroundPanel().customBackgroundColor, (AnnotationBackgroundColor{0.1, 0.2, 0.3, 1}));
    EXPECT_EQ(m->document().background, (AnnotationBackgroundStyle{Solid{{0.1, 0.2, 0.3, 1}}, 80, 12, 0.5}));
    const auto picture = std::make_shared<const Image>(*Image::allocate(4, 4));
    m->updateBackgroundFill(Picture{{picture, "p.png"}});
    EXPECT_EQ(m->document().editLog.undoStack().size(), 4u) << "the colour did not merge into the padding drag";
    m->undo();
    m->undo();
    EXPECT_EQ(m->document().background->padding, 80);
    EXPECT_EQ(m->document().background->fill, Fill(Blur{0.5}));
}

TEST(AnnotationEditorModel, TheCanvasShowsTheFrameExceptWhileCropping) {
    Editor e;
    const auto m = e.model();  // 400 x 300
    m->setBackgroundEnabled(true);
    m->canvas().setCropRect(Rect{100, 100, 200, 100});
    const AnnotationCanvasFrame framed = m->canvasFrame();
    EXPECT_EQ(std::tie(framed.width, framed.height, framed.offsetX, framed.offsetY),
              std::tuple(296u, 196u, int64_t{48 - 100}, int64_t{48 - 100}));
    m->toggleSidebarPanel(AnnotationSidebarPanel::crop);
    const AnnotationCanvasFrame cropping = m->canvasFrame();
    EXPECT_EQ(std::tie(cropping.width, cropping.height, cropping.offsetX, cropping.offsetY),
              std::tuple(400u, 300u, int64_t{0}, int64_t{0}));
}

TEST(AnnotationEditorModel, TheBackgroundStaysAsItIsWhileExporting) {
    Editor e;
    e.renderer.deferred = true;
    const auto m = e.model();
    drawBox(*m);
    ASSERT_TRUE(m->requestExport(AnnotationExportAction::copy));
    m->setBackgroundEnabled(true);
    m->updateBackgroundFill(AnnotationBackgroundFill::Blur{0.2});
    EXPECT_FALSE(m->document().background);
    e.renderer.finishAll();
    m->setBackgroundEnabled(true);
    EXPECT_TRUE(m->document().background);
}

TEST(AnnotationEditorModel, ExportCommitsTypedTextAndAnOpenCropFirst) {
    struct HalfCrop final : AnnotationCropSession {
        std::optional<Rect> rectToApply() const override { return Rect{0, 0, 200, 150}; }
        AnnotationCropKeyResult handleKey(const AnnotationKey&) override { return AnnotationCropKeyResult::ignored; }
    };
    Editor e;
    auto deps = e.deps();
    deps.cropSessions = [](std::optional<Rect>, const Rect&) { return std::make_unique<HalfCrop>(); };
    AnnotationEditorModel m(e.session(), deps);
    m.setSelectedTool(T::text);
    m.canvas().mouseDown({20, 100}, 1, {});
    m.canvas().mouseUp({20, 100}, {});
    m.canvas().updatePendingText("typed");
    m.toggleSidebarPanel(AnnotationSidebarPanel::crop);
    EXPECT_TRUE(m.hasUnsavedChanges());

    ASSERT_TRUE(m.requestExport(AnnotationExportAction::copy));
    const auto& inputs = e.renderer.received.at(0);
    ASSERT_EQ(inputs.annotations.size(), 1u);
    EXPECT_EQ(dynamic_cast<TextAnnotation&>(*inputs.annotations[0]).text, "typed");
    EXPECT_EQ(inputs.cropRect, (Rect{0, 0, 200, 150}));
    EXPECT_EQ(e.delivery.copied, 1);
}

TEST(AnnotationEditorModel, ExportIgnoresRequestsWhileRunningAndCompletesOnce) {
    Editor e;
    e.renderer.deferred = true;
    const auto m = e.model();
    drawBox(*m);
    EXPECT_TRUE(m->requestExport(AnnotationExportAction::done));
    for (const auto action : {AnnotationExportAction::done, AnnotationExportAction::saveAs, AnnotationExportAction::copy}) {
        EXPECT_FALSE(m->requestExport(action)) << "while exporting";
    }
    m->canvas().removeAnnotations({m->document().annotations[0]->id()});
    e.renderer.finishAll();
    EXPECT_EQ(e.renderer.received.size(), 1u);
    EXPECT_EQ(e.renderer.received[0].annotations.size(), 1u) << "a later edit does not reach the running export";
    EXPECT_EQ(e.completions.size(), 1u);

    std::optional<AnnotationExportOutcome> second;
    m->requestExport(AnnotationExportAction::done, [&](AnnotationExportOutcome o) { second = o; });
    e.renderer.finishAll();
    ASSERT_TRUE(second);
    EXPECT_EQ(second->result.kind, Kind::failed) << "the session completes once";
    EXPECT_EQ(e.completions.size(), 1u);
}

TEST(AnnotationEditorModel, AFailedExportSaysSoAndKeepsTheEditorOpen) {
    Editor e;
    e.renderer.fails = true;
    auto host = e.host();
    host.open(e.session());
    drawBox(*host.model());
    EXPECT_TRUE(host.done());
    EXPECT_TRUE(host.isWindowOpen());
    EXPECT_EQ(host.model()->exportError(), std::string(AnnotationExportController::kRenderFailedMessage));

    e.renderer.fails = false;
    e.delivery.result = AnnotationDeliveryResult::failed("Disk full");
    host.model()->requestExport(AnnotationExportAction::saveAs);
    EXPECT_EQ(host.model()->exportError(), "Disk full");
    e.delivery.result = AnnotationDeliveryResult::cancelled();
    host.model()->requestExport(AnnotationExportAction::saveAs);
    EXPECT_FALSE(host.model()->exportError()) << "cancelling the dialog is no error";
}

TEST(AnnotationEditorHost, ClosePromptAndItsThreeAnswers) {
    Editor e;
    auto host = e.host();
    host.open(e.session());
    host.requestClose();
    EXPECT_FALSE(host.isWindowOpen()) << "no changes: closes without asking";
    EXPECT_FALSE(host.prompt());

    const struct {
        AnnotationClosePromptChoice choice;
        bool deliveryWorks;
        bool staysOpen;
        size_t completions;
    } cases[] = {{AnnotationClosePromptChoice::cancel, true, true, 0},
                 {AnnotationClosePromptChoice::dontSave, true, false, 0},
                 {AnnotationClosePromptChoice::save, true, false, 1},
                 {AnnotationClosePromptChoice::save, false, true, 0}};
    for (const auto& c : cases) {
        Editor f;
        if (!c.deliveryWorks) f.completionResult = AnnotationDeliveryResult::failed("The history item is gone.");
        auto h = f.host();
        h.open(f.session());
        drawBox(*h.model());
        h.requestClose();
        ASSERT_TRUE(h.prompt());
        EXPECT_EQ(h.prompt()->reason, AnnotationClosePrompt::Reason::close);
        h.answerPrompt(c.choice);
        EXPECT_EQ(h.isWindowOpen(), c.staysOpen);
        EXPECT_EQ(f.completions.size(), c.completions);
        EXPECT_FALSE(h.prompt());
        if (!c.deliveryWorks) { EXPECT_EQ(h.model()->exportError(), "The history item is gone."); }
    }
}

TEST(AnnotationEditorHost, ANewSessionOverUnsavedEditsAsksAndCancelQueuesIt) {
    Editor e;
    auto host = e.host();
    const auto first = e.session();
    const auto second = e.session();
    host.open(first);
    drawBox(*host.model());
    host.open(second);
    ASSERT_TRUE(host.prompt());
    EXPECT_EQ(host.prompt()->reason, AnnotationClosePrompt::Reason::newSession);
    EXPECT_EQ(host.currentSession(), first) << "nothing replaced yet";
    host.answerPrompt(AnnotationClosePromptChoice::cancel);
    EXPECT_EQ(host.currentSession(), first);
    ASSERT_EQ(host.queuedSessions().size(), 1u);
    ASSERT_TRUE(host.done());
    ASSERT_EQ(e.completions.size(), 1u);
    EXPECT_EQ(e.completions[0].first, first->id()) << "the image went to its own session";
    EXPECT_EQ(host.currentSession(), second) << "then the queued one shows";

    host.open(e.session());
    EXPECT_FALSE(host.prompt()) << "no edits: replaced without asking";

    drawBox(*host.model());
    const auto third = e.session();
    host.open(third);
    host.answerPrompt(AnnotationClosePromptChoice::save);
    EXPECT_EQ(host.currentSession(), third);
    EXPECT_EQ(e.completions.size(), 2u);
}

TEST(AnnotationEditorHost, DoneGoesToTheSessionItStartedFor) {
    Editor e;
    e.renderer.deferred = true;
    auto host = e.host();
    const auto first = e.session();
    host.open(first);
    drawBox(*host.model());
    ASSERT_TRUE(host.done());
    host.open(e.session());  // arrives while exporting: waits its turn
    EXPECT_EQ(host.currentSession(), first);
    e.renderer.finishAll();
    ASSERT_EQ(e.completions.size(), 1u);
    EXPECT_EQ(e.completions[0].first, first->id());
    EXPECT_NE(host.currentSession(), first);
    EXPECT_TRUE(host.isWindowOpen());
}

TEST(AnnotationEditorHost, ASessionWithoutARouteNeverReportsDoneSuccess) {
    Editor e;
    auto host = e.host();
    host.open(std::make_shared<AnnotationEditorSession>(std::make_shared<const Image>(*Image::allocate(4, 4)), nullptr));
    drawBox(*host.model());
    host.done();
    EXPECT_TRUE(host.isWindowOpen());
    EXPECT_EQ(host.model()->exportError(), std::string(AnnotationEditorSession::kNoRouteMessage));
}

TEST(AnnotationEditorHost, QuitGoesThroughThePromptAndWaitsForARunningExport) {
    Editor e;
    auto host = e.host();
    host.open(e.session());
    drawBox(*host.model());
    std::optional<bool> mayQuit;
    const auto quit = [&] { host.requestQuit([&](bool ok) { mayQuit = ok; }); };
    quit();
    host.answerPrompt(AnnotationClosePromptChoice::cancel);
    EXPECT_EQ(mayQuit, false);
    EXPECT_TRUE(host.isWindowOpen());
    quit();
    host.answerPrompt(AnnotationClosePromptChoice::save);
    EXPECT_EQ(mayQuit, true);
    EXPECT_EQ(e.completions.size(), 1u);

    Editor f;
    f.renderer.deferred = true;
    auto exporting = f.host();
    exporting.open(f.session());
    drawBox(*exporting.model());
    exporting.done();
    exporting.requestQuit([&](bool ok) { mayQuit = ok; });
    EXPECT_EQ(mayQuit, false);
    f.renderer.finishAll();
    EXPECT_EQ(f.completions.size(), 1u);
    exporting.requestQuit([&](bool ok) { mayQuit = ok; });
    EXPECT_EQ(mayQuit, true);
}

}  // namespace
}  // namespace tessarin
