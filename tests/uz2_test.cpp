// Redirect-server packages (.uz2): the chunk format both ways, damaged and
// hostile input, and tessvane-cli uz2 between files.
#include "test_support.h"

#include "formats/uz2.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

using namespace tv;
using tvtest::GameFixture;

namespace {

// Bytes that compress somewhat, as packages do: runs of text and noise.
std::string packageBytes(size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    std::string out;
    out.reserve(size);
    while (out.size() < size) {
        if (rng() % 3 == 0)
            out += "Texture'DemoTextures.Wall" + std::to_string(rng() % 100) + "' ";
        else
            out += static_cast<char>(rng() & 0xFF);
    }
    out.resize(size);
    return out;
}

void putLe32(std::string& s, size_t at, uint32_t v) {
    for (size_t i = 0; i < 4; ++i)
        s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

} // namespace

TEST(Uz2, ChunksOfAtMost32768BytesRoundTrip) {
    for (size_t size : {size_t{0}, size_t{1}, size_t{32768}, size_t{32769}, size_t{100000}}) {
        const std::string package = packageBytes(size, static_cast<unsigned>(size));
        const std::string packed = packUz2(package);
        std::string error;
        auto back = unpackUz2(packed, &error);
        ASSERT_TRUE(back) << size << ": " << error;
        EXPECT_EQ(*back, package) << size;
    }
    // The layout: sizes, then a zlib stream that inflates to the chunk.
    const std::string packed = packUz2(std::string(40000, 'a'));
    EXPECT_EQ(static_cast<uint8_t>(packed[4]) | static_cast<uint8_t>(packed[5]) << 8, 32768);
    EXPECT_EQ(static_cast<uint8_t>(packed[8]), 0x78); // zlib's first byte
}

TEST(Uz2, DamagedCutAndHugeChunksAreRefused) {
    const std::string packed = packUz2(packageBytes(70000, 7));
    std::string error;
    EXPECT_FALSE(unpackUz2(packed.substr(0, packed.size() - 10), &error));
    EXPECT_NE(error.find("cut short"), std::string::npos);
    EXPECT_FALSE(unpackUz2(packed.substr(0, 5), &error));
    std::string damaged = packed;
    damaged[20] = static_cast<char>(damaged[20] ^ 0x55);
    EXPECT_FALSE(unpackUz2(damaged, &error));
    EXPECT_NE(error.find("damaged"), std::string::npos);
    // A chunk declaring more than a chunk holds is no .uz2: nothing is
    // allocated for it.
    std::string huge = packed;
    putLe32(huge, 4, 0x7FFFFFFF);
    EXPECT_FALSE(unpackUz2(huge, &error));
    EXPECT_NE(error.find("no .uz2 chunk holds"), std::string::npos);
    std::string wrongSize = packed;
    putLe32(wrongSize, 4, 1000); // inflates to more than it says
    EXPECT_FALSE(unpackUz2(wrongSize, &error));
    EXPECT_FALSE(unpackUz2(packed, &error, 50000)); // over the caller's limit
}

TEST(Uz2, TheCommandPacksAndUnpacksFilesWithoutReplacingAny) {
    GameFixture fx;
    const std::string package = packageBytes(20 << 20, 20); // 20 MB
    tvtest::writeFile(fx.dir / "DM-Big.ut2", package);
    std::filesystem::create_directories(fx.dir / "redirect");
    auto r = tvtest::runCli(fx, "uz2 pack " + (fx.dir / "DM-Big.ut2") + " --to " +
                                    (fx.dir / "redirect"));
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    ASSERT_TRUE(tvtest::exists(fx.dir / "redirect/DM-Big.ut2.uz2"));
    r = tvtest::runCli(fx, "uz2 unpack " + (fx.dir / "redirect/DM-Big.ut2.uz2"));
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(tvtest::readFile(fx.dir / "redirect/DM-Big.ut2") == package);
    // Again: the package is there already and stays as it is.
    tvtest::writeFile(fx.dir / "redirect/DM-Big.ut2", "mine");
    r = tvtest::runCli(fx, "uz2 unpack " + (fx.dir / "redirect/DM-Big.ut2.uz2"));
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.out.find("exists already"), std::string::npos);
    EXPECT_EQ(tvtest::readFile(fx.dir / "redirect/DM-Big.ut2"), "mine");
    // A damaged file leaves nothing behind, not even a temporary file.
    std::string cut = tvtest::readFile(fx.dir / "redirect/DM-Big.ut2.uz2");
    tvtest::writeFile(fx.dir / "Cut.utx.uz2", cut.substr(0, cut.size() / 2));
    r = tvtest::runCli(fx, "uz2 unpack " + (fx.dir / "Cut.utx.uz2"));
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.out.find("cut short"), std::string::npos);
    EXPECT_FALSE(tvtest::exists(fx.dir / "Cut.utx"));
    EXPECT_EQ(tvtest::leftoverFiles(fx.dir.path()), std::vector<std::string>{});
    // Usage.
    EXPECT_EQ(tvtest::runCli(fx, "uz2 pack " + (fx.dir / "DM-Big.ut2")).status, 2);
    EXPECT_EQ(tvtest::runCli(fx, "uz2 unpack " + (fx.dir / "DM-Big.ut2")).status, 1);
    EXPECT_EQ(tvtest::runCli(fx, "uz2 shrink x").status, 2);
}

TEST(Uz2, CompressedPackagesInsideZipArchivesAreInstalledAsThePackages) {
    GameFixture fx;
    const std::string map = packageBytes(70000, 1), tex = packageBytes(1000, 2);
    const std::string zip = fx.dir / "DM-Packed.zip";
    tvtest::makeZip(zip,
                    {{"DM-Packed.ut2.uz2", packUz2(map)}, {"PackedTex.utx.uz2", packUz2(tex)}});
    auto r = tvtest::runCli(fx, "zip " + zip);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("Map Name: DM-Packed.ut2\n"), std::string::npos) << r.out;
    EXPECT_TRUE(tvtest::readFile(fx.game + "/Maps/DM-Packed.ut2") == map);
    EXPECT_TRUE(tvtest::readFile(fx.game + "/Textures/PackedTex.utx") == tex);
    EXPECT_FALSE(tvtest::exists(fx.game + "/Maps/DM-Packed.ut2.uz2"));

    // Straight into Maps; a damaged one is said and left out.
    const std::string two = fx.dir / "Two.zip";
    std::string damaged = packUz2(map);
    damaged.resize(damaged.size() / 2);
    tvtest::makeZip(two, {{"DM-Whole.ut2.uz2", packUz2(map)}, {"DM-Broken.ut2.uz2", damaged}});
    r = tvtest::runCli(fx, "zip --no-preview " + two);
    EXPECT_TRUE(tvtest::readFile(fx.game + "/Maps/DM-Whole.ut2") == map);
    EXPECT_FALSE(tvtest::exists(fx.game + "/Maps/DM-Broken.ut2"));
    EXPECT_FALSE(tvtest::exists(fx.game + "/Maps/DM-Broken.ut2.uz2"));
    EXPECT_NE(r.err.find("DM-Broken.ut2.uz2 could not be unpacked: "), std::string::npos) << r.err;
}
