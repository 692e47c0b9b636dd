#include "imaging/codecs/GifLzw.h"

#include <algorithm>

WideGifLzw::WideGifLzw(int minimumCodeSize, std::vector<uint8_t> data)
    : data_(std::move(data)), minimum_(std::clamp(minimumCodeSize, kFirstSize, kLastSize)), clear_(1 << minimum_),
      width_(minimum_ + 1), next_(clear_ + 2)
{
    for (int i = 0; i < clear_; ++i) {
        prefix_[i] = 0;
        suffix_[i] = first_[i] = uint16_t(i);
    }
}

// Codes are packed from the least significant bit of each byte on.
int WideGifLzw::NextCode()
{
    const size_t size = data_.size();
    if (bit_ + size_t(width_) > size * 8)
        return -1;
    const size_t byte = bit_ >> 3;
    uint32_t word = data_[byte];
    if (byte + 1 < size)
        word |= uint32_t(data_[byte + 1]) << 8;
    if (byte + 2 < size)
        word |= uint32_t(data_[byte + 2]) << 16;
    const int code = int((word >> (bit_ & 7)) & ((1u << width_) - 1));
    bit_ += size_t(width_);
    return code;
}

void WideGifLzw::Add(int prefix, uint16_t index)
{
    // A full table takes no more codes until the next clear code.
    if (next_ >= kMaxCodes)
        return;
    prefix_[next_] = uint16_t(prefix);
    suffix_[next_] = index;
    first_[next_] = first_[prefix];
    ++next_;
    if (next_ == 1 << width_ && width_ < 12)
        ++width_;
}

bool WideGifLzw::Read(uint16_t* out, size_t count)
{
    size_t done = 0;
    for (;;) {
        while (done < count && !pending_.empty()) {
            out[done++] = pending_.back();
            pending_.pop_back();
        }
        if (done == count)
            return true;
        if (ended_)
            return false;
        const int code = NextCode();
        if (code == clear_) {
            width_ = minimum_ + 1;
            next_ = clear_ + 2;
            previous_ = -1;
            continue;
        }
        if (previous_ < 0 ? code < 0 || code >= clear_ : code < 0 || code == clear_ + 1 || code > next_ ||
                                                             (code == next_ && next_ >= kMaxCodes)) {
            // The end code, the data's end, or a code not yet made.
            ended_ = true;
            return false;
        }
        if (previous_ >= 0)
            Add(previous_, first_[code == next_ ? previous_ : code]);
        previous_ = code;
        // The code's string, last index first.
        for (int c = code;; c = prefix_[c]) {
            pending_.push_back(suffix_[c]);
            if (c < clear_)
                break;
        }
    }
}
