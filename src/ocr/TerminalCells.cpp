#include "ocr/TerminalCells.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <numeric>
#include <numbers>
#include <string_view>
#include <tuple>

namespace tessarin::ocr {

namespace {

// One UTF-8 character, as the engine gives a glyph.
bool isOneCharacter(const std::string& text) {
    if (text.empty()) return false;
    const auto lead = static_cast<unsigned char>(text[0]);
    const size_t length = lead < 0x80 ? 1 : lead < 0xe0 ? 2 : lead < 0xf0 ? 3 : 4;
    return text.size() == length;
}

bool isLetterOrDigit(const std::string& text) {
    return text.size() == 1 && std::isalnum(static_cast<unsigned char>(text[0]));
}

// Letters and digits that stand on the baseline and do not reach below it.
bool standsOnBaseline(const std::string& text) {
    return isLetterOrDigit(text) && std::string_view("gjpqyQ").find(text[0]) == std::string_view::npos;
}

// How well the points fall on a grid of the pitch: the length of the mean of
// their phases as unit vectors (1 when all share one phase), and that phase
// as an offset in pixels.
std::pair<double, double> phaseFit(const std::vector<double>& centres, double pitch) {
    double sumCos = 0, sumSin = 0;
    for (const double x : centres) {
        const double angle = 2 * std::numbers::pi * x / pitch;
        sumCos += std::cos(angle);
        sumSin += std::sin(angle);
    }
    const double n = double(centres.size());
    double offset = std::atan2(sumSin, sumCos) / (2 * std::numbers::pi) * pitch;
    if (offset < 0) offset += pitch;
    return {std::hypot(sumCos, sumSin) / n, offset};
}

}  // namespace

std::optional<CellGrid> monospaceGrid(const std::vector<Line>& lines) {
    // Fewer letters than this fall on some grid by chance too often.
    constexpr size_t kLeastGlyphs = 16;
    // How closely the centres must share a phase (1 is exactly): glyph
    // boxes follow the ink only roughly, and narrow letters sit up to half
    // a pixel off their cell's centre (terminal screens fit at 0.93 to
    // 0.97); 16 centres of proportional text reach 0.7 by chance about once
    // in 2,500 pitches tried.
    constexpr double kFit = 0.7;
    std::vector<double> centres;
    for (const Line& line : lines) {
        for (const ReadGlyph& glyph : line.glyphs) {
            // Boxes wider than a letter reach over spaces or neighbours.
            if (isLetterOrDigit(glyph.text) && glyph.box.width < 0.8 * line.box.height) centres.push_back(glyph.box.midX());
        }
    }
    const double height = usualLineHeight(lines);
    if (centres.size() < kLeastGlyphs || height <= 0) return std::nullopt;
    // Terminals lay cells on whole pixels: the widest whole pitch that fits,
    // then the best fit near it (a scaled screenshot may not be whole).
    const int widest = int(std::floor(height));
    const int narrowest = std::max(3, int(std::ceil(height / 4)));
    for (int whole = widest; whole >= narrowest; --whole) {
        if (phaseFit(centres, whole).first < kFit) continue;
        double bestPitch = whole, bestFit = 0, bestOffset = 0;
        for (int step = -30; step <= 30; ++step) {
            const double pitch = whole + step / 100.0;
            const auto [fit, offset] = phaseFit(centres, pitch);
            if (fit > bestFit) bestPitch = pitch, bestFit = fit, bestOffset = offset;
        }
        // A pitch this near a whole one is the whole one, measured roughly
        // (cell edges drift off the glyphs across a screen otherwise).
        if (std::abs(bestPitch - whole) <= 0.03) {
            bestPitch = whole;
            bestOffset = phaseFit(centres, whole).second;
        }
        // Centres are mid-cell; the grid starts half a cell before.
        return CellGrid{bestOffset - bestPitch / 2, bestPitch};
    }
    return std::nullopt;
}

namespace {

// The typographic marks the engine's models give for what a terminal can
// only show in ASCII.
std::string asciiOf(const std::string& glyph) {
    static const std::map<std::string, std::string> table = {
        {"\u2018", "'"}, {"\u2019", "'"}, {"\u201c", "\""}, {"\u201d", "\""}, {"\u2014", "-"}, {"\u2013", "-"},
        {"\u00ab", "<"}, {"\u00bb", ">"}, {"\u2026", "."}};
    const auto found = table.find(glyph);
    return found == table.end() ? glyph : found->second;
}

// One cell of a line: its ink, the glyphs the engine put there, and the
// character it is finally read as.
struct Cell {
    int left = 0, right = 0;  // pixels [left, right)
    std::vector<InkBlob> blobs;
    const ReadGlyph* glyph = nullptr;  // the engine's glyph laid on this cell
    std::string picture;  // the ink relative to the cell and the baseline: equal for equal characters
    bool hasInk() const { return !blobs.empty(); }
};

struct LineCells {
    Line* line = nullptr;
    int top = 0, bottom = 0;  // the band of rows read
    std::optional<int> baseline;
    std::vector<Cell> cells;
};

// The rows a line's cells are read in: the line's box and some room above
// and below for marks the box may leave out, but not into the boxes of the
// lines above and below.
std::pair<int, int> bandOf(const Line& line, const std::vector<Line>& lines, double textHeight) {
    double top = line.box.minY() - 0.3 * textHeight, bottom = line.box.maxY() + 0.3 * textHeight;
    for (const Line& other : lines) {
        if (&other == &line || other.box.maxX() <= line.box.minX() || other.box.minX() >= line.box.maxX()) continue;
        if (other.box.midY() < line.box.midY()) {
            top = std::max(top, std::min(other.box.maxY(), line.box.minY()));
        } else {
            bottom = std::min(bottom, std::max(other.box.minY(), line.box.maxY()));
        }
    }
    return {int(std::floor(top)), int(std::ceil(bottom))};
}

// Dark columns where the grid puts cell edges cut glyphs: the edges are
// moved by up to half a cell to where the fewest columns hold ink.
CellGrid alignedToInk(CellGrid grid, const InkMask& ink, const std::vector<std::pair<int, int>>& bands) {
    std::vector<int> inkInColumn(ink.width());
    for (const auto& [top, bottom] : bands) {
        for (int y = std::max(top, 0); y < std::min(bottom, int(ink.height())); ++y) {
            for (uint32_t x = 0; x < ink.width(); ++x) inkInColumn[x] += ink.at(int(x), y);
        }
    }
    // Cell edges on whole columns, so that rounding never moves them.
    grid.origin = std::round(grid.origin);
    double bestShift = 0;
    long bestInk = -1;
    const int steps = int(std::ceil(grid.pitch));
    for (int step = -steps / 2; step <= steps / 2; ++step) {
        const double origin = grid.origin + step;
        long total = 0;
        for (int k = int(std::floor(-origin / grid.pitch)); ; ++k) {
            const long x = std::lround(origin + k * grid.pitch);
            if (x >= long(ink.width())) break;
            if (x >= 0) total += inkInColumn[size_t(x)];
        }
        if (bestInk < 0 || total < bestInk || (total == bestInk && std::abs(step) < std::abs(bestShift))) {
            bestInk = total;
            bestShift = step;
        }
    }
    grid.origin += bestShift;
    return grid;
}

std::string pictureOf(const InkMask& ink, const Cell& cell, int top, int bottom, int baseline) {
    std::string picture;
    for (int y = top; y < bottom; ++y) {
        for (int x = cell.left; x < cell.right; ++x) {
            if (!ink.at(x, y)) continue;
            picture += char(x - cell.left);
            picture += char(y - baseline + 64);
        }
    }
    return picture;
}

// Lays the line's glyphs, in their order, on its inked cells: each glyph on
// a cell inside its box or as near it as can be, at most one per cell.
// The engine's glyph boxes are rough (a glyph after spaces may reach back
// over them), so the order decides as much as the place: the alignment of
// least cost, where a glyph left out (one the engine invented) or a cell
// left without a glyph (one it missed) costs as much as a glyph laid one
// and a half cells off its box.
void layGlyphsOnCells(std::vector<Cell>& cells, const std::vector<ReadGlyph>& glyphs, const CellGrid& grid) {
    constexpr double kLeftOut = 1.5;
    constexpr double kFarthest = 4;  // cells
    std::vector<size_t> inked;
    for (size_t c = 0; c < cells.size(); ++c) {
        if (cells[c].hasInk()) inked.push_back(c);
    }
    const size_t m = glyphs.size(), n = inked.size();
    const auto cost = [&](size_t g, size_t c) {
        const Cell& cell = cells[inked[c]];
        const double centre = (cell.left + cell.right) / 2.0;
        const Rect& box = glyphs[g].box;
        const double off = centre < box.minX() ? box.minX() - centre : centre > box.maxX() ? centre - box.maxX() : 0;
        return std::min(kFarthest, off / grid.pitch);
    };
    // best[g][c]: the least cost of the first g glyphs on the first c cells.
    std::vector<std::vector<double>> best(m + 1, std::vector<double>(n + 1));
    for (size_t g = 0; g <= m; ++g) {
        for (size_t c = 0; c <= n; ++c) {
            if (g == 0 && c == 0) continue;
            double least = 1e18;
            if (g > 0) least = std::min(least, best[g - 1][c] + kLeftOut);
            if (c > 0) least = std::min(least, best[g][c - 1] + kLeftOut);
            if (g > 0 && c > 0) least = std::min(least, best[g - 1][c - 1] + cost(g - 1, c - 1));
            best[g][c] = least;
        }
    }
    for (size_t g = m, c = n; g > 0 && c > 0;) {
        if (best[g][c] == best[g - 1][c - 1] + cost(g - 1, c - 1)) {
            cells[inked[c - 1]].glyph = &glyphs[g - 1];
            --g, --c;
        } else if (best[g][c] == best[g - 1][c] + kLeftOut) {
            --g;
        } else {
            --c;
        }
    }
}

// The line's cells in the given rows, with the engine's glyphs laid on
// them. The cells run over the line's box and on over the inked cells
// beside it (the engine may leave a last mark out of its box).
LineCells cellsOf(Line& line, std::pair<int, int> band, const CellGrid& grid, const InkMask& ink) {
    LineCells result{&line, band.first, band.second, std::nullopt, {}};
    const auto cellAt = [&](int k) {
        Cell cell;
        cell.left = int(std::lround(grid.left(k)));
        cell.right = int(std::lround(grid.left(k + 1)));
        cell.blobs = blobsIn(ink, cell.left, cell.right, band.first, band.second);
        return cell;
    };
    int first = grid.column(line.box.minX() + 0.5), last = grid.column(line.box.maxX() - 0.5);
    for (int k = first; k <= last; ++k) result.cells.push_back(cellAt(k));
    for (Cell next = cellAt(++last); next.hasInk() && next.left >= 0 && uint32_t(next.right) <= ink.width();
         next = cellAt(++last)) {
        result.cells.push_back(std::move(next));
    }
    for (Cell before = cellAt(--first); before.hasInk() && before.left >= 0; before = cellAt(--first)) {
        result.cells.insert(result.cells.begin(), std::move(before));
    }
    layGlyphsOnCells(result.cells, line.glyphs, grid);
    return result;
}

// The lowest ink row of the line's letters and digits that stand on the
// baseline, the most common one.
std::optional<int> baselineOf(const LineCells& line) {
    std::vector<int> bottoms;
    for (const Cell& cell : line.cells) {
        if (!cell.glyph || !cell.hasInk() || !standsOnBaseline(cell.glyph->text)) continue;
        int bottom = cell.blobs.front().bottom;
        for (const InkBlob& blob : cell.blobs) bottom = std::max(bottom, blob.bottom);
        bottoms.push_back(bottom);
    }
    return mostCommon(bottoms);
}

// The distance between the baselines of neighbouring terminal rows: the
// most common gap between successive baselines at least `least` apart.
std::optional<int> rowPitchOf(std::vector<int> baselines, double least) {
    std::sort(baselines.begin(), baselines.end());
    std::vector<int> gaps;
    for (size_t i = 1; i < baselines.size(); ++i) {
        if (baselines[i] - baselines[i - 1] >= least) gaps.push_back(baselines[i] - baselines[i - 1]);
    }
    const auto gap = mostCommon(gaps);
    // Rows further apart than the most common gap are several rows apart.
    if (gap && std::count(gaps.begin(), gaps.end(), *gap) * 2 < long(gaps.size())) return std::nullopt;
    return gap;
}

// Whether the line's glyphs can be laid on cells: one character each, no
// Han script.
bool fitsCells(const Line& line) {
    if (line.glyphs.empty() || containsHan(line.text)) return false;
    return std::all_of(line.glyphs.begin(), line.glyphs.end(),
                       [&](const ReadGlyph& glyph) { return isOneCharacter(glyph.text); });
}

// What the cells showing one picture were read as: the character more than
// half of them (and at least two) were read as.
using Votes = std::map<std::string, std::map<std::string, std::pair<int, double>>>;

std::optional<std::string> majority(const Votes& votes, const std::string& picture) {
    const auto found = votes.find(picture);
    if (found == votes.end()) return std::nullopt;
    int total = 0;
    double weight = 0;
    for (const auto& [text, tally] : found->second) total += tally.first, weight += tally.second;
    for (const auto& [text, tally] : found->second) {
        if (tally.first >= 2 && tally.second * 2 > weight) return text;
    }
    return std::nullopt;
}

// The pictures each character is firmly read from: by three cells or more,
// and by most of the cells showing that picture.
using Owners = std::map<std::string, std::vector<std::string>>;

Owners ownersOf(const Votes& votes) {
    // Of several pictures firmly read as one character, the one read so
    // most often owns it, with the pictures of its shape.
    std::map<std::string, std::pair<int, std::string>> best;
    for (const auto& [picture, readings] : votes) {
        const auto label = majority(votes, picture);
        if (!label || readings.at(*label).first < 3) continue;
        auto& [count, owner] = best[*label];
        if (readings.at(*label).first > count) count = readings.at(*label).first, owner = picture;
    }
    Owners owners;
    for (const auto& [label, owner] : best) owners[label].push_back(owner.second);
    return owners;
}

// The ink of a picture moved to its own top left corner: the same glyph
// gives the same shape even where a line's baseline came out a pixel off.
std::string shapeOf(const std::string& picture) {
    int left = 255, top = 255;
    for (size_t i = 0; i + 1 < picture.size(); i += 2) {
        left = std::min(left, int(uint8_t(picture[i])));
        top = std::min(top, int(uint8_t(picture[i + 1])));
    }
    std::string shape = picture;
    for (size_t i = 0; i + 1 < shape.size(); i += 2) {
        shape[i] = char(uint8_t(shape[i]) - left);
        shape[i + 1] = char(uint8_t(shape[i + 1]) - top);
    }
    return shape;
}

// Whether other cells firmly show `text` in another shape than `picture`.
bool ownedElsewhere(const std::string& text, const std::string& picture, const Owners& owners) {
    const auto owned = owners.find(text);
    if (owned == owners.end() || picture.empty()) return false;
    const std::string shape = shapeOf(picture);
    return std::none_of(owned->second.begin(), owned->second.end(),
                        [&](const std::string& other) { return other == picture || shapeOf(other) == shape; });
}

// In a terminal one character is one picture. A cell read as a character
// that other cells firmly show in another shape is misread: when no
// majority of the cells showing its picture agree on a reading, the
// picture's other reading elsewhere is taken (a % read as 2 here and as %
// there); otherwise the character's look-alike (O for 0, Z for 2, ...) when
// that is not firmly shown in yet another shape. Else the reading stands.
std::string otherThanItsLookAlike(const std::string& read, const std::string& picture, const Votes& votes,
                                  const Owners& owners) {
    if (!ownedElsewhere(read, picture, owners)) return read;
    if (!majority(votes, picture)) {
        const auto readings = votes.find(picture);
        std::optional<std::pair<int, std::string>> other;
        for (const auto& [text, tally] : readings == votes.end() ? Votes::mapped_type{} : readings->second) {
            if (text == read || ownedElsewhere(text, picture, owners)) continue;
            if (!other || tally.first > other->first) other = std::pair{tally.first, text};
        }
        if (other) return other->second;
    }
    static const std::map<std::string, std::string> lookAlike = {
        {"0", "O"}, {"O", "0"}, {"2", "Z"}, {"Z", "2"}, {"5", "S"}, {"S", "5"}, {"8", "B"}, {"B", "8"}};
    const auto partner = lookAlike.find(read);
    if (partner == lookAlike.end() || ownedElsewhere(partner->second, picture, owners)) return read;
    return partner->second;
}

// The readings the engine gives a curly brace: the shape check of a brace
// is only trusted over these (a round capital's smoothed edge can look like
// a brace's point).
bool mayBeBrace(const std::string& engine) {
    return engine.size() == 1 && std::string_view("{}()[]f3tlJ1|").find(engine[0]) != std::string_view::npos;
}

// The line's text read from its cells, or nothing when some cell with ink
// cannot be read.
std::optional<std::string> readCells(LineCells& line, const Votes& votes, const Owners& owners, const InkMask& ink,
                                     const CellGrid& grid, double textHeight) {
    std::string text;
    bool blankBefore = false;
    for (Cell& cell : line.cells) {
        if (!cell.hasInk()) {
            blankBefore = !text.empty();
            continue;
        }
        const std::string engine = cell.glyph ? asciiOf(cell.glyph->text) : std::string();
        std::optional<std::string> read;
        if (line.baseline) {
            if (const auto mark = punctuationOf(cell.blobs, *line.baseline, grid.pitch, textHeight)) {
                read = std::string(1, *mark);
            } else if (const auto stroke = strokeMarkOf(ink, cell.blobs, *line.baseline, grid.pitch, textHeight)) {
                read = std::string(1, *stroke);
            } else if (const auto brace = mayBeBrace(engine) ? curlyBraceOf(ink, cell.blobs, textHeight) : std::nullopt) {
                read = std::string(1, *brace);
            } else if (const auto voted = majority(votes, cell.picture)) {
                read = voted;
            }
        }
        if (!read && std::string_view("{}()").find(engine.empty() ? ' ' : engine[0]) != std::string_view::npos) {
            if (const auto bracket = squareBracketOf(ink, cell.left, cell.right, line.top, line.bottom)) {
                read = std::string(1, *bracket);
            }
        }
        if (!read && !engine.empty()) read = engine;
        // A capital L stands on its upright at the left; an l whose serif
        // or stem stands further in is no L.
        if (read == "L" && !hasStraightLeftSide(ink, cell.left, cell.right, line.top, line.bottom)) read = "l";
        if (read) read = otherThanItsLookAlike(*read, cell.picture, votes, owners);
        if (!read) return std::nullopt;
        if (blankBefore) text += ' ';
        blankBefore = false;
        text += *read;
    }
    return text;
}

}  // namespace

void dropHanReadingsOfLatinCells(std::vector<Line>& hanReadings, const std::vector<Line>& latinLines,
                                 const GreyImage& image) {
    const auto found = monospaceGrid(latinLines);
    if (!found) return;
    const InkMask ink(image);
    std::vector<std::pair<int, int>> bands;
    for (const Line& line : latinLines) bands.push_back({int(line.box.minY()), int(std::ceil(line.box.maxY()))});
    const CellGrid grid = alignedToInk(*found, ink, bands);
    const auto crossings = [&](const Line& reading) {
        const int top = int(std::floor(reading.box.minY())), bottom = int(std::ceil(reading.box.maxY()));
        size_t count = 0;
        for (int k = grid.column(reading.box.minX()) + 1; grid.left(k) < reading.box.maxX(); ++k) {
            const int edge = int(std::lround(grid.left(k)));
            bool crossed = false;
            for (int y = top; y < bottom && !crossed; ++y) crossed = ink.at(edge - 1, y) && ink.at(edge, y);
            count += crossed;
        }
        return count;
    };
    std::erase_if(hanReadings, [&](const Line& reading) {
        const size_t han = hanCharacterCount(reading.text);
        return han > 0 && crossings(reading) * 2 < han;
    });
}

void readTerminalCells(std::vector<Line>& lines, const GreyImage& image) {
    const auto found = monospaceGrid(lines);
    if (!found) return;
    const InkMask ink(image);
    const double textHeight = usualLineHeight(lines);
    std::vector<std::pair<int, int>> bands;
    for (const Line& line : lines) bands.push_back(bandOf(line, lines, textHeight));
    const CellGrid grid = alignedToInk(*found, ink, bands);

    // A first look in rows around each line's box finds its baseline;
    // on a grid of rows the cells are then read in the whole of their row
    // (a line's box may leave out, or take in, marks of the rows beside
    // it), and a line without letters to find its baseline by takes it
    // from the grid.
    std::vector<LineCells> terminalLines;
    std::vector<int> baselines;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (!fitsCells(lines[i])) continue;
        terminalLines.push_back(cellsOf(lines[i], bands[i], grid, ink));
        terminalLines.back().baseline = baselineOf(terminalLines.back());
        if (terminalLines.back().baseline) baselines.push_back(*terminalLines.back().baseline);
    }
    if (const auto rowPitch = rowPitchOf(baselines, 0.5 * textHeight)) {
        // Most lines' baselines lie on the grid; a line whose glyphs were
        // misread may give a baseline off it, and takes the grid's row
        // nearest its box instead.
        std::vector<int> phases;
        for (const int baseline : baselines) phases.push_back(baseline % *rowPitch);
        const int phase = mostCommon(phases).value_or(0);
        const int descent = int(std::ceil(0.2 * *rowPitch));
        for (LineCells& line : terminalLines) {
            int baseline = line.baseline.value_or(-1);
            if (!line.baseline || baseline % *rowPitch != phase) {
                const double rows = std::round((line.line->box.maxY() - 1 - phase) / *rowPitch);
                baseline = phase + int(rows) * *rowPitch;
            }
            line = cellsOf(*line.line, {baseline + 1 + descent - *rowPitch, baseline + 1 + descent}, grid, ink);
            line.baseline = baseline;
        }
    }
    for (LineCells& line : terminalLines) {
        if (!line.baseline) continue;
        for (Cell& cell : line.cells) {
            if (cell.hasInk()) cell.picture = pictureOf(ink, cell, line.top, line.bottom, *line.baseline);
        }
    }
    Votes votes;
    for (const LineCells& line : terminalLines) {
        for (const Cell& cell : line.cells) {
            if (!cell.glyph || cell.picture.empty()) continue;
            auto& tally = votes[cell.picture][asciiOf(cell.glyph->text)];
            ++tally.first;
            tally.second += cell.glyph->confidence;
        }
    }
    const Owners owners = ownersOf(votes);
    for (LineCells& line : terminalLines) {
        if (auto text = readCells(line, votes, owners, ink, grid, textHeight)) line.line->text = std::move(*text);
    }
}

}  // namespace tessarin::ocr
