#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "BulkMemory.h"

namespace kv::imaging {

// Loaders refuse images beyond these before allocating: far above any screen a screenshot comes
// from (16K is 15360 x 8640), far below what would exhaust memory (a 32-bit image of kMaxPixels
// takes 512 MiB).
inline constexpr std::int64_t kMaxDimension = 65535;
inline constexpr std::int64_t kMaxPixels = std::int64_t{1} << 27;

// Widens the colour field that mask selects in a 16- or 32-bit pixel to 0..255, whatever the
// field's width; an empty mask gives 0.
std::uint8_t ExpandMaskedChannel(std::uint32_t value, std::uint32_t mask);

// True when a width x height image is within the ceilings above (both must be >= 0).
bool WithinPixelCeiling(std::int64_t width, std::int64_t height);

struct PaletteEntry
{
    std::uint8_t blue = 0;
    std::uint8_t green = 0;
    std::uint8_t red = 0;
    bool operator==(const PaletteEntry &) const = default;
};

// The in-memory image of the converter. Rows run from the top; each row is packed without
// padding: (width * bitsPerPixel + 7) / 8 bytes. Pixel layouts:
//   1, 4, 8 bits: palette indices, the leftmost pixel in the high bits of a byte;
//   16 bits: little-endian words split by the three colour masks (default 5-5-5);
//   24 bits: blue, green, red; 32 bits: blue, green, red and a fourth byte nobody reads.
class WorkingBitmap
{
public:
    WorkingBitmap() = default;
    // A width x height image at the given depth, every pixel white. Throws std::invalid_argument
    // for a depth other than 1, 4, 8, 16, 24, 32 or a negative size.
    WorkingBitmap(std::int32_t width, std::int32_t height, int bitsPerPixel);
    // The same image with its pixel bytes unset, for a loader that writes every byte of every row
    // before anything reads it. Throws as the constructor.
    static WorkingBitmap Unfilled(std::int32_t width, std::int32_t height, int bitsPerPixel);

    std::int32_t Width() const { return width_; }
    std::int32_t Height() const { return height_; }
    int BitsPerPixel() const { return bitsPerPixel_; }
    bool Empty() const { return width_ == 0 || height_ == 0; }

    const std::vector<PaletteEntry> &Palette() const { return palette_; }
    void SetPalette(std::vector<PaletteEntry> palette);

    // Red, green and blue masks of a 16-bit image.
    const std::array<std::uint32_t, 3> &ColourMasks() const { return masks_; }
    void SetColourMasks(const std::array<std::uint32_t, 3> &masks) { masks_ = masks; }

    // Size changes keep the top-left region both sizes share; new pixels are white.
    void SetWidth(std::int32_t width) { SetSize(width, height_); }
    void SetHeight(std::int32_t height) { SetSize(width_, height); }
    void SetSize(std::int32_t width, std::int32_t height);

    // Converts the pixels to 24 or 32 bits (palettes and 16-bit words expand to their colours,
    // 32 to 24 drops the fourth byte). Throws std::invalid_argument for any other target.
    void ConvertTo(int bitsPerPixel);

    // Draws source with its pixel (0, 0) at (x, y); what falls outside is cut off, pixels not
    // covered keep their values. The source may be this image itself. A source of another depth
    // is converted first, which needs this image to be 24 or 32 bits.
    void Draw(std::int32_t x, std::int32_t y, const WorkingBitmap &source);

    // Keeps the width x height rectangle whose top-left corner is (x, y): the same pixels as
    // Draw(-x, -y, *this) followed by SetSize(width, height), copied once when the rectangle
    // lies inside the image. Throws std::invalid_argument for a negative size.
    void Crop(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height);

    // Frees the pixels; the image becomes empty and keeps its depth.
    void Discard();

    std::size_t RowBytes() const { return rowBytes_; }
    std::uint8_t *Row(std::int32_t y) { return pixels_.data() + std::size_t(y) * rowBytes_; }
    const std::uint8_t *Row(std::int32_t y) const
    {
        return pixels_.data() + std::size_t(y) * rowBytes_;
    }

    // The colour of one pixel whatever the depth; for tests, tools and conversions.
    PaletteEntry ColourAt(std::int32_t x, std::int32_t y) const;

private:
    static std::size_t RowBytesFor(std::int32_t width, int bitsPerPixel);
    // A width x height image with this one's palette and masks; its pixel bytes are unset.
    WorkingBitmap AllocatedLike(std::int32_t width, std::int32_t height, int bitsPerPixel) const;
    void FillWhite();
    std::uint32_t WhiteValue() const;
    std::uint32_t RawAt(const std::uint8_t *row, std::int32_t x) const;
    void SetRaw(std::uint8_t *row, std::int32_t x, std::uint32_t value) const;

    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    int bitsPerPixel_ = 24;
    std::size_t rowBytes_ = 0;
    std::vector<PaletteEntry> palette_;
    std::array<std::uint32_t, 3> masks_{0x7C00, 0x03E0, 0x001F};
    ByteBuffer pixels_;
};

} // namespace kv::imaging
