#include "BulkMemory.h"

#include <mutex>
#include <vector>

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

// Freed blocks kept for the next screenshot of a batch, which asks for the same sizes: the heap
// does not reuse 2 MiB-aligned blocks well, and every fresh huge page is cleared by the system
// first (about as long as filtering it). A request of another size first hands every kept
// block back, so one picture never takes more memory than it would without them.
class KeptBlocks
{
public:
    KeptBlocks() = default;
    KeptBlocks(const KeptBlocks &) = delete;
    KeptBlocks &operator=(const KeptBlocks &) = delete;
    ~KeptBlocks()
    {
        for (const Block &block : blocks_) {
            ::operator delete (block.block, std::align_val_t{kHugePage});
        }
    }

    void *Take(std::size_t size)
    {
        std::vector<Block> released;
        {
            const std::lock_guard lock(mutex_);
            for (std::size_t i = 0; i < blocks_.size(); ++i) {
                if (blocks_[i].size == size) {
                    void *block = blocks_[i].block;
                    blocks_.erase(blocks_.begin() + std::ptrdiff_t(i));
                    kept_ -= size;
                    return block;
                }
            }
            released.assign(blocks_.begin(), blocks_.end());
            blocks_.clear(); // keeps its room, so that Keep need not allocate
            kept_ = 0;
        }
        for (const Block &block : released) {
            ::operator delete (block.block, std::align_val_t{kHugePage});
        }
        return nullptr;
    }

    // False when the block would pass the limit; the caller frees it then.
    bool Keep(void *block, std::size_t size) noexcept
    {
        const std::lock_guard lock(mutex_);
        if (kept_ + size > kLimit || blocks_.size() == blocks_.capacity()) {
            return false;
        }
        blocks_.push_back({block, size});
        kept_ += size;
        return true;
    }

private:
    struct Block
    {
        void *block;
        std::size_t size;
    };
    static constexpr std::size_t kLimit = std::size_t{64} << 20;
    static constexpr std::size_t kMostBlocks = 16;

    std::mutex mutex_;
    std::vector<Block> blocks_ = [] {
        std::vector<Block> blocks;
        blocks.reserve(kMostBlocks); // Keep never allocates
        return blocks;
    }();
    std::size_t kept_ = 0;
};

KeptBlocks &Kept()
{
    static KeptBlocks kept;
    return kept;
}

} // namespace

void *AllocateBulk(std::size_t bytes)
{
    if (bytes < kBulkBlock) {
        return ::operator new(bytes);
    }
    const std::size_t size = BulkSize(bytes);
    if (void *block = Kept().Take(size)) {
        return block;
    }
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
    const std::size_t size = BulkSize(bytes);
    if (!Kept().Keep(block, size)) {
        ::operator delete (block, std::align_val_t{kHugePage});
    }
}

} // namespace kv::imaging
