#include "ocr/CellShapes.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <numeric>

namespace tessarin::ocr {

InkMask::InkMask(const GreyImage& image) : width_(image.width), height_(image.height) {
    ink_.assign(image.pixels.size(), false);
    if (image.pixels.empty()) return;
    std::array<size_t, 256> histogram{};
    for (const uint8_t value : image.pixels) ++histogram[value];
    const int background = int(std::max_element(histogram.begin(), histogram.end()) - histogram.begin());
    const int darkest = *std::min_element(image.pixels.begin(), image.pixels.end());
    // Less contrast than this is no text at all.
    constexpr int kLeastContrast = 48;
    if (background - darkest < kLeastContrast) return;
    const int below = background - (background - darkest) / 4;
    for (size_t i = 0; i < image.pixels.size(); ++i) ink_[i] = image.pixels[i] < below;
}

// The most common value, if any.
std::optional<int> mostCommon(const std::vector<int>& values) {
    std::map<int, int> counts;
    for (const int value : values) ++counts[value];
    const auto best = std::max_element(counts.begin(), counts.end(),
                                       [](const auto& a, const auto& b) { return a.second < b.second; });
    if (best == counts.end()) return std::nullopt;
    return best->first;
}

std::vector<InkBlob> blobsIn(const InkMask& ink, int left, int right, int top, int bottom) {
    const int width = right - left, height = bottom - top;
    std::vector<InkBlob> blobs;
    if (width <= 0 || height <= 0) return blobs;
    std::vector<bool> seen(size_t(width) * height);
    std::vector<std::pair<int, int>> stack;
    for (int y = top; y < bottom; ++y) {
        for (int x = left; x < right; ++x) {
            if (!ink.at(x, y) || seen[size_t(y - top) * width + (x - left)]) continue;
            InkBlob blob{x, y, x, y, 0, 0, 0};
            std::vector<std::pair<int, int>> pixels;
            stack.assign(1, {x, y});
            seen[size_t(y - top) * width + (x - left)] = true;
            while (!stack.empty()) {
                const auto [px, py] = stack.back();
                stack.pop_back();
                ++blob.pixels;
                pixels.emplace_back(px, py);
                blob.left = std::min(blob.left, px), blob.right = std::max(blob.right, px);
                blob.top = std::min(blob.top, py), blob.bottom = std::max(blob.bottom, py);
                for (int dy = -1; dy <= 1; ++dy) {
                    for (int dx = -1; dx <= 1; ++dx) {
                        const int nx = px + dx, ny = py + dy;
                        if (nx < left || nx >= right || ny < top || ny >= bottom || !ink.at(nx, ny)) continue;
                        const size_t index = size_t(ny - top) * width + (nx - left);
                        if (seen[index]) continue;
                        seen[index] = true;
                        stack.emplace_back(nx, ny);
                    }
                }
            }
            const auto middleOfRow = [&](int row) {
                int first = blob.right, last = blob.left;
                for (const auto& [px, py] : pixels) {
                    if (py == row) first = std::min(first, px), last = std::max(last, px);
                }
                return (first + last) / 2.0;
            };
            blob.topMiddle = middleOfRow(blob.top);
            blob.bottomMiddle = middleOfRow(blob.bottom);
            blobs.push_back(blob);
        }
    }
    return blobs;
}

std::optional<char> punctuationOf(const std::vector<InkBlob>& blobs, int baseline, double pitch, double textHeight) {
    // A dot or a comma is at most this part of the text's height tall and
    // wide, and at most half a cell wide (a comma's tail may make it half
    // the text's height tall). A dot is symmetric and stands on the
    // baseline, reaching at most one pixel below it (bitmap fonts centre it
    // on the baseline); a comma starts at the baseline or above and ends
    // below it, its tail to the left of its head or well below the baseline.
    constexpr double kDotSize = 0.3;
    constexpr double kDotWidthOfCell = 0.5;
    constexpr double kCommaHeight = 0.5;
    const int commaDepth = std::max(2, int(std::lround(0.12 * textHeight)));
    const auto narrow = [&](const InkBlob& blob) {
        return blob.width() <= std::round(kDotWidthOfCell * pitch) && blob.width() <= kDotSize * textHeight;
    };
    const auto isDot = [&](const InkBlob& blob) {
        return narrow(blob) && blob.height() <= kDotSize * textHeight && blob.height() <= blob.width() + 1 &&
               blob.bottom >= baseline - 1 && blob.bottom <= baseline + 1 &&
               std::abs(blob.topMiddle - blob.bottomMiddle) < 0.5;
    };
    const auto isComma = [&](const InkBlob& blob) {
        const bool tail = blob.bottomMiddle <= blob.topMiddle - 0.5 || blob.bottom >= baseline + commaDepth;
        return narrow(blob) && blob.height() <= kCommaHeight * textHeight && blob.top <= baseline &&
               blob.bottom > baseline && tail;
    };
    if (blobs.size() == 1) {
        if (isDot(blobs[0])) return '.';
        if (isComma(blobs[0])) return ',';
        return std::nullopt;
    }
    if (blobs.size() != 2) return std::nullopt;
    const InkBlob& upper = blobs[0].top < blobs[1].top ? blobs[0] : blobs[1];
    const InkBlob& lower = blobs[0].top < blobs[1].top ? blobs[1] : blobs[0];
    // The upper dot of a colon stands about the x-height above the lower,
    // straight above it.
    const double upperCentre = (upper.left + upper.right) / 2.0, lowerCentre = (lower.left + lower.right) / 2.0;
    const bool stacked = upper.bottom < lower.top - 1 && std::abs(upperCentre - lowerCentre) <= 0.25 * pitch + 0.5;
    const bool upperDot = narrow(upper) && upper.height() <= kDotSize * textHeight &&
                          upper.height() <= upper.width() + 1 && upper.bottom <= baseline - 0.2 * textHeight &&
                          upper.top >= baseline - 0.8 * textHeight;
    if (!stacked || !upperDot) return std::nullopt;
    if (isDot(lower)) return ':';
    if (isComma(lower)) return ';';
    return std::nullopt;
}

namespace {

// The extent of the ink in each row of a cell, from the first row with ink
// to the last row of the first piece of rows with ink.
std::vector<std::pair<int, int>> rowExtents(const InkMask& ink, int left, int right, int top, int bottom) {
    std::vector<std::pair<int, int>> rows;
    for (int y = top; y < bottom; ++y) {
        int first = right, last = left - 1;
        for (int x = left; x < right; ++x) {
            if (!ink.at(x, y)) continue;
            first = std::min(first, x);
            last = std::max(last, x);
        }
        if (last >= first) {
            rows.emplace_back(first, last);
        } else if (!rows.empty()) {
            break;
        }
    }
    return rows;
}

}  // namespace

std::optional<char> strokeMarkOf(const InkMask& ink, const std::vector<InkBlob>& blobs, int baseline, double pitch,
                                 double textHeight) {
    if (blobs.size() != 1) return std::nullopt;
    const InkBlob& blob = blobs.front();
    const auto rows = rowExtents(ink, blob.left, blob.right + 1, blob.top, blob.bottom + 1);
    // A bar: an upright stroke of one width all the way, at most two pixels
    // wide and as tall as capitals at least (an l or an I has a serif or a
    // bar, a 1 its flag).
    const bool straight = std::all_of(rows.begin(), rows.end(), [&](const auto& row) { return row == rows.front(); });
    if (straight && blob.width() <= 2 && blob.height() >= 0.6 * textHeight) return '|';
    // A rule: one flat stroke across most of the cell, below the baseline
    // ('_') or about halfway up the lower-case letters ('-').
    // (A filled rectangle: a tilde's wave is as flat but not straight.)
    const bool flat = straight && blob.pixels == blob.width() * blob.height() &&
                      blob.height() <= std::max(2.0, 0.12 * textHeight) && blob.width() >= 0.6 * pitch;
    if (flat && blob.top > baseline) return '_';
    if (flat && blob.bottom < baseline - 0.15 * textHeight && blob.top > baseline - 0.5 * textHeight) return '-';
    // A caret: a small peak high above the baseline, its two legs apart at
    // the bottom.
    const int middle = (blob.left + blob.right) / 2;
    const bool high = blob.bottom <= baseline - 0.35 * textHeight && blob.height() <= 0.45 * textHeight;
    const bool peak = blob.width() >= 3 && rows.front().second - rows.front().first + 1 <= 2 &&
                      ink.at(blob.left, blob.bottom) && ink.at(blob.right, blob.bottom) && !ink.at(middle, blob.bottom);
    if (high && peak) return '^';
    return std::nullopt;
}

std::optional<char> curlyBraceOf(const InkMask& ink, const std::vector<InkBlob>& blobs, double textHeight) {
    if (blobs.size() != 1 || blobs.front().height() < 0.6 * textHeight) return std::nullopt;
    const InkBlob& blob = blobs.front();
    const auto rows = rowExtents(ink, blob.left, blob.right + 1, blob.top, blob.bottom + 1);
    // side(row) is the row's outer edge on the side the point faces: the
    // left for '{', the right (negated, so smaller is further out) for '}'.
    const auto braceFacing = [&](auto side) -> bool {
        std::vector<int> edges;
        for (const auto& row : rows) edges.push_back(side(row));
        const int usual = mostCommon(edges).value_or(0);
        std::vector<size_t> point;
        for (size_t i = 0; i < rows.size(); ++i) {
            if (edges[i] < usual) point.push_back(i);
        }
        const size_t n = rows.size();
        // The arms: one upright edge along half the rows at least.
        if (size_t(std::count(edges.begin(), edges.end(), usual)) * 2 < n) return false;
        const bool middle = !point.empty() && point.size() * 4 <= n && point.back() - point.front() + 1 == point.size() &&
                            point.front() * 3 >= n && (point.back() + 1) * 3 <= n * 2;
        // The arms end in hooks turned away from the point.
        return middle && edges.front() > usual && edges.back() > usual;
    };
    if (braceFacing([](const auto& row) { return row.first; })) return '{';
    if (braceFacing([](const auto& row) { return -row.second; })) return '}';
    return std::nullopt;
}

bool hasStraightLeftSide(const InkMask& ink, int left, int right, int top, int bottom) {
    const auto rows = rowExtents(ink, left, right, top, bottom);
    return !rows.empty() && std::all_of(rows.begin(), rows.end(), [&](const auto& row) { return row.first == rows.back().first; });
}

std::optional<char> squareBracketOf(const InkMask& ink, int left, int right, int top, int bottom) {
    const auto rows = rowExtents(ink, left, right, top, bottom);
    if (rows.size() < 5) return std::nullopt;
    const auto [leftmost, rightmost] = std::accumulate(
        rows.begin(), rows.end(), std::pair{right, left}, [](auto extent, const auto& row) {
            return std::pair{std::min(extent.first, row.first), std::max(extent.second, row.second)};
        });
    const bool straightLeft = std::all_of(rows.begin(), rows.end(), [&](const auto& row) { return row.first == leftmost; });
    const bool straightRight = std::all_of(rows.begin(), rows.end(), [&](const auto& row) { return row.second == rightmost; });
    // The strokes at the ends reach further than the upright in between
    // (the middle half of the rows).
    const auto width = [](const std::pair<int, int>& row) { return row.second - row.first + 1; };
    int middle = 0;
    for (size_t i = rows.size() / 4; i < rows.size() * 3 / 4; ++i) middle = std::max(middle, width(rows[i]));
    const bool ends = width(rows.front()) > middle && width(rows.back()) > middle;
    if (!ends || straightLeft == straightRight) return std::nullopt;
    return straightLeft ? '[' : ']';
}

}  // namespace tessarin::ocr
