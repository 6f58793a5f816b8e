// Redirect-server packages (.uz2): the chunk format both ways, damaged and
// hostile input, and tessvane-cli uz2 between files.
#include "format_writers.h"
#include "test_support.h"

#include "formats/uz2.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <sys/file.h>

#include <fcntl.h>

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
        // And what another writer of the format makes.
        EXPECT_EQ(unpackUz2(tvtest::makeUz2(package), &error), package) << size;
    }
    // The layout: sizes, then a zlib stream that inflates to the chunk.
    const std::string packed = packUz2(std::string(40000, 'a'));
    EXPECT_EQ(static_cast<uint8_t>(packed[4]) | static_cast<uint8_t>(packed[5]) << 8, 32768);
    EXPECT_EQ(static_cast<uint8_t>(packed[8]), 0x78); // zlib's first byte
}

TEST(Uz2, DamagedCutAndHugeChunksAreRefusedAtTheirEdges) {
    // Made by the test's own writer, not by the packer under test.
    const std::string packed = tvtest::makeUz2(packageBytes(70000, 7));
    std::string error;
    auto refused = [&](const std::string& bytes, const char* says, uint64_t max = 1ull << 32) {
        error.clear();
        const bool no = !unpackUz2(bytes, &error, max);
        return no && error.find(says) != std::string::npos;
    };
    EXPECT_TRUE(unpackUz2(packed, &error));
    // Cut anywhere in the last stream, or inside the next chunk's header.
    for (size_t cut : {size_t{1}, size_t{8}, size_t{10}})
        EXPECT_TRUE(refused(packed.substr(0, packed.size() - cut), "cut short")) << cut;
    const std::string oneChunk = tvtest::uz2Chunk(packageBytes(1000, 3));
    for (size_t extra = 1; extra < 8; ++extra)
        EXPECT_TRUE(refused(oneChunk + tvtest::uz2Chunk("x").substr(0, extra), "cut short"))
            << extra;
    std::string damaged = packed;
    damaged[20] = static_cast<char>(damaged[20] ^ 0x55);
    EXPECT_TRUE(refused(damaged, "damaged"));
    // A chunk holds 32,768 bytes at most: one more is no .uz2.
    EXPECT_TRUE(unpackUz2(tvtest::uz2Chunk(std::string(32768, 'a')), &error));
    EXPECT_TRUE(refused(tvtest::uz2Chunk(std::string(32769, 'a')), "no .uz2 chunk holds"));
    std::string huge = packed;
    putLe32(huge, 4, 0x7FFFFFFF); // nothing is allocated for it
    EXPECT_TRUE(refused(huge, "no .uz2 chunk holds"));
    // A chunk declaring more or fewer bytes than its stream holds.
    std::string more = oneChunk, fewer = oneChunk;
    putLe32(more, 4, 1001);
    putLe32(fewer, 4, 999);
    EXPECT_TRUE(refused(more, "damaged"));
    EXPECT_TRUE(refused(fewer, "damaged"));
    // The caller's limit, to the byte.
    const std::string fifty = tvtest::makeUz2(packageBytes(50000, 5));
    EXPECT_TRUE(unpackUz2(fifty, &error, 50000));
    EXPECT_TRUE(refused(fifty, "would pass 49999 bytes", 49999));
}

TEST(Uz2, AFileCutInsideAChunkHeaderIsNotUnpacked) {
    tvtest::TempDir dir;
    const std::string whole = tvtest::makeUz2(packageBytes(40000, 9));
    for (size_t extra = 0; extra < 8; ++extra) {
        const std::string from = dir / "In.utx.uz2", to = dir / "In.utx";
        tvtest::writeFile(from, whole + tvtest::uz2Chunk("more").substr(0, extra));
        std::string error;
        EXPECT_EQ(unpackUz2File(from, to, &error), extra == 0) << extra;
        EXPECT_EQ(tvtest::exists(to), extra == 0) << extra;
        if (extra) {
            EXPECT_NE(error.find("cut short"), std::string::npos) << error;
        }
        std::filesystem::remove(to);
    }
    EXPECT_EQ(tvtest::leftoverFiles(dir.path()), std::vector<std::string>{});
}

TEST(Uz2, TheCommandPacksAndUnpacksFilesWithoutReplacingAny) {
    GameFixture fx;
    const std::string package = packageBytes(20 << 20, 20); // 20 MB
    tvtest::writeFile(fx.dir / "DM-Big.ut2", package);
    // The folder named with --to is made when it is missing.
    auto r = tvtest::runCli(fx, "uz2 pack " + (fx.dir / "DM-Big.ut2") + " --to " +
                                    (fx.dir / "redirect"));
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    ASSERT_TRUE(tvtest::exists(fx.dir / "redirect/DM-Big.ut2.uz2"));
    EXPECT_NE(r.out.find("Created folder " + (fx.dir / "redirect")), std::string::npos);
    tvtest::writeFile(fx.dir / "afile", "x");
    EXPECT_EQ(tvtest::runCli(fx, "uz2 pack " + (fx.dir / "DM-Big.ut2") + " --to " +
                                     (fx.dir / "afile/sub"))
                  .status,
              3);
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

// Only regular files are packed (a FIFO gives nothing, /dev/zero never
// ends); what a killed conversion left is cleared by the next one into that
// folder, unless a live one still writes it.
TEST(Uz2, OnlyFilesArePackedAndAKilledConversionLeavesNothingForGood) {
    GameFixture fx;
    std::filesystem::create_directories(fx.dir / "redirect");
    ASSERT_EQ(::mkfifo((fx.dir / "Pipe.ut2").c_str(), 0644), 0);
    std::filesystem::create_symlink("/dev/zero", fx.dir / "Zero.ut2");
    for (const char* odd : {"Pipe.ut2", "Zero.ut2"}) {
        const auto r =
            tvtest::runCli(fx, "uz2 pack " + (fx.dir / odd) + " --to " + (fx.dir / "redirect"));
        EXPECT_EQ(r.status, 3) << odd;
        EXPECT_NE(r.out.find(fx.dir / odd + " is not a regular file"), std::string::npos) << r.out;
    }
    EXPECT_TRUE(std::filesystem::is_empty(fx.dir / "redirect"));

    const std::string left = fx.dir / "redirect/.DM-Kill.ut2.tvtmp-a1B2c3";
    const std::string held = fx.dir / "redirect/.DM-Live.ut2.tvtmp-d4E5f6";
    tvtest::writeFile(left, std::string(1000, 'x'));
    tvtest::writeFile(held, "being written");
    const int fd = ::open(held.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    tvtest::writeFile(fx.dir / "DM-A.ut2", packageBytes(1000, 1));
    ASSERT_EQ(
        tvtest::runCli(fx, "uz2 pack " + (fx.dir / "DM-A.ut2") + " --to " + (fx.dir / "redirect"))
            .status,
        0);
    EXPECT_FALSE(tvtest::exists(left));
    EXPECT_TRUE(tvtest::exists(held));
    ::close(fd);
}

TEST(Uz2, CompressedPackagesInsideZipArchivesAreInstalledAsThePackages) {
    GameFixture fx;
    const std::string map = packageBytes(70000, 1), tex = packageBytes(1000, 2);
    const std::string zip = fx.dir / "DM-Packed.zip";
    tvtest::makeZip(zip, {{"DM-Packed.ut2.uz2", tvtest::makeUz2(map)},
                          {"PackedTex.utx.uz2", tvtest::makeUz2(tex)}});
    auto r = tvtest::runCli(fx, "zip " + zip);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("Map Name: DM-Packed.ut2\n"), std::string::npos) << r.out;
    EXPECT_TRUE(tvtest::readFile(fx.game + "/Maps/DM-Packed.ut2") == map);
    EXPECT_TRUE(tvtest::readFile(fx.game + "/Textures/PackedTex.utx") == tex);
    EXPECT_FALSE(tvtest::exists(fx.game + "/Maps/DM-Packed.ut2.uz2"));

    // Straight into Maps; a damaged one is said and left out.
    const std::string two = fx.dir / "Two.zip";
    std::string damaged = tvtest::makeUz2(map);
    damaged.resize(damaged.size() / 2);
    tvtest::makeZip(two,
                    {{"DM-Whole.ut2.uz2", tvtest::makeUz2(map)}, {"DM-Broken.ut2.uz2", damaged}});
    r = tvtest::runCli(fx, "zip --no-preview " + two);
    EXPECT_TRUE(tvtest::readFile(fx.game + "/Maps/DM-Whole.ut2") == map);
    EXPECT_FALSE(tvtest::exists(fx.game + "/Maps/DM-Broken.ut2"));
    EXPECT_FALSE(tvtest::exists(fx.game + "/Maps/DM-Broken.ut2.uz2"));
    EXPECT_NE(r.err.find("DM-Broken.ut2.uz2 could not be unpacked: "), std::string::npos) << r.err;
    // Left out is a failure, on the Status list and in the exit status, with
    // the preview too (and in the log).
    EXPECT_EQ(r.status, 3) << r.out;
    EXPECT_NE(r.out.find("**ERROR** DM-Broken.ut2.uz2 could not be installed: it could not be "
                         "unpacked"),
              std::string::npos)
        << r.out;
    const std::string one = fx.dir / "One.zip";
    tvtest::makeZip(one, {{"DM-Broken.ut2.uz2", damaged}, {"Tex.utx", tex}});
    r = tvtest::runCli(fx, "zip " + one);
    EXPECT_EQ(r.status, 3) << r.out;
    EXPECT_EQ(r.out.find("Done processing ZIP files\n"), std::string::npos) << r.out;
    EXPECT_NE(tvtest::readFile(fx.program + "/Tessvane.log")
                  .find("**ERROR** DM-Broken.ut2.uz2 could not be installed"),
              std::string::npos);
}
