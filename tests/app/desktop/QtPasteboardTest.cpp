// What the clipboard offers after a capture is copied: every representation
// under its MIME type, byte for byte, or the image itself as a fallback.

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>

#include <gtest/gtest.h>

#include "app/desktop/QtPasteboard.h"
#include "app/desktop/QtTestApplication.h"

namespace tessarin {
namespace {

QGuiApplication& application() { return qtTestApplication(); }

TEST(QtPasteboard, OffersEachRepresentationUnderItsTypeAndReplacesTheLastItem) {
    application();
    QtPasteboard pasteboard;
    ASSERT_TRUE(pasteboard.writeItem({{"image/png", {1, 2, 3}}, {"image/tiff", {4, 5}}}));
    const QMimeData* offered = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(offered, nullptr);
    EXPECT_EQ(offered->data("image/png"), QByteArray("\x01\x02\x03", 3));
    EXPECT_EQ(offered->data("image/tiff"), QByteArray("\x04\x05", 2));

    ASSERT_TRUE(pasteboard.writeItem({{"image/png", {9}}}));
    EXPECT_FALSE(QGuiApplication::clipboard()->mimeData()->hasFormat("image/tiff"));
    EXPECT_FALSE(pasteboard.writeItem({}));
}

TEST(QtPasteboard, TheImageFallbackKeepsItsPixelsAfterTheCaptureIsGone) {
    application();
    QtPasteboard pasteboard;
    auto image = std::make_shared<Image>(*Image::allocate(2, 1));
    const uint8_t pixels[] = {255, 0, 0, 255, 0, 0, 255, 128};
    std::copy(std::begin(pixels), std::end(pixels), image->data());
    ASSERT_TRUE(pasteboard.writeImage(image));
    image.reset();
    const QImage offered = QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGBA8888);
    ASSERT_EQ(offered.size(), QSize(2, 1));
    EXPECT_EQ(offered.pixelColor(0, 0), QColor(255, 0, 0, 255));
    EXPECT_EQ(offered.pixelColor(1, 0).alpha(), 128);
    EXPECT_FALSE(pasteboard.writeImage(nullptr));
}

}  // namespace
}  // namespace tessarin
