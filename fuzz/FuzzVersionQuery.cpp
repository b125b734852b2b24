// Runs the version block queries over hostile bytes; the library's entry
// point aborts when a result points outside the block.

#include "VersionBlock.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return FuzzVersionQuery(data, size);
}
