#pragma once
// The two file formats images are written in. JPEG is written at quality 0.9.

#include <algorithm>
#include <cctype>
#include <string>
#include <string_view>

namespace tessarin {

struct ImageFormat {
    enum class Kind { png, jpeg };
    Kind kind = Kind::png;
    double quality = 1.0;  // 0...1, JPEG only

    static ImageFormat png() { return {Kind::png, 1.0}; }
    static ImageFormat jpeg(double quality = 0.9) { return {Kind::jpeg, quality}; }

    // The agent's rule: a name ending in ".jpg" or ".jpeg" (any case) is
    // JPEG at 0.9; every other name is PNG.
    static ImageFormat forOutputPath(std::string_view path) {
        std::string lower(path);
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        const auto endsWith = [&lower](std::string_view suffix) {
            return lower.size() >= suffix.size() && lower.compare(lower.size() - suffix.size(), suffix.size(), suffix) == 0;
        };
        return endsWith(".jpg") || endsWith(".jpeg") ? jpeg() : png();
    }
    std::string_view fileExtension() const { return kind == Kind::png ? "png" : "jpg"; }
    friend bool operator==(const ImageFormat&, const ImageFormat&) = default;
};

}  // namespace tessarin
