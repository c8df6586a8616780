#include "WorkingBitmap.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace kv::imaging {

namespace {

bool IsKnownDepth(int bitsPerPixel)
{
    switch (bitsPerPixel) {
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32:
        return true;
    default:
        return false;
    }
}

} // namespace

std::uint8_t ExpandMaskedChannel(std::uint32_t value, std::uint32_t mask)
{
    if (mask == 0) {
        return 0;
    }
    const int shift = std::countr_zero(mask);
    const int bits = std::popcount(mask);
    const std::uint32_t field = (value & mask) >> shift;
    if (bits >= 8) {
        return std::uint8_t(field >> (bits - 8));
    }
    const std::uint32_t max = (std::uint32_t{1} << bits) - 1;
    return std::uint8_t((field * 255 + max / 2) / max);
}

bool WithinPixelCeiling(std::int64_t width, std::int64_t height)
{
    return width >= 0 && height >= 0 && width <= kMaxDimension && height <= kMaxDimension &&
           width * height <= kMaxPixels;
}

WorkingBitmap::WorkingBitmap(std::int32_t width, std::int32_t height, int bitsPerPixel)
{
    if (!IsKnownDepth(bitsPerPixel)) {
        throw std::invalid_argument("unsupported bits per pixel");
    }
    bitsPerPixel_ = bitsPerPixel;
    SetSize(width, height);
}

WorkingBitmap WorkingBitmap::Unfilled(std::int32_t width, std::int32_t height, int bitsPerPixel)
{
    if (!IsKnownDepth(bitsPerPixel)) {
        throw std::invalid_argument("unsupported bits per pixel");
    }
    if (width < 0 || height < 0) {
        throw std::invalid_argument("negative image size");
    }
    return WorkingBitmap().AllocatedLike(width, height, bitsPerPixel);
}

void WorkingBitmap::SetPalette(std::vector<PaletteEntry> palette)
{
    palette_ = std::move(palette);
}

WorkingBitmap WorkingBitmap::AllocatedLike(std::int32_t width, std::int32_t height,
                                           int bitsPerPixel) const
{
    WorkingBitmap image;
    image.bitsPerPixel_ = bitsPerPixel;
    image.palette_ = palette_;
    image.masks_ = masks_;
    image.width_ = width;
    image.height_ = height;
    image.rowBytes_ = RowBytesFor(width, bitsPerPixel);
    image.pixels_.resize(image.rowBytes_ * std::size_t(height));
    return image;
}

std::size_t WorkingBitmap::RowBytesFor(std::int32_t width, int bitsPerPixel)
{
    return (std::size_t(width) * std::size_t(bitsPerPixel) + 7) / 8;
}

std::uint32_t WorkingBitmap::WhiteValue() const
{
    switch (bitsPerPixel_) {
    case 16:
        return masks_[0] | masks_[1] | masks_[2];
    case 24:
        return 0xFFFFFF;
    case 32:
        return 0xFFFFFFFF;
    default: {
        // The palette entry closest to white; index 0 when there is no palette.
        std::uint32_t best = 0;
        int bestDistance = 1 << 30;
        for (std::size_t i = 0; i < palette_.size() && i < (std::size_t{1} << bitsPerPixel_); ++i) {
            const PaletteEntry &e = palette_[i];
            const int distance = (255 - e.red) * (255 - e.red) + (255 - e.green) * (255 - e.green) +
                                 (255 - e.blue) * (255 - e.blue);
            if (distance < bestDistance) {
                bestDistance = distance;
                best = std::uint32_t(i);
            }
        }
        return best;
    }
    }
}

std::uint32_t WorkingBitmap::RawAt(const std::uint8_t *row, std::int32_t x) const
{
    const std::size_t ux = std::size_t(x);
    switch (bitsPerPixel_) {
    case 1:
        return (row[ux >> 3] >> (7 - (ux & 7))) & 1u;
    case 4:
        return (ux & 1) ? row[ux >> 1] & 0x0Fu : row[ux >> 1] >> 4;
    case 8:
        return row[ux];
    case 16:
        return std::uint32_t(row[2 * ux]) | std::uint32_t(row[2 * ux + 1]) << 8;
    case 24:
        return std::uint32_t(row[3 * ux]) | std::uint32_t(row[3 * ux + 1]) << 8 |
               std::uint32_t(row[3 * ux + 2]) << 16;
    default:
        return std::uint32_t(row[4 * ux]) | std::uint32_t(row[4 * ux + 1]) << 8 |
               std::uint32_t(row[4 * ux + 2]) << 16 | std::uint32_t(row[4 * ux + 3]) << 24;
    }
}

void WorkingBitmap::SetRaw(std::uint8_t *row, std::int32_t x, std::uint32_t value) const
{
    const std::size_t ux = std::size_t(x);
    switch (bitsPerPixel_) {
    case 1: {
        const std::uint8_t bit = std::uint8_t(0x80u >> (ux & 7));
        row[ux >> 3] = std::uint8_t((row[ux >> 3] & ~bit) | ((value & 1u) ? bit : 0));
        break;
    }
    case 4:
        if (ux & 1) {
            row[ux >> 1] = std::uint8_t((row[ux >> 1] & 0xF0u) | (value & 0x0Fu));
        } else {
            row[ux >> 1] = std::uint8_t((row[ux >> 1] & 0x0Fu) | ((value & 0x0Fu) << 4));
        }
        break;
    case 8:
        row[ux] = std::uint8_t(value);
        break;
    case 16:
        row[2 * ux] = std::uint8_t(value);
        row[2 * ux + 1] = std::uint8_t(value >> 8);
        break;
    case 24:
        row[3 * ux] = std::uint8_t(value);
        row[3 * ux + 1] = std::uint8_t(value >> 8);
        row[3 * ux + 2] = std::uint8_t(value >> 16);
        break;
    default:
        for (int i = 0; i < 4; ++i) {
            row[4 * ux + i] = std::uint8_t(value >> (8 * i));
        }
        break;
    }
}

void WorkingBitmap::SetSize(std::int32_t width, std::int32_t height)
{
    if (width < 0 || height < 0) {
        throw std::invalid_argument("negative image size");
    }
    if (width == width_ && height == height_) {
        return;
    }
    WorkingBitmap resized = AllocatedLike(width, height, bitsPerPixel_);
    resized.FillWhite();

    const std::int32_t keepWidth = std::min(width, width_);
    const std::int32_t keepHeight = std::min(height, height_);
    // A width of 0 keeps no bytes (and the rows have no storage to copy into).
    for (std::int32_t y = 0; y < keepHeight && keepWidth > 0; ++y) {
        if (bitsPerPixel_ >= 8) {
            std::memcpy(resized.Row(y), Row(y), RowBytesFor(keepWidth, bitsPerPixel_));
        } else {
            for (std::int32_t x = 0; x < keepWidth; ++x) {
                SetRaw(resized.Row(y), x, RawAt(Row(y), x));
            }
        }
    }
    *this = std::move(resized);
}

void WorkingBitmap::FillWhite()
{
    if (bitsPerPixel_ == 24 || bitsPerPixel_ == 32) {
        std::fill(pixels_.begin(), pixels_.end(), std::uint8_t{0xFF});
        return;
    }
    // The bits past a row's last pixel are 0, so that equal pictures have equal rows.
    std::fill(pixels_.begin(), pixels_.end(), std::uint8_t{0});
    const std::uint32_t white = WhiteValue();
    for (std::int32_t y = 0; y < height_; ++y) {
        for (std::int32_t x = 0; x < width_; ++x) {
            SetRaw(Row(y), x, white);
        }
    }
}

PaletteEntry WorkingBitmap::ColourAt(std::int32_t x, std::int32_t y) const
{
    const std::uint32_t raw = RawAt(Row(y), x);
    switch (bitsPerPixel_) {
    case 16:
        return {ExpandMaskedChannel(raw, masks_[2]), ExpandMaskedChannel(raw, masks_[1]),
                ExpandMaskedChannel(raw, masks_[0])};
    case 24:
    case 32:
        return {std::uint8_t(raw), std::uint8_t(raw >> 8), std::uint8_t(raw >> 16)};
    default:
        // An index past the palette's end shows black rather than reading beyond it.
        return raw < palette_.size() ? palette_[raw] : PaletteEntry{};
    }
}

void WorkingBitmap::ConvertTo(int bitsPerPixel)
{
    if (bitsPerPixel != 24 && bitsPerPixel != 32) {
        throw std::invalid_argument("images convert to 24 or 32 bits only");
    }
    if (bitsPerPixel == bitsPerPixel_) {
        return;
    }
    WorkingBitmap converted = AllocatedLike(width_, height_, bitsPerPixel);
    converted.palette_.clear();
    const std::size_t outBytes = std::size_t(bitsPerPixel / 8);
    for (std::int32_t y = 0; y < height_; ++y) {
        std::uint8_t *out = converted.Row(y);
        const std::uint8_t *in = Row(y);
        if (bitsPerPixel_ == 24 || bitsPerPixel_ == 32) {
            const std::size_t inBytes = std::size_t(bitsPerPixel_ / 8);
            for (std::int32_t x = 0; x < width_; ++x) {
                std::memcpy(out + std::size_t(x) * outBytes, in + std::size_t(x) * inBytes, 3);
                if (outBytes == 4) {
                    out[std::size_t(x) * 4 + 3] = 0;
                }
            }
            continue;
        }
        for (std::int32_t x = 0; x < width_; ++x) {
            const PaletteEntry c = ColourAt(x, y);
            std::uint8_t *p = out + std::size_t(x) * outBytes;
            p[0] = c.blue;
            p[1] = c.green;
            p[2] = c.red;
            if (outBytes == 4) {
                p[3] = 0;
            }
        }
    }
    *this = std::move(converted);
}

void WorkingBitmap::Draw(std::int32_t x, std::int32_t y, const WorkingBitmap &source)
{
    if (source.bitsPerPixel_ != bitsPerPixel_) {
        WorkingBitmap converted = source;
        converted.ConvertTo(bitsPerPixel_);
        Draw(x, y, converted);
        return;
    }
    if (&source == this && bitsPerPixel_ < 8) {
        // Sub-byte pixels cannot be moved with memmove; draw from a copy instead.
        const WorkingBitmap copy = source;
        Draw(x, y, copy);
        return;
    }

    const std::int64_t left = std::max<std::int64_t>(0, x);
    const std::int64_t right = std::min<std::int64_t>(width_, std::int64_t(x) + source.width_);
    const std::int64_t top = std::max<std::int64_t>(0, y);
    const std::int64_t bottom = std::min<std::int64_t>(height_, std::int64_t(y) + source.height_);
    if (left >= right || top >= bottom) {
        return;
    }

    // Moving an image onto itself downwards must read the lower rows before they are overwritten.
    const bool bottomUp = &source == this && y > 0;
    for (std::int64_t i = 0; i < bottom - top; ++i) {
        const std::int32_t dy = std::int32_t(bottomUp ? bottom - 1 - i : top + i);
        const std::int32_t sy = std::int32_t(dy - std::int64_t(y));
        if (bitsPerPixel_ >= 8) {
            const std::size_t bytes = std::size_t(bitsPerPixel_ / 8);
            std::memmove(Row(dy) + std::size_t(left) * bytes,
                         source.Row(sy) + std::size_t(left - x) * bytes,
                         std::size_t(right - left) * bytes);
        } else {
            for (std::int64_t dx = left; dx < right; ++dx) {
                SetRaw(Row(dy), std::int32_t(dx),
                       source.RawAt(source.Row(sy), std::int32_t(dx - x)));
            }
        }
    }
}

void WorkingBitmap::Crop(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height)
{
    if (width < 0 || height < 0) {
        throw std::invalid_argument("negative image size");
    }
    const bool inside = x >= 0 && y >= 0 && std::int64_t(x) + width <= width_ &&
                        std::int64_t(y) + height <= height_;
    if (!inside || bitsPerPixel_ < 8) {
        // Parts outside keep old pixels or turn white, as the drawing and the cut leave them.
        // An offset whose negation has no 32-bit value moves the picture out of sight.
        if (x != INT32_MIN && y != INT32_MIN) {
            Draw(-x, -y, *this);
        }
        SetSize(width, height);
        return;
    }
    WorkingBitmap cropped = AllocatedLike(width, height, bitsPerPixel_);
    const std::size_t left = std::size_t(x) * std::size_t(bitsPerPixel_ / 8);
    for (std::int32_t row = 0; row < height && width > 0; ++row) {
        std::memcpy(cropped.Row(row), Row(y + row) + left, cropped.rowBytes_);
    }
    *this = std::move(cropped);
}

void WorkingBitmap::Discard()
{
    width_ = 0;
    height_ = 0;
    rowBytes_ = 0;
    pixels_.clear();
    pixels_.shrink_to_fit();
}

} // namespace kv::imaging
