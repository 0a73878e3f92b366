// The assemblers on arbitrary source text. The first byte picks the processor
// (the source may still name its own); includes are refused, so one input is
// one file. Checks beyond "no fault": an assembly either reports errors and
// holds nothing else, or holds ascending segments inside the processor's
// memory; the same text assembles to the same result; the monitor's one-line
// form takes the first line.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "tools/Assembler.h"

namespace {

constexpr size_t kMaxInput = 1 << 16;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > kMaxInput) return 0;
    const EProcessor processor = static_cast<EProcessor>(data[0] % 3);
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

    SAssemblyOptions options;
    options.processor = processor;
    options.reader = [](const std::string&, std::string&, std::string& error) {
        error = "no files here";
        return false;
    };
    const SAssembly first = CAssembler::AssembleText(text, "fuzz.s", options);
    if (!first.Ok()) {
        FuzzCheck(first.segments.empty() && first.listing.empty(),
                  "first.segments.empty() && first.listing.empty()");
    } else {
        const uint64_t highest = first.processor == EProcessor::kCorvane ? 0xFFFFFF : 0xFFFF;
        uint64_t end = 0;
        for (const SSegment& segment : first.segments) {
            FuzzCheck(!segment.bytes.empty(), "!segment.bytes.empty()");
            FuzzCheck(segment.address >= end, "segment.address >= end");
            end = uint64_t{segment.address} + segment.bytes.size();
            FuzzCheck(end - 1 <= highest, "end - 1 <= highest");
        }
    }
    const SAssembly second = CAssembler::AssembleText(text, "fuzz.s", options);
    FuzzCheck(second.errors.size() == first.errors.size(),
              "second.errors.size() == first.errors.size()");
    FuzzCheck(second.ByteCount() == first.ByteCount(), "second.ByteCount() == first.ByteCount()");
    FuzzCheck(second.listing == first.listing, "second.listing == first.listing");

    std::vector<uint8_t> bytes;
    std::string error;
    if (!CAssembler::AssembleLine(processor, text, 0x1000, nullptr, bytes, error))
        FuzzCheck(!error.empty(), "!error.empty()");
    return 0;
}
