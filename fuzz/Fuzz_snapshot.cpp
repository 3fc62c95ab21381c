// Any bytes as library.json: either a snapshot that encodes back to a
// document decoding to the same value (the date to within a microsecond or
// two, the precision of a double at the far ends of the accepted range),
// or SnapshotError; nothing else.
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "model/LibrarySnapshot.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        const LibrarySnapshot snapshot = LibrarySnapshot::decode(text);
        LibrarySnapshot again = LibrarySnapshot::decode(snapshot.encode());
        if (std::chrono::abs(again.scannedAt - snapshot.scannedAt) > std::chrono::microseconds(4))
            std::abort();
        again.scannedAt = snapshot.scannedAt;
        if (!(again == snapshot))
            std::abort();
    } catch (const SnapshotError&) {
    }
    return 0;
}
