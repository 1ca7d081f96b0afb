#include "net/program_file.h"

#include <algorithm>
#include <cstdint>

namespace tolvek {
namespace {

constexpr std::uint32_t kResourceDirectory = 2;
constexpr std::uint32_t kSecurityDirectory = 4;
constexpr std::uint32_t kVersionType = 16;  // RT_VERSION
constexpr std::uint32_t kFixedInfoSignature = 0xFEEF04BD;

std::optional<std::uint32_t> u32(std::string_view b, std::uint64_t at) {
    if (at > b.size() || b.size() - at < 4) return std::nullopt;
    const auto* p = reinterpret_cast<const unsigned char*>(b.data() + at);
    return static_cast<std::uint32_t>(p[0] | p[1] << 8 | p[2] << 16) | static_cast<std::uint32_t>(p[3]) << 24;
}

std::optional<std::uint16_t> u16(std::string_view b, std::uint64_t at) {
    if (at > b.size() || b.size() - at < 2) return std::nullopt;
    const auto* p = reinterpret_cast<const unsigned char*>(b.data() + at);
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

struct DataDirectory {
    std::uint32_t address = 0;
    std::uint32_t size = 0;
};

struct Headers {
    std::uint64_t sections = 0;  // file offset of the section table
    std::uint16_t section_count = 0;
    std::uint32_t directory_count = 0;
    std::uint64_t directories = 0;  // file offset of the data directories
};

std::optional<Headers> read_headers(std::string_view image) {
    if (image.size() < 64 || image[0] != 'M' || image[1] != 'Z') return std::nullopt;
    const auto pe = u32(image, 0x3C);
    if (!pe || u32(image, *pe) != 0x00004550u) return std::nullopt;  // "PE\0\0"
    const std::uint64_t coff = std::uint64_t {*pe} + 4;
    const auto section_count = u16(image, coff + 2);
    const auto optional_size = u16(image, coff + 16);
    const std::uint64_t optional = coff + 20;
    const auto magic = u16(image, optional);
    if (!section_count || !optional_size || !magic) return std::nullopt;
    Headers h;
    std::uint64_t count_at;
    if (*magic == 0x10B) {  // 32-bit
        count_at = optional + 92;
        h.directories = optional + 96;
    } else if (*magic == 0x20B) {  // 64-bit
        count_at = optional + 108;
        h.directories = optional + 112;
    } else {
        return std::nullopt;
    }
    const auto count = u32(image, count_at);
    if (!count) return std::nullopt;
    // Only the directories that lie inside the optional header count.
    const std::uint64_t end = optional + *optional_size;
    h.directory_count = h.directories > end ? 0
                                            : static_cast<std::uint32_t>(
                                                  std::min<std::uint64_t>(*count, (end - h.directories) / 8));
    h.sections = end;
    h.section_count = *section_count;
    return h;
}

std::optional<DataDirectory> directory(std::string_view image, const Headers& h, std::uint32_t index) {
    if (index >= h.directory_count) return std::nullopt;
    const auto address = u32(image, h.directories + 8ull * index);
    const auto size = u32(image, h.directories + 8ull * index + 4);
    if (!address || !size) return std::nullopt;
    return DataDirectory {*address, *size};
}

// The file offset of a relative virtual address, through the section that holds it.
std::optional<std::uint64_t> file_offset(std::string_view image, const Headers& h, std::uint32_t rva) {
    for (std::uint16_t i = 0; i < h.section_count; ++i) {
        const std::uint64_t at = h.sections + 40ull * i;
        const auto virtual_size = u32(image, at + 8);
        const auto virtual_address = u32(image, at + 12);
        const auto raw_size = u32(image, at + 16);
        const auto raw_pointer = u32(image, at + 20);
        if (!virtual_size || !virtual_address || !raw_size || !raw_pointer) return std::nullopt;
        const std::uint64_t extent = std::max(*virtual_size, *raw_size);
        if (rva >= *virtual_address && rva - *virtual_address < extent) {
            const std::uint64_t delta = rva - *virtual_address;
            if (delta >= *raw_size) return std::nullopt;  // not in the file
            return std::uint64_t {*raw_pointer} + delta;
        }
    }
    return std::nullopt;
}

// One step down the resource tree: the entry with the wanted id, or the first entry when no id
// is wanted. Gives the entry's offset field (high bit: a further directory).
std::optional<std::uint32_t> resource_step(std::string_view image, std::uint64_t dir,
                                           std::optional<std::uint32_t> id) {
    const auto named = u16(image, dir + 12);
    const auto ids = u16(image, dir + 14);
    if (!named || !ids) return std::nullopt;
    const unsigned total = static_cast<unsigned>(*named) + *ids;
    for (unsigned i = 0; i < total; ++i) {
        const std::uint64_t entry = dir + 16 + 8ull * i;
        const auto name = u32(image, entry);
        const auto target = u32(image, entry + 4);
        if (!name || !target) return std::nullopt;
        if (!id || (!(*name & 0x80000000u) && *name == *id)) return *target;
    }
    return std::nullopt;
}

}  // namespace

bool carries_signature(std::string_view image) {
    const auto h = read_headers(image);
    if (!h) return false;
    const auto security = directory(image, *h, kSecurityDirectory);
    return security && security->address != 0 && security->size != 0;
}

std::optional<std::string> file_version(std::string_view image) {
    const auto h = read_headers(image);
    if (!h) return std::nullopt;
    const auto resources = directory(image, *h, kResourceDirectory);
    if (!resources) return std::nullopt;
    const auto root = file_offset(image, *h, resources->address);
    if (!root) return std::nullopt;
    // Type, then name, then language; each below the first two must be a directory.
    std::uint64_t dir = *root;
    std::optional<std::uint32_t> step = resource_step(image, dir, kVersionType);
    for (int level = 0; level < 2; ++level) {
        if (!step || !(*step & 0x80000000u)) return std::nullopt;
        dir = *root + (*step & 0x7FFFFFFFu);
        step = resource_step(image, dir, std::nullopt);
    }
    if (!step || (*step & 0x80000000u)) return std::nullopt;
    const std::uint64_t data_entry = *root + *step;
    const auto data_rva = u32(image, data_entry);
    const auto data_size = u32(image, data_entry + 4);
    if (!data_rva || !data_size) return std::nullopt;
    const auto data = file_offset(image, *h, *data_rva);
    if (!data) return std::nullopt;
    // VS_VERSIONINFO: length, value length, type, the key "VS_VERSION_INFO" with its zero, padded
    // to four bytes; then the fixed file information.
    const std::uint64_t fixed = *data + 40;
    if (*data_size < 40 + 52 || u32(image, fixed) != kFixedInfoSignature) return std::nullopt;
    const auto high = u32(image, fixed + 8);
    const auto low = u32(image, fixed + 12);
    if (!high || !low) return std::nullopt;
    std::string version = std::to_string(*high >> 16) + "." + std::to_string(*high & 0xFFFF) + "." +
                          std::to_string(*low >> 16);
    if ((*low & 0xFFFF) != 0) version += "." + std::to_string(*low & 0xFFFF);
    return version;
}

}  // namespace tolvek
