// Decompresses the input as an LZRW1-KH block (with a bounded output), and
// compresses the input and checks that it comes back unchanged.

#include "core/Lzrw1KH.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace velmaris;

    // The output limit comes from the first input byte so that blocks meet
    // both roomy and tight buffers.
    const std::size_t capacity = size == 0 ? 0 : (data[0] % 2 ? 65536 : data[0] * 4);
    std::vector<std::uint8_t> out(capacity);
    try {
        const std::size_t n = Lzrw1KHDecompress(data, out.data(), size, out.size());
        if (n > capacity)
            std::abort();
    } catch (const ELzrw1KHBadBlock&) {
    }

    if (size <= kLzrw1KHMaxSourceSize) {
        std::vector<std::uint8_t> block(Lzrw1KHCompressBound(size));
        const std::size_t blockSize = Lzrw1KHCompress(data, block.data(), size, block.size());
        if (blockSize > block.size())
            std::abort();
        std::vector<std::uint8_t> back(size);
        const std::size_t n = Lzrw1KHDecompress(block.data(), back.data(), blockSize, back.size());
        if (n != size || (size != 0 && std::memcmp(back.data(), data, size) != 0))
            std::abort();
    }
    return 0;
}
