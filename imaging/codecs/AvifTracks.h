// The tracks of an AVIF image sequence (the moov box): the first frame of
// its colour track and of the alpha track that goes with it.
#pragma once

#include <cstdint>
#include <span>

#include "imaging/codecs/AvifContainer.h"

// Fills picture's colour (and alpha) from the first samples of the tracks in
// moov's body; false when no track holds AV1 pictures. Fails as
// ReadAvifContainer does for damaged tracks.
bool ReadAvifTracks(std::span<const uint8_t> moov, std::span<const uint8_t> file, AvifPicture& picture);
// How many frames the sequence in moov's body has; 1 when it has no track of
// AV1 pictures.
int AvifTrackFrames(std::span<const uint8_t> moov);
