// Any bytes as a template: a package, or one part of a Word or OpenDocument
// package. They are read or refused with a reason, and never crash or hang;
// every code found stands in its paragraph, and a package written with codes
// changed reads back as planned.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "support/WriteBack.h"
#include "support/ZipWriter.h"
#include "tools/check/templates/CodeScan.h"
#include "tools/check/templates/TemplateError.h"
#include "tools/check/templates/TemplateText.h"

namespace {

using namespace quillmark;

void Check(bool condition) {
    if (!condition) std::abort();
}

// Bytes that are not a zip become a part of a package made around them, so
// that the XML readers see them whole rather than as a failed checksum.
std::string Package(std::string_view bytes) {
    if (bytes.starts_with("PK")) return std::string(bytes);
    if (bytes.find("opendocument") != std::string_view::npos) {
        return test::MakeZip({{"mimetype", "application/vnd.oasis.opendocument.text"},
                              {"content.xml", std::string(bytes)},
                              {"styles.xml", std::string(bytes)}});
    }
    return test::MakeZip(test::WordPackage(std::string(bytes)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const CodeIndex index({{QM_W("Простой расчет"), {QM_W("#Истец#"), QM_W("#СуммаДолга#"), QM_W("#Дата#")}},
                                  {QM_W("Раздел имущества"), {QM_W("#Доля#"), QM_W("#Истец#")}}});
    const std::string package = Package(std::string_view(reinterpret_cast<const char*>(data), size));
    try {
        const TemplateText text = ReadTemplateText(package);
        for (const Paragraph& paragraph : text.paragraphs) {
            for (const Found& found : index.Scan(paragraph.text)) {
                Check(paragraph.text.find(found.text) != WString::npos);
                if (!found.known) index.Nearest(found.text);
            }
        }
        Check(test::WritesBackAsPlanned(package, text, index));
    } catch (const TemplateError&) {
    }
    return 0;
}
