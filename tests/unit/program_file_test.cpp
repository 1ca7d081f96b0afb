// Reading a program file's bytes: the version resource and whether a signature is carried, on
// small images built here (a 32- and a 64-bit header, one resource section) and on every
// broken form of them.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <optional>

#include "net/program_file.h"

namespace tolvek {
namespace {

void put16(std::string& b, std::size_t at, std::uint32_t v) {
    b[at] = static_cast<char>(v & 0xFF);
    b[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}
void put32(std::string& b, std::size_t at, std::uint32_t v) {
    put16(b, at, v & 0xFFFF);
    put16(b, at + 2, v >> 16);
}

struct ImageShape {
    bool pe64 = true;
    std::optional<std::array<std::uint16_t, 4>> version = std::array<std::uint16_t, 4> {0, 5, 25, 0};
    bool certificate_table = false;
};

// DOS header, "PE", COFF header, optional header with 16 data directories, one section
// ".rsrc" at file offset 0x200 (RVA 0x1000) holding type 16 → name 1 → language 0x407 → the
// VS_VERSIONINFO; a certificate table of 16 bytes after it when asked for.
std::string build_image(const ImageShape& shape) {
    std::string b(0x400, '\0');
    b[0] = 'M', b[1] = 'Z';
    put32(b, 0x3C, 0x40);
    b[0x40] = 'P', b[0x41] = 'E';
    const std::size_t coff = 0x44;
    put16(b, coff, shape.pe64 ? 0x8664 : 0x14C);
    put16(b, coff + 2, 1);
    const std::uint32_t optional_size = shape.pe64 ? 240 : 224;
    put16(b, coff + 16, optional_size);
    const std::size_t optional = coff + 20;
    put16(b, optional, shape.pe64 ? 0x20B : 0x10B);
    put32(b, optional + (shape.pe64 ? 108 : 92), 16);
    const std::size_t directories = optional + (shape.pe64 ? 112 : 96);
    const std::size_t section = optional + optional_size;
    std::memcpy(b.data() + section, ".rsrc", 5);
    put32(b, section + 8, 0x200);    // virtual size
    put32(b, section + 12, 0x1000);  // virtual address
    put32(b, section + 16, 0x200);   // raw size
    put32(b, section + 20, 0x200);   // raw pointer
    if (shape.version) {
        put32(b, directories + 2 * 8, 0x1000);
        put32(b, directories + 2 * 8 + 4, 0x100);
        const std::size_t r = 0x200;
        // Three directories, each with one id entry.
        const std::uint32_t ids[] = {16, 1, 0x407};
        for (std::uint32_t level = 0; level < 3; ++level) {
            const std::size_t dir = r + level * 0x18;
            put16(b, dir + 14, 1);
            put32(b, dir + 16, ids[level]);
            put32(b, dir + 20, level < 2 ? (0x80000000u | ((level + 1) * 0x18)) : 0x48);
        }
        put32(b, r + 0x48, 0x1000 + 0x58);  // the data's RVA
        put32(b, r + 0x4C, 92);
        const std::size_t info = r + 0x58;
        put16(b, info, 92);
        put16(b, info + 2, 52);
        const char key[] = "VS_VERSION_INFO";
        for (std::size_t i = 0; i < sizeof key; ++i) put16(b, info + 6 + 2 * i, static_cast<unsigned char>(key[i]));
        put32(b, info + 40, 0xFEEF04BD);
        put32(b, info + 48, static_cast<std::uint32_t>((*shape.version)[0]) << 16 | (*shape.version)[1]);
        put32(b, info + 52, static_cast<std::uint32_t>((*shape.version)[2]) << 16 | (*shape.version)[3]);
    }
    if (shape.certificate_table) {
        put32(b, directories + 4 * 8, 0x3F0);  // a file offset, not an RVA
        put32(b, directories + 4 * 8 + 4, 16);
    }
    return b;
}

TEST(ProgramFile, VersionAndSignatureTable) {
    const struct {
        const char* name;
        ImageShape shape;
        std::optional<std::string> version;
        bool signature;
    } cases[] = {
        {"64-bit, 0.5.25.0", {}, "0.5.25", false},
        {"32-bit, with a revision", {false, std::array<std::uint16_t, 4> {1, 2, 3, 4}, false}, "1.2.3.4", false},
        {"largest numbers", {true, std::array<std::uint16_t, 4> {65535, 65535, 65535, 65535}, true},
         "65535.65535.65535.65535", true},
        {"no version resource", {true, std::nullopt, true}, std::nullopt, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string image = build_image(c.shape);
        EXPECT_EQ(file_version(image), c.version);
        EXPECT_EQ(carries_signature(image), c.signature);
    }
}

TEST(ProgramFile, BrokenImagesGiveNothing) {
    const std::string good = build_image({true, std::array<std::uint16_t, 4> {0, 5, 25, 0}, true});
    // Every truncation is read safely (the sanitizers watch), and none yields a version the
    // whole file does not give.
    for (std::size_t n = 0; n < good.size(); ++n) {
        const auto version = file_version(good.substr(0, n));
        if (version) {
            EXPECT_EQ(*version, "0.5.25") << n;
        }
        carries_signature(good.substr(0, n));
    }
    EXPECT_EQ(file_version(good.substr(0, 0x200)), std::nullopt) << "the resource section cut off";

    const auto broken = [&](std::size_t at, std::uint32_t value) {
        std::string b = good;
        put32(b, at, value);
        return b;
    };
    const std::size_t directories = 0x44 + 20 + 112;
    const struct {
        const char* name;
        std::string image;
    } cases[] = {
        {"not MZ", "ZM" + good.substr(2)},
        {"PE header beyond the file", broken(0x3C, 0xFFFFFFF0)},
        {"no PE signature", broken(0x40, 0x00004551)},
        {"unknown optional header", broken(0x44 + 20, 0x30B)},
        {"resource RVA outside every section", broken(directories + 16, 0x9000)},
        {"resource data RVA outside", broken(0x200 + 0x48, 0x7FFFFFF0)},
        {"a loop in the tree", broken(0x200 + 0x18 + 20, 0x80000000u | 0x18)},
        {"a data entry where a directory belongs", broken(0x200 + 20, 0x48)},
        {"fixed information without its signature", broken(0x200 + 0x58 + 40, 0xFEEF04BC)},
        {"data shorter than the fixed information", broken(0x200 + 0x4C, 40)},
        {"section raw pointer beyond the file", broken(0x44 + 20 + 240 + 20, 0xFFFFFF00)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(file_version(c.image), std::nullopt);
    }
    EXPECT_FALSE(carries_signature("ZM" + good.substr(2)));
    EXPECT_FALSE(carries_signature(broken(directories + 32 + 4, 0))) << "an empty certificate table";
}

}  // namespace
}  // namespace tolvek
