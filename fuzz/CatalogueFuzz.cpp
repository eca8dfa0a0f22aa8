// Any bytes are either decoded or rejected, and every lookup agrees with the
// sections the catalogue holds.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "catalogue/CodePages.h"
#include "catalogue/Decoding.h"
#include "catalogue/Kinds.h"
#include "catalogue/Platform.h"
#include "catalogue/TemplateCatalogue.h"

namespace {

using namespace quillmark;

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    Check(DecodeUtf8Strict(bytes).has_value() != FindMalformedUtf8(bytes).has_value());
    if (const auto text = DecodeUtf8Strict(bytes)) Check(FromUtf8(ToUtf8(text->View())) == text->View());

    const unsigned codePage = size > 0 && data[0] % 2 ? kUtf8CodePage : 0;
    auto catalogue = TTemplateCatalogue::FromBytes(bytes, codePage);
    StringListTarget target;
    for (const WStringView kind : kCalculationKinds) catalogue.ReadSection(kind, target);
    Check(target.PendingUpdates() == 0);

    for (size_t i = 0; i < catalogue.SectionCount(); ++i) {
        // The last section of the same name, without regard to case, answers.
        size_t last = i;
        for (size_t j = i + 1; j < catalogue.SectionCount(); ++j) {
            if (platform::UpperCase(catalogue.SectionName(j)) == platform::UpperCase(catalogue.SectionName(i)))
                last = j;
        }
        catalogue.ReadSection(catalogue.SectionName(i), target);
        Check(target.Items().size() == catalogue.KeyLineCount(last));
        for (size_t k = 0; k < catalogue.KeyLineCount(last); ++k) {
            Check(target.Items()[k] == catalogue.KeyName(last, k));
            Check(catalogue.KeyLineText(last, k).starts_with(catalogue.KeyName(last, k)));
        }
    }
    return 0;
}
