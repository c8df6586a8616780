#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <new>
#include <utility>
#include <vector>

namespace kv::imaging {

// Pixel stores and whole files run to megabytes that are written once, right after they are
// allocated. Where the system faults memory in 4 KiB at a time (slowly, on many virtual
// machines) that costs more than the work on the pixels, so blocks of at least kBulkBlock bytes
// are aligned to 2 MiB and, where the system offers it, backed by huge pages. Smaller blocks
// come from the ordinary heap.
inline constexpr std::size_t kBulkBlock = std::size_t{1} << 20;

void *AllocateBulk(std::size_t bytes);
void FreeBulk(void *block, std::size_t bytes) noexcept;

template <class T> class BulkAllocator
{
public:
    using value_type = T;

    BulkAllocator() noexcept = default;
    template <class U> BulkAllocator(const BulkAllocator<U> &) noexcept {}

    T *allocate(std::size_t count)
    {
        if (count > std::numeric_limits<std::size_t>::max() / sizeof(T)) {
            throw std::bad_array_new_length();
        }
        return static_cast<T *>(AllocateBulk(count * sizeof(T)));
    }
    void deallocate(T *block, std::size_t count) noexcept { FreeBulk(block, count * sizeof(T)); }

    // Elements made without a value are left unset, not zeroed: a buffer of pixels is written
    // before it is read, and clearing megabytes first would only cost time.
    template <class U> void construct(U *element) noexcept
    {
        ::new (static_cast<void *>(element)) U;
    }
    template <class U, class... Args> void construct(U *element, Args &&...args)
    {
        ::new (static_cast<void *>(element)) U(std::forward<Args>(args)...);
    }

    friend bool operator==(const BulkAllocator &, const BulkAllocator &) noexcept { return true; }
};

// resize() leaves the new bytes unset (see BulkAllocator::construct).
using ByteBuffer = std::vector<std::uint8_t, BulkAllocator<std::uint8_t>>;

} // namespace kv::imaging
