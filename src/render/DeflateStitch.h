#pragma once
// Joining independently compressed raw deflate streams into one.
//
// libdeflate compresses faster and smaller than zlib but only writes complete
// streams: the last block always carries BFINAL, and there is no sync flush to
// end a piece on a byte boundary. To let several threads compress bands of one
// PNG, each band's stream except the last is rewritten in place: its last
// block loses BFINAL and an empty stored block (what zlib's sync flush emits)
// pads it to a byte, so the next band's stream can simply follow it.
//
// Finding the last block means walking every block: stored blocks are
// skipped by their length, Huffman blocks are decoded symbol by symbol
// (without producing output) up to their end-of-block code.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "core/common/Expected.h"

namespace tessarin::deflatestitch {

// Bit positions in a raw deflate stream; bit 0 is the lowest bit of byte 0.
struct FinalBlock {
    uint64_t headerBit = 0;  // the last block's BFINAL bit
    uint64_t endBit = 0;     // just past its end-of-block code, or its stored bytes
};

// Walks a complete raw deflate stream to its last block. Refuses anything a
// strict inflater would refuse (bad codes, symbols, distances reaching before
// the start, a missing final block) and bytes left after the final block.
// Never reads outside `stream`.
Expected<FinalBlock, std::string> findFinalBlock(std::span<const uint8_t> stream);

// Bytes makeJoinable may write after the stream: the end marker can need one
// byte for its header bits and four for the empty stored block's lengths.
inline constexpr size_t kJoinSlack = 5;

// Rewrites the complete raw deflate stream held in the first `streamSize`
// bytes of `buffer` so another stream can follow it: the last block becomes
// non-final and an empty stored block ends the piece on a byte boundary.
// `buffer` must have room for kJoinSlack bytes after the stream. Returns the
// new size; on error the buffer is left as it was.
Expected<size_t, std::string> makeJoinable(std::span<uint8_t> buffer, size_t streamSize);

}  // namespace tessarin::deflatestitch
