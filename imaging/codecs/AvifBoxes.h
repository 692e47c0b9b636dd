// The boxes of an ISO base media file, as the AVIF readers walk them: every
// read bounds-checked, a damaged box a Failure. For the AVIF container's own
// files only.
#pragma once

#include <cstdint>
#include <span>
#include <optional>
#include <string>
#include <vector>

#include "base/Failure.h"
#include "imaging/codecs/AvifContainer.h"

namespace avif_boxes {

[[noreturn]] inline void Invalid(const wchar_t* why)
{
    throw Failure(std::wstring(L"AVIF image is not valid: ") + why);
}
[[noreturn]] inline void Unsupported(const wchar_t* why)
{
    throw Failure(std::wstring(L"AVIF image is not supported: ") + why);
}

constexpr uint32_t FourCc(const char (&text)[5])
{
    return uint32_t(uint8_t(text[0])) << 24 | uint32_t(uint8_t(text[1])) << 16 | uint32_t(uint8_t(text[2])) << 8 |
           uint8_t(text[3]);
}

// Big-endian fields of a box: a short box fails.
class Reader {
public:
    explicit Reader(std::span<const uint8_t> data) : data_(data) {}
    size_t Left() const { return data_.size() - pos_; }
    size_t Pos() const { return pos_; }
    std::span<const uint8_t> Rest() const { return data_.subspan(pos_); }

    uint64_t Uint(int bytes)
    {
        Need(size_t(bytes));
        uint64_t v = 0;
        for (int i = 0; i < bytes; ++i)
            v = v << 8 | data_[pos_++];
        return v;
    }
    uint8_t U8() { return uint8_t(Uint(1)); }
    uint16_t U16() { return uint16_t(Uint(2)); }
    uint32_t U32() { return uint32_t(Uint(4)); }
    void Skip(size_t n)
    {
        Need(n);
        pos_ += n;
    }
    // A full box's version (flags in the low 24 bits of the word).
    uint8_t Version(uint32_t* flags = nullptr)
    {
        uint32_t word = U32();
        if (flags)
            *flags = word & 0xFFFFFF;
        return uint8_t(word >> 24);
    }
    std::string String()
    {
        std::string text;
        while (uint8_t c = U8())
            text.push_back(char(c));
        return text;
    }

private:
    void Need(size_t n) const
    {
        if (Left() < n)
            Invalid(L"a box is cut short");
    }
    std::span<const uint8_t> data_;
    size_t pos_ = 0;
};

struct Box {
    uint32_t type = 0;
    std::span<const uint8_t> body;
};

// The boxes one after the other in data.
class Boxes {
public:
    explicit Boxes(std::span<const uint8_t> data) : data_(data) {}
    bool Next(Box& box)
    {
        if (pos_ >= data_.size())
            return false;
        Reader r(data_.subspan(pos_));
        uint64_t size = r.U32();
        box.type = r.U32();
        if (size == 1)
            size = r.Uint(8);
        else if (size == 0)
            size = data_.size() - pos_;
        if (box.type == FourCc("uuid"))
            r.Skip(16);
        if (size < r.Pos() || size > data_.size() - pos_)
            Invalid(L"a box reaches past its end");
        box.body = data_.subspan(pos_ + r.Pos(), size_t(size) - r.Pos());
        pos_ += size_t(size);
        return true;
    }
    // The first box of that type, if any.
    bool Find(uint32_t type, Box& box)
    {
        while (Next(box))
            if (box.type == type)
                return true;
        return false;
    }

private:
    std::span<const uint8_t> data_;
    size_t pos_ = 0;
};

// The auxiliary type (auxC, auxi) of an alpha plane.
inline bool IsAlphaAuxiliaryType(const std::string& type)
{
    return type == "urn:mpeg:mpegB:cicp:systems:auxiliary:alpha" || type == "urn:mpeg:hevc:2015:auxid:1";
}

// A colr box: its nclx description into nclx and its ICC profile into icc,
// each only where still empty (the first of each kind counts).
inline void ReadColr(std::span<const uint8_t> body, std::optional<AvifNclx>& nclx, std::vector<uint8_t>& icc)
{
    Reader r(body);
    const uint32_t kind = r.U32();
    if (kind == FourCc("nclx")) {
        AvifNclx read;
        read.primaries = r.U16();
        read.transfer = r.U16();
        read.matrix = r.U16();
        read.fullRange = (r.U8() & 0x80) != 0;
        if (!nclx)
            nclx = read;
    } else if ((kind == FourCc("prof") || kind == FourCc("rICC")) && icc.empty()) {
        icc.assign(r.Rest().begin(), r.Rest().end());
    }
}

} // namespace avif_boxes
