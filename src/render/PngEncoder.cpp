#include "render/PngEncoder.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "render/DeflateStitch.h"
#include "render/PngRows.h"

namespace tessarin {
namespace {

constexpr std::array<uint8_t, 8> kSignature = {137, 80, 78, 71, 13, 10, 26, 10};
constexpr unsigned kMaxAutoThreads = 4;
constexpr size_t kMaxBandBytes = size_t{256} << 20;
constexpr int kMaxLevel = 12;
constexpr size_t kZlibHeaderBytes = 2;

void putBigEndian32(uint8_t* out, uint32_t value) {
    out[0] = static_cast<uint8_t>(value >> 24);
    out[1] = static_cast<uint8_t>(value >> 16);
    out[2] = static_cast<uint8_t>(value >> 8);
    out[3] = static_cast<uint8_t>(value);
}

uint32_t chunkCrc(const char* type, const uint8_t* data, size_t size) {
    const uint32_t crc = libdeflate_crc32(0, type, 4);
    // libdeflate_crc32(crc, nullptr, 0) would restart the CRC rather than keep it.
    return size == 0 ? crc : libdeflate_crc32(crc, data, size);
}

struct Layout {
    const Image* image;
    unsigned channels;    // 3 (RGB) or 4 (RGBA)
    size_t rowBytes;      // unfiltered bytes per row
    uint32_t rowsPerBand;
    int level;
};

// One band of rows, deflated into its own piece of the zlib stream. The
// first band carries the zlib header; every band but the last is made
// joinable (see DeflateStitch.h) so the pieces form one valid stream.
struct Band {
    uint32_t firstRow = 0;
    uint32_t rowCount = 0;
    std::unique_ptr<uint8_t[]> data;
    size_t size = 0;
    uint32_t adler = 1;        // Adler-32 of this band's filtered bytes alone
    uint64_t filteredBytes = 0;
    uint32_t crc = 0;          // CRC of "IDAT" + data
};

uint8_t zlibHeaderFlags(int level) {
    const unsigned hint = level <= 1 ? 0 : level <= 5 ? 1 : level == 6 ? 2 : 3;
    const unsigned flags = hint << 6;
    return static_cast<uint8_t>(flags + 31 - ((0x78u * 256 + flags) % 31));
}

struct CompressorDeleter {
    void operator()(libdeflate_compressor* compressor) const noexcept { libdeflate_free_compressor(compressor); }
};

// A worker's private state, reused from band to band: a libdeflate
// compressor, the band's filtered rows, room for its compressed form and
// the row scratch. A finished band keeps only a copy of its compressed
// bytes, so bands waiting to be written cost what they compress to.
// Never throws; a failure leaves a message in error().
class BandCompressor {
public:
    explicit BandCompressor(const Layout& layout) : layout_(layout) {
        compressor_.reset(libdeflate_alloc_compressor(layout.level));
        if (!compressor_) {
            error_ = "Out of memory while encoding PNG";
            return;
        }
        try {
            const size_t bandBytes = (layout.rowBytes + 1) * layout.rowsPerBand;
            filtered_ = std::make_unique_for_overwrite<uint8_t[]>(bandBytes);
            outputCapacity_ = kZlibHeaderBytes + libdeflate_deflate_compress_bound(compressor_.get(), bandBytes) +
                              deflatestitch::kJoinSlack;
            output_ = std::make_unique_for_overwrite<uint8_t[]>(outputCapacity_);
            if (layout.channels == 3) rows_ = std::make_unique_for_overwrite<uint8_t[]>(2 * layout.rowBytes);
        } catch (const std::bad_alloc&) {
            error_ = "Out of memory while encoding PNG";
        }
    }
    BandCompressor(const BandCompressor&) = delete;
    BandCompressor& operator=(const BandCompressor&) = delete;

    const std::string& error() const { return error_; }

    bool compress(Band& band, bool first, bool last) {
        if (!error_.empty()) return false;
        try {
            return compressRows(band, first, last);
        } catch (const std::bad_alloc&) {
            error_ = "Out of memory while encoding PNG";
            return false;
        }
    }

private:
    const uint8_t* pixelRow(uint32_t y, uint8_t* scratch) const {
        const uint8_t* rgba = layout_.image->row(y);
        if (layout_.channels == 4) return rgba;
        pngrows::packRgb(rgba, layout_.image->width(), scratch);
        return scratch;
    }

    bool compressRows(Band& band, bool first, bool last) {
        const size_t filteredRow = layout_.rowBytes + 1;
        band.filteredBytes = uint64_t{filteredRow} * band.rowCount;
        band.adler = 1;
        uint8_t* scratch[2] = {rows_.get(), rows_ ? rows_.get() + layout_.rowBytes : nullptr};
        const uint8_t* previous = band.firstRow > 0 ? pixelRow(band.firstRow - 1, scratch[1]) : nullptr;
        uint8_t* out = filtered_.get();
        for (uint32_t i = 0; i < band.rowCount; ++i) {
            const uint8_t* current = pixelRow(band.firstRow + i, scratch[i % 2]);
            pngrows::filterRow(current, previous, layout_.rowBytes, layout_.channels, out);
            // Summed while the row is still in cache.
            band.adler = libdeflate_adler32(band.adler, out, filteredRow);
            out += filteredRow;
            previous = current;
        }

        size_t headerBytes = 0;
        if (first) {
            output_[0] = 0x78;  // deflate, 32 KiB window
            output_[1] = zlibHeaderFlags(layout_.level);
            headerBytes = kZlibHeaderBytes;
        }
        const std::span<uint8_t> room(output_.get() + headerBytes, outputCapacity_ - headerBytes);
        size_t size = libdeflate_deflate_compress(compressor_.get(), filtered_.get(), band.filteredBytes, room.data(),
                                                  room.size() - deflatestitch::kJoinSlack);
        if (size == 0) return fail("PNG compression failed");
        if (!last) {
            const auto joinable = deflatestitch::makeJoinable(room, size);
            if (!joinable) return fail("Cannot join compressed PNG bands: " + joinable.error());
            size = *joinable;
        }
        band.size = headerBytes + size;
        band.data = std::make_unique_for_overwrite<uint8_t[]>(band.size);
        std::memcpy(band.data.get(), output_.get(), band.size);
        band.crc = chunkCrc("IDAT", band.data.get(), band.size);
        return true;
    }

    bool fail(std::string message) {
        error_ = std::move(message);
        return false;
    }

    const Layout& layout_;
    std::unique_ptr<libdeflate_compressor, CompressorDeleter> compressor_;
    std::string error_;
    std::unique_ptr<uint8_t[]> filtered_;  // one band's filtered rows
    std::unique_ptr<uint8_t[]> output_;
    size_t outputCapacity_ = 0;
    std::unique_ptr<uint8_t[]> rows_;  // two packed RGB rows, alternating
};

// Writes bands to the sink in order and keeps the running Adler-32 that ends
// the zlib stream.
class IdatWriter {
public:
    IdatWriter(ByteSink& sink, size_t bandCount) : sink_(sink), bandCount_(bandCount) {}

    bool write(const Band& band, size_t index) {
        adler_ = index == 0 ? band.adler
                            : static_cast<uint32_t>(adler32_combine(adler_, band.adler,
                                                                     static_cast<z_off_t>(band.filteredBytes)));
        const bool last = index + 1 == bandCount_;
        // Below PNG's 2^31 chunk limit: a band holds at most kMaxBandBytes or
        // one row (1 GiB at Image::kMaxPixels), and deflate barely expands.
        const size_t length = band.size + (last ? 4 : 0);
        uint8_t head[8];
        putBigEndian32(head, static_cast<uint32_t>(length));
        std::memcpy(head + 4, "IDAT", 4);
        uint8_t tail[8];
        size_t tailSize = 0;
        uint32_t crc = band.crc;
        if (last) {
            putBigEndian32(tail, adler_);
            crc = libdeflate_crc32(crc, tail, 4);
            tailSize = 4;
        }
        putBigEndian32(tail + tailSize, crc);
        tailSize += 4;
        return sink_.write(head) && sink_.write({band.data.get(), band.size}) && sink_.write({tail, tailSize});
    }

private:
    ByteSink& sink_;
    size_t bandCount_;
    uint32_t adler_ = 1;
};

// Failures inside the band machinery, reported once by encodePng.
struct BandFailure {
    EncodeError::Kind kind = EncodeError::Kind::encoderFailed;
    std::string message;
};

bool runSequential(const Layout& layout, std::vector<Band>& bands, ByteSink& sink, BandFailure& failure) {
    BandCompressor compressor(layout);
    IdatWriter writer(sink, bands.size());
    for (size_t i = 0; i < bands.size(); ++i) {
        if (!compressor.compress(bands[i], i == 0, i + 1 == bands.size())) {
            failure.message = compressor.error();
            return false;
        }
        if (!writer.write(bands[i], i)) {
            failure = {EncodeError::Kind::sinkFailed, "Cannot write PNG data"};
            return false;
        }
        bands[i].data.reset();
    }
    return true;
}

// Workers take bands in order and deflate them; the calling thread writes
// finished bands in order. Workers stay at most `window` bands ahead of the
// writer so memory stays bounded however slow the sink is.
class ParallelBands {
public:
    ParallelBands(const Layout& layout, std::vector<Band>& bands, unsigned threads)
        : layout_(layout), bands_(bands), state_(bands.size(), State::pending), window_(2 * size_t{threads}) {}

    // Returns false with nothing written when no worker thread could start.
    bool start(unsigned threads) {
        try {
            for (unsigned i = 0; i < threads; ++i) workers_.emplace_back([this] { work(); });
        } catch (const std::system_error&) {
            // Run with the workers that did start.
        }
        return !workers_.empty();
    }

    bool writeAll(ByteSink& sink, BandFailure& failure) {
        IdatWriter writer(sink, bands_.size());
        bool ok = true;
        for (size_t i = 0; i < bands_.size() && ok; ++i) {
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [&] { return state_[i] != State::pending || stopping_; });
                if (state_[i] != State::done) {
                    failure.message = workerError_.empty() ? "PNG encoding stopped" : workerError_;
                    ok = false;
                    break;
                }
            }
            if (!writer.write(bands_[i], i)) {
                failure = {EncodeError::Kind::sinkFailed, "Cannot write PNG data"};
                ok = false;
            }
            bands_[i].data.reset();
            {
                std::lock_guard lock(mutex_);
                written_ = i + 1;
                if (!ok) stopping_ = true;
            }
            changed_.notify_all();
        }
        finish();
        return ok;
    }

    ~ParallelBands() { finish(); }
    ParallelBands(const ParallelBands&) = delete;
    ParallelBands& operator=(const ParallelBands&) = delete;

private:
    enum class State { pending, done, failed };

    void work() {
        BandCompressor compressor(layout_);
        for (;;) {
            size_t index;
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [&] {
                    return stopping_ || next_ >= bands_.size() || next_ < written_ + window_;
                });
                if (stopping_ || next_ >= bands_.size()) return;
                index = next_++;
            }
            const bool ok = compressor.compress(bands_[index], index == 0, index + 1 == bands_.size());
            {
                std::lock_guard lock(mutex_);
                state_[index] = ok ? State::done : State::failed;
                if (!ok) {
                    stopping_ = true;
                    if (workerError_.empty()) workerError_ = compressor.error();
                }
            }
            changed_.notify_all();
        }
    }

    void finish() noexcept {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        changed_.notify_all();
        for (auto& worker : workers_) {
            if (worker.joinable()) worker.join();
        }
    }

    const Layout& layout_;
    std::vector<Band>& bands_;
    std::vector<State> state_;
    size_t window_;
    std::mutex mutex_;
    std::condition_variable changed_;
    size_t next_ = 0;
    size_t written_ = 0;
    bool stopping_ = false;
    std::string workerError_;
    std::vector<std::thread> workers_;
};

bool isOpaque(const Image& image) {
    for (uint32_t y = 0; y < image.height(); ++y) {
        if (!pngrows::isOpaque(image.row(y), image.width())) return false;
    }
    return true;
}

bool writeHeader(ByteSink& sink, const Image& image, unsigned channels) {
    uint8_t bytes[8 + 25];
    std::memcpy(bytes, kSignature.data(), 8);
    uint8_t* ihdr = bytes + 8;
    putBigEndian32(ihdr, 13);
    std::memcpy(ihdr + 4, "IHDR", 4);
    putBigEndian32(ihdr + 8, image.width());
    putBigEndian32(ihdr + 12, image.height());
    ihdr[16] = 8;                         // bits per sample
    ihdr[17] = channels == 3 ? 2 : 6;     // colour type: truecolour, or truecolour with alpha
    ihdr[18] = 0;                         // deflate
    ihdr[19] = 0;                         // adaptive filtering
    ihdr[20] = 0;                         // not interlaced
    putBigEndian32(ihdr + 21, chunkCrc("IHDR", ihdr + 8, 13));
    return sink.write(bytes);
}

bool writeEnd(ByteSink& sink) {
    uint8_t bytes[12];
    putBigEndian32(bytes, 0);
    std::memcpy(bytes + 4, "IEND", 4);
    putBigEndian32(bytes + 8, chunkCrc("IEND", nullptr, 0));
    return sink.write(bytes);
}

unsigned threadCount(unsigned requested) {
    if (requested != 0) return requested;
    return std::clamp(std::thread::hardware_concurrency(), 1u, kMaxAutoThreads);
}

}  // namespace

EncodeResult encodePng(const Image& image, ByteSink& sink, const PngEncodeOptions& options) {
    if (image.isEmpty()) return encodeFailed(EncodeError::Kind::invalidImage, "Cannot encode an empty image");
    if (options.compressionLevel < 0 || options.compressionLevel > kMaxLevel) {
        return encodeFailed(EncodeError::Kind::invalidImage, "PNG compression level must be 0-12");
    }
    const unsigned channels = isOpaque(image) ? 3 : 4;
    const size_t rowBytes = size_t{image.width()} * channels;
    const auto rowsPerBand = static_cast<uint32_t>(
        std::clamp<size_t>(std::min(options.bandBytes, kMaxBandBytes) / (rowBytes + 1), 1, image.height()));
    const Layout layout{&image, channels, rowBytes, rowsPerBand, options.compressionLevel};

    std::vector<Band> bands;
    try {
        bands.reserve((image.height() + rowsPerBand - 1) / rowsPerBand);
        for (uint32_t row = 0; row < image.height(); row += rowsPerBand) {
            Band band;
            band.firstRow = row;
            band.rowCount = std::min(rowsPerBand, image.height() - row);
            bands.push_back(std::move(band));
        }
    } catch (const std::bad_alloc&) {
        return encodeFailed(EncodeError::Kind::encoderFailed, "Out of memory while encoding PNG");
    }

    if (!writeHeader(sink, image, channels)) {
        return encodeFailed(EncodeError::Kind::sinkFailed, "Cannot write PNG header");
    }
    BandFailure failure;
    const auto threads = static_cast<unsigned>(std::min<size_t>(threadCount(options.threads), bands.size()));
    bool ok;
    if (threads <= 1) {
        ok = runSequential(layout, bands, sink, failure);
    } else {
        ParallelBands parallel(layout, bands, threads);
        ok = parallel.start(threads) ? parallel.writeAll(sink, failure) : runSequential(layout, bands, sink, failure);
    }
    if (!ok) return encodeFailed(failure.kind, std::move(failure.message));
    if (!writeEnd(sink)) return encodeFailed(EncodeError::Kind::sinkFailed, "Cannot write PNG end");
    return encodeSucceeded();
}

}  // namespace tessarin
