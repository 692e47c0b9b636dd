// The compressed pixels of a GIF frame whose LZW minimum code size is above
// 8, which giflib refuses but browsers show: codes are still at most 12 bits
// wide, so a minimum of 9, 10 or 11 bits gives colour indices of up to 11
// bits (those past the colour table have no colour).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class WideGifLzw {
public:
    // The smallest and largest minimum code sizes read here.
    static constexpr int kFirstSize = 9, kLastSize = 11;

    // data: the frame's sub-blocks put together, without their lengths.
    WideGifLzw(int minimumCodeSize, std::vector<uint8_t> data);

    // The next count indices into out. False when the data ends, or is
    // damaged, before they are all there: out then holds what came before.
    bool Read(uint16_t* out, size_t count);

private:
    int NextCode();
    void Add(int prefix, uint16_t index);

    static constexpr int kMaxCodes = 4096;
    std::vector<uint8_t> data_;
    size_t bit_ = 0;
    int minimum_;
    int clear_, width_, next_;
    int previous_ = -1;
    bool ended_ = false;
    uint16_t prefix_[kMaxCodes];
    uint16_t suffix_[kMaxCodes];
    uint16_t first_[kMaxCodes];   // the first index of each code's string
    // The rest of a string that did not fit the last Read, last index first.
    std::vector<uint16_t> pending_;
};
