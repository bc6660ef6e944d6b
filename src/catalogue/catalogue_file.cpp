#include "catalogue/catalogue_file.h"

#include <cstring>

#include "base/platform.h"
#include "base/safe_file.h"

namespace ostrel {

namespace {

constexpr std::size_t kMaxFileSize = kChipRecordSize * kCatalogueCapacity;

}  // namespace

CatalogueLoad loadCatalogueBytes(const std::string& bytes, Catalogue& catalogue) {
    // More than 1000 records cannot come from our editor, and cutting the file
    // to the first 1000 would lose the rest at the next save: refused like any
    // other damaged file.
    if (bytes.size() % kChipRecordSize != 0 || bytes.size() > kMaxFileSize)
        return CatalogueLoad::Destroyed;
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    const std::size_t records = bytes.size() / kChipRecordSize;
    for (std::size_t i = 0; i < records; ++i)
        catalogue.records()[i] = decodeRecord(data + i * kChipRecordSize);
    return CatalogueLoad::Loaded;
}

CatalogueLoad loadCatalogueFile(const std::string& path, Catalogue& catalogue) {
    const std::optional<platform::PathInfo> info = platform::pathInfo(path);
    if (!info) return CatalogueLoad::Missing;
    // Checked before reading, so that a huge foreign file is not read whole.
    if (info->regular && static_cast<uint64_t>(info->size) > kMaxFileSize)
        return CatalogueLoad::Destroyed;
    const auto bytes = readWholeFile(path);
    if (!bytes) return CatalogueLoad::Missing;
    return loadCatalogueBytes(*bytes, catalogue);
}

bool saveCatalogueFile(const std::string& path, Catalogue& catalogue, int chipCount) {
    if (chipCount < 0 || chipCount > kCatalogueCapacity) return false;
    const std::size_t chips = static_cast<std::size_t>(chipCount);
    const bool terminated = chipCount < kCatalogueCapacity;
    if (terminated) std::memset(catalogue.at(chipCount).nameText, 0, kNameTextSize);

    std::string bytes((chips + (terminated ? 1 : 0)) * kChipRecordSize, '\0');
    auto* out = reinterpret_cast<uint8_t*>(&bytes[0]);
    for (std::size_t i = 0; i < chips; ++i)
        encodeRecord(catalogue.records()[i], out + i * kChipRecordSize);
    return replaceFileContents(path, bytes);
}

}  // namespace ostrel
