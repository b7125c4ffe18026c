#pragma once
// Plain geometry values. Every rectangle says in its owner's name which
// coordinate space it lives in: global desktop points (bottom-left origin),
// display-local points, or top-left device pixels.

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace tessarin {

struct Point {
    double x = 0;
    double y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
    double width = 0;
    double height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    double minX() const { return std::min(x, x + width); }
    double minY() const { return std::min(y, y + height); }
    double maxX() const { return std::max(x, x + width); }
    double maxY() const { return std::max(y, y + height); }
    double midX() const { return (minX() + maxX()) / 2; }
    double midY() const { return (minY() + maxY()) / 2; }

    // The same rectangle with a non-negative width and height.
    Rect standardized() const { return {minX(), minY(), std::abs(width), std::abs(height)}; }
    bool isEmpty() const { return !(std::abs(width) > 0) || !(std::abs(height) > 0); }
    bool isFinite() const {
        return std::isfinite(x) && std::isfinite(y) && std::isfinite(width) && std::isfinite(height);
    }
    // Edges included, as the display and window lookups need.
    bool containsInclusive(Point p) const {
        return p.x >= minX() && p.x <= maxX() && p.y >= minY() && p.y <= maxY();
    }
    Rect offsetBy(double dx, double dy) const { return {x + dx, y + dy, width, height}; }
    Rect intersection(const Rect& other) const;
    // Smallest rectangle with integral corners that contains this one.
    Rect integral() const;
    friend bool operator==(const Rect&, const Rect&) = default;
};

inline Rect Rect::intersection(const Rect& other) const {
    const double x0 = std::max(minX(), other.minX());
    const double y0 = std::max(minY(), other.minY());
    const double x1 = std::min(maxX(), other.maxX());
    const double y1 = std::min(maxY(), other.maxY());
    if (!(x1 > x0) || !(y1 > y0)) return {};
    return {x0, y0, x1 - x0, y1 - y0};
}

inline Rect Rect::integral() const {
    const double x0 = std::floor(minX());
    const double y0 = std::floor(minY());
    return {x0, y0, std::ceil(maxX()) - x0, std::ceil(maxY()) - y0};
}

// A rectangle of whole device pixels, origin top-left.
struct PixelRect {
    int64_t x = 0;
    int64_t y = 0;
    int64_t width = 0;
    int64_t height = 0;
    bool isEmpty() const { return width <= 0 || height <= 0; }
    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

}  // namespace tessarin
