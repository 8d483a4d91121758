// What libcdio does not tell about a disc image: the byte order its audio is stored in.
#pragma once

#include <cdio/cdio.h>

#include <string>
#include <vector>

namespace svripper {

// For each track number (index 0 unused), whether its audio samples are stored big-endian:
// CUE tracks in a MOTOROLA file; cdrdao raw audio files unless the track says SWAP.
std::vector<bool> BigEndianTracks(const std::string& imagePath);

// Opens a cdrdao TOC image. libcdio looks for its data files from the working directory;
// they are named from the TOC file's folder here. Null when the image cannot be read.
CdIo_t* OpenCdrdao(const std::string& tocPath);
bool IsCdrdaoFileName(const std::string& name);

// True for the file names listed as disc images (.cue, .toc, any case).
bool IsImageFileName(const std::string& name);

}  // namespace svripper
