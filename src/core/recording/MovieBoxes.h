#pragma once
// A recording is a fragmented QuickTime movie: a run of top-level boxes
// (ftyp, moov, then a moof and its mdat per fragment). A write that fails
// part way (a full disk, a file size limit) can leave a box cut short, and a
// cut inside a fragment's moof makes players refuse the whole file. These
// find and keep the part of the file that is whole.

#include <cstdint>
#include <optional>

namespace tessarin {

// The length of the file's leading run of whole boxes, ending on a whole box
// that is not a moof (a moof is nothing without the mdat after it); none
// when the file cannot be read (a short file is no reason for that).
std::optional<uint64_t> wholeMovieBoxesLength(int fd);

// Cuts the file back to its whole boxes; false, leaving it as it is, when
// it cannot be read or cut.
bool trimMovieToWholeBoxes(int fd);

}  // namespace tessarin
