// The shipped examples: each source assembles to exactly the bytes of the
// image shipped beside it.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "core/ImageFile.h"
#include "tools/Assembler.h"

namespace {

struct SExample {
    const char* source;
    const char* image;
};

std::map<uint32_t, uint8_t> ReadImage(const std::string& path) {
    std::map<uint32_t, uint8_t> bytes;
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in) << path;
    const auto sink = [&bytes](uint32_t address, uint8_t value) { bytes[address] = value; };
    if (path.ends_with(".hex")) {
        CHexDumpFile file;
        file.AttachRead(in, sink);
        EXPECT_TRUE(file.Read(0)) << path;
    } else {
        CSRecordFile file;
        file.AttachRead(in, sink);
        EXPECT_TRUE(file.Read()) << path;
    }
    return bytes;
}

TEST(AssemblerExamplesTest, SourcesAssembleToTheShippedImages) {
    for (const SExample& example : {SExample{"6502/sieve.s", "6502/sieve.hex"},
                                    SExample{"vo16/checkerboard.s", "vo16/checkerboard.s19"},
                                    SExample{"corvane/picture.s", "corvane/picture.s19"}}) {
        const std::string root = std::string(SIMQ_SOURCE_DIR) + "/examples/";
        const SAssembly assembly = CAssembler::AssembleFile(root + example.source, {});
        ASSERT_TRUE(assembly.Ok()) << example.source << ": " << assembly.errors.front().Text();
        std::map<uint32_t, uint8_t> assembled;
        for (const SSegment& segment : assembly.segments) {
            for (size_t i = 0; i < segment.bytes.size(); ++i)
                assembled[segment.address + static_cast<uint32_t>(i)] = segment.bytes[i];
        }
        EXPECT_EQ(assembled, ReadImage(root + example.image)) << example.source;
    }
}

}  // namespace
