#pragma once
// The system clipboard as capture output sees it. The desktop application
// implements it over its toolkit's clipboard; MemoryPasteboard stands in
// where there is none (tests, headless runs).

#include <memory>
#include <string>
#include <vector>

#include "core/common/Image.h"

namespace tessarin {

// One encoded form of the clipboard's item, offered under a MIME type.
struct ClipboardRepresentation {
    std::string mimeType;
    std::vector<uint8_t> bytes;
    friend bool operator==(const ClipboardRepresentation&, const ClipboardRepresentation&) = default;
};

class Pasteboard {
public:
    virtual ~Pasteboard() = default;
    virtual void clearContents() = 0;
    // Puts one item offered in every given representation; returns whether
    // the clipboard took it.
    virtual bool writeItem(std::vector<ClipboardRepresentation> representations) = 0;
    // Puts the image itself, for the platform to encode as it can; the
    // fallback when no representation could be encoded.
    virtual bool writeImage(std::shared_ptr<const Image> image) = 0;
};

class MemoryPasteboard final : public Pasteboard {
public:
    void clearContents() override {
        representations.clear();
        image.reset();
        ++changeCount;
    }
    bool writeItem(std::vector<ClipboardRepresentation> items) override {
        if (refuseWrites) return false;
        representations = std::move(items);
        return true;
    }
    bool writeImage(std::shared_ptr<const Image> picture) override {
        if (refuseWrites) return false;
        image = std::move(picture);
        return true;
    }

    std::vector<ClipboardRepresentation> representations;
    std::shared_ptr<const Image> image;
    int changeCount = 0;
    bool refuseWrites = false;
};

}  // namespace tessarin
