// The fast reading of a catalogue (structure found in the bytes, names
// decoded on demand) against the reference that decodes the whole text
// first: on any bytes, in any supported code page, they hold the same
// sections, the same lines and give the same lookups.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "catalogue/Kinds.h"
#include "catalogue/TemplateCatalogue.h"

namespace {

using namespace quillmark;

void Check(bool condition) {
    if (!condition) std::abort();
}

std::vector<WString> Lookup(TTemplateCatalogue& catalogue, WStringView section) {
    StringListTarget target;
    catalogue.ReadSection(section, target);
    return target.Items();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const unsigned codePages[] = {0, 1251, 1252, 866, 65001};
    const unsigned codePage = codePages[data[0] % 5];
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);

    auto fast = TTemplateCatalogue::FromBytes(bytes, codePage, TTemplateCatalogue::Reading::Fast);
    auto reference = TTemplateCatalogue::FromBytes(bytes, codePage, TTemplateCatalogue::Reading::DecodeAll);
    Check(fast.SectionCount() == reference.SectionCount());
    for (size_t s = 0; s < fast.SectionCount(); ++s) {
        Check(fast.SectionName(s) == reference.SectionName(s));
        Check(fast.KeyLineCount(s) == reference.KeyLineCount(s));
        for (size_t k = 0; k < fast.KeyLineCount(s); ++k) {
            Check(fast.KeyName(s, k) == reference.KeyName(s, k));
            Check(fast.KeyLineText(s, k) == reference.KeyLineText(s, k));
        }
        Check(Lookup(fast, reference.SectionName(s)) == Lookup(reference, reference.SectionName(s)));
    }
    for (const WStringView kind : kCalculationKinds) Check(Lookup(fast, kind) == Lookup(reference, kind));
    return 0;
}
