// The writer's checksums, signatures and layout against the real sample files written by mail
// software, and the structural soundness and determinism of what the writer produces.
#include "pstwriter/PstBuilder.h"
#include "pstwriter/PstChecksums.h"
#include "tests/pstwriter/PstFileInspector.h"
#include "tests/pstwriter/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace tolvane::pstwriter {
namespace {

namespace fs = std::filesystem;
using testing::TempPst;

std::vector<fs::path> UnicodeSamples()
{
    std::vector<fs::path> out;
    if (!fs::is_directory(TOLVANE_SAMPLES_DIR))
        return out;
    for (const auto& entry : fs::directory_iterator(TOLVANE_SAMPLES_DIR)) {
        if (entry.path().extension() != ".pst")
            continue;
        std::ifstream in(entry.path(), std::ios::binary);
        uint8_t header[12] = {};
        in.read(reinterpret_cast<char*>(header), sizeof header);
        if (GetU16(header + 10) >= 23)
            out.push_back(entry.path());
    }
    std::sort(out.begin(), out.end());
    return out;
}

TEST(Checksums, CrcMatchesTheHeadersOfRealFiles)
{
    if (!fs::is_directory(TOLVANE_SAMPLES_DIR))
        GTEST_SKIP() << "sample folder " << TOLVANE_SAMPLES_DIR << " not present";
    int checked = 0;
    for (const auto& entry : fs::directory_iterator(TOLVANE_SAMPLES_DIR)) {
        if (entry.path().extension() != ".pst")
            continue;
        std::ifstream in(entry.path(), std::ios::binary);
        Bytes header(564);
        in.read(reinterpret_cast<char*>(header.data()), long(header.size()));
        // The partial checksum sits at the same place in both file formats.
        EXPECT_EQ(ComputeCrc(header.data() + 8, 471), GetU32(header.data() + 4)) << entry.path();
        if (GetU16(header.data() + 10) >= 23) {
            EXPECT_EQ(ComputeCrc(header.data() + 8, 516), GetU32(header.data() + 524)) << entry.path();
        }
        ++checked;
    }
    EXPECT_GT(checked, 0);
}

TEST(Checksums, EveryPageAndBlockOfRealFilesChecksOut)
{
    // The same inspector that checks the writer's files finds no fault in files written by mail
    // software: CRCs, trailer signatures and allocation-map bits are computed the same way.
    const auto samples = UnicodeSamples();
    if (samples.empty())
        GTEST_SKIP() << "no Unicode samples in " << TOLVANE_SAMPLES_DIR;
    for (const auto& path : samples) {
        const auto layout = testing::InspectPst(path.string());
        EXPECT_TRUE(layout.problems.empty()) << path << ": " << (layout.problems.empty() ? "" : layout.problems[0]);
        EXPECT_GT(layout.blocks.size(), 10u) << path;
        EXPECT_TRUE(layout.nodes.count(0x21) && layout.nodes.count(0x61) && layout.nodes.count(0x122)) << path;
    }
}

TEST(Checksums, CompressibleEncodingMatchesRealFiles)
{
    // Real files store a heap block's signature byte 0xEC encoded; decoding their first node data
    // block must give the heap-on-node signature.
    const auto samples = UnicodeSamples();
    if (samples.empty())
        GTEST_SKIP() << "no Unicode samples in " << TOLVANE_SAMPLES_DIR;
    const auto layout = testing::InspectPst(samples.front().string());
    ASSERT_EQ(layout.file[513], 1) << "sample is expected to use the compressible encoding";
    Bytes block = testing::StoredBlock(layout, layout.nodes.at(0x21).dataBid);
    ASSERT_GE(block.size(), 4u);
    DecodeCompressible(block.data(), block.size());
    EXPECT_EQ(block[2], 0xEC);
    EXPECT_EQ(block[3], 0xBC);
    Bytes roundTrip = block;
    EncodeCompressible(roundTrip.data(), roundTrip.size());
    EXPECT_EQ(roundTrip, testing::StoredBlock(layout, layout.nodes.at(0x21).dataBid));
}

TEST(Checksums, KnownValues)
{
    EXPECT_EQ(ComputeCrc("", 0), 0u);
    // Without pre- and post-inversion, CRC-32 of "123456789" differs from the familiar 0xCBF43926.
    EXPECT_EQ(ComputeCrc("123456789", 9), 0x2DFD2D88u);
    EXPECT_EQ(ComputeBlockSignature(0x4400, 0x4400), 0u);
    EXPECT_EQ(ComputeBlockSignature(0x12345678, 0), uint16_t(0x1234 ^ 0x5678));
}

struct ShapeCase {
    const char* name;
    BlockEncoding encoding;
    int folders;
    int messagesPerFolder;
    size_t attachmentSize;
    int deletedPerFolder = 0;  // their blocks are free space: the allocation checks must skip them
};

void PrintTo(const ShapeCase& c, std::ostream* os) { *os << c.name; }

class WrittenFileTest : public ::testing::TestWithParam<ShapeCase> {};

PstBuilder Build(const ShapeCase& c)
{
    PstBuilder pst(PstBuilderOptions{c.encoding, true, "Personal Folders"});
    for (int f = 0; f < c.folders; ++f) {
        auto& folder = pst.topOfPersonalFolders().addFolder("Folder " + std::to_string(f));
        for (int m = 0; m < c.messagesPerFolder; ++m) {
            auto& message = folder.addMessage().subject("m" + std::to_string(m)).to("A", "a@example.com");
            if (c.attachmentSize)
                message.attach("x.bin", Bytes(c.attachmentSize, uint8_t(m)));
        }
        for (int d = 0; d < c.deletedPerFolder; ++d)
            folder.addDeletedMessage().subject("d" + std::to_string(d)).attach("d.bin", Bytes(c.attachmentSize + 1, 1));
    }
    return pst;
}

TEST_P(WrittenFileTest, EveryChecksumSignatureAndAllocationIsRight)
{
    TempPst file(std::string("shape-") + GetParam().name);
    Build(GetParam()).Write(file.path());
    const auto layout = testing::InspectPst(file.path());
    EXPECT_TRUE(layout.problems.empty()) << layout.problems.size() << " problems, first: "
                                         << (layout.problems.empty() ? "" : layout.problems[0]);
    EXPECT_EQ(layout.file[513], uint8_t(GetParam().encoding));
    EXPECT_EQ(layout.file.size() % 253952, 0x4400u % 253952) << "file must end at an allocation region's end";
    for (uint32_t nid : {0x21u, 0x61u, 0x122u, 0x12Du, 0x12Eu, 0x12Fu, 0x60Du, 0x60Eu, 0x692u, 0x671u, 0x8022u, 0x8042u})
        EXPECT_TRUE(layout.nodes.count(nid)) << std::hex << nid;
}

TEST_P(WrittenFileTest, SameInputGivesIdenticalBytes)
{
    TempPst first(std::string("det1-") + GetParam().name), second(std::string("det2-") + GetParam().name);
    Build(GetParam()).Write(first.path());
    Build(GetParam()).Write(second.path());
    EXPECT_EQ(testing::InspectPst(first.path()).file, testing::InspectPst(second.path()).file);
}

// From one page per B-tree to several levels and many allocation regions.
INSTANTIATE_TEST_SUITE_P(Shapes, WrittenFileTest,
                         ::testing::Values(ShapeCase{"empty", BlockEncoding::None, 0, 0, 0},
                                           ShapeCase{"small", BlockEncoding::Compressible, 2, 3, 100},
                                           ShapeCase{"deepTrees", BlockEncoding::Compressible, 20, 150, 0},
                                           ShapeCase{"manyRegions", BlockEncoding::None, 3, 40, 300000},
                                           ShapeCase{"withDeleted", BlockEncoding::Compressible, 3, 30, 50000, 30}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(WrittenFile, CompressibleEncodingHidesTextThatTheUnencodedFileShows)
{
    const std::string subject = "Unmistakable subject text";
    const Bytes needle = Utf8ToUtf16Le(subject);
    auto contains = [&](BlockEncoding encoding) {
        PstBuilder pst(PstBuilderOptions{encoding, true, "Personal Folders"});
        pst.topOfPersonalFolders().addFolder("Inbox").addMessage().subject(subject);
        TempPst file(encoding == BlockEncoding::None ? "enc-none" : "enc-comp");
        pst.Write(file.path());
        const Bytes bytes = testing::InspectPst(file.path()).file;
        return std::search(bytes.begin(), bytes.end(), needle.begin(), needle.end()) != bytes.end();
    };
    EXPECT_TRUE(contains(BlockEncoding::None));
    EXPECT_FALSE(contains(BlockEncoding::Compressible));
}

} // namespace
} // namespace tolvane::pstwriter
