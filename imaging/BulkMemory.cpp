#include "BulkMemory.h"

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace kv::imaging {

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

std::size_t BulkSize(std::size_t bytes)
{
    // Whole huge pages: a block's last part would otherwise fault in small pages.
    return bytes > std::numeric_limits<std::size_t>::max() - kHugePage
               ? bytes
               : (bytes + kHugePage - 1) / kHugePage * kHugePage;
}

} // namespace

void *AllocateBulk(std::size_t bytes)
{
    if (bytes < kBulkBlock) {
        return ::operator new(bytes);
    }
    const std::size_t size = BulkSize(bytes);
    void *block = ::operator new (size, std::align_val_t{kHugePage});
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    // Only advice: without huge pages the block works the same, just slower to fault in.
    ::madvise(block, size, MADV_HUGEPAGE);
#endif
    return block;
}

void FreeBulk(void *block, std::size_t bytes) noexcept
{
    if (bytes < kBulkBlock) {
        ::operator delete(block);
        return;
    }
    ::operator delete (block, std::align_val_t{kHugePage});
}

} // namespace kv::imaging
