// Reading a large template against a floor measured in the same run: its
// parts inflated with zlib and parsed by expat with empty handlers, which is
// the least any reader of the package must do.
#include <benchmark/benchmark.h>
#include <expat.h>
#include <zlib.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "support/ZipWriter.h"
#include "tools/check/templates/TemplateText.h"

namespace {

using namespace quillmark;

// Paragraphs as a template's author writes them: Cyrillic text in formatted
// runs, codes among it, some split over runs by a proofing mark.
std::string LargeDocument(size_t size) {
    std::string body;
    const std::string run = "<w:r><w:rPr><w:rFonts w:ascii=\"Times New Roman\"/><w:sz w:val=\"24\"/></w:rPr><w:t>";
    for (size_t n = 0; body.size() < size; ++n) {
        body += "<w:p><w:pPr><w:jc w:val=\"both\"/></w:pPr>" + run + "Истец обратился в суд с иском о взыскании " +
                "</w:t></w:r>" + run + "#СуммаДолга#</w:t></w:r><w:proofErr w:type=\"spellStart\"/>" + run +
                "#Ист</w:t></w:r>" + run + "ец# от &lt;" + std::to_string(n) + "&gt; года</w:t></w:r><w:tab/></w:p>\n";
    }
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<w:document "
           "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"><w:body>" +
           body + "</w:body></w:document>";
}

struct Template {
    std::vector<test::ZipEntry> entries;
    std::vector<std::string> deflated;
    std::string package;
};

const Template& TheTemplate() {
    static const Template made = [] {
        Template t;
        t.entries = test::WordPackage(LargeDocument(12 << 20));
        for (test::ZipEntry& e : t.entries) e.deflate = true;
        for (const test::ZipEntry& e : t.entries) t.deflated.push_back(test::Deflate(e.data));
        t.package = test::MakeZip(t.entries);
        return t;
    }();
    return made;
}

void XMLCALL NoStart(void*, const XML_Char*, const XML_Char**) {}
void XMLCALL NoEnd(void*, const XML_Char*) {}
void XMLCALL NoText(void*, const XML_Char*, int) {}

void Floor(benchmark::State& state) {
    const Template& t = TheTemplate();
    for (auto _ : state) {
        for (size_t i = 0; i < t.entries.size(); ++i) {
            std::string part(t.entries[i].data.size(), '\0');
            z_stream stream{};
            inflateInit2(&stream, -MAX_WBITS);
            stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(t.deflated[i].data()));
            stream.avail_in = static_cast<uInt>(t.deflated[i].size());
            stream.next_out = reinterpret_cast<Bytef*>(part.data());
            stream.avail_out = static_cast<uInt>(part.size());
            inflate(&stream, Z_FINISH);
            inflateEnd(&stream);
            const XML_Parser parser = XML_ParserCreateNS(nullptr, ' ');
            XML_SetElementHandler(parser, NoStart, NoEnd);
            XML_SetCharacterDataHandler(parser, NoText);
            benchmark::DoNotOptimize(XML_Parse(parser, part.data(), static_cast<int>(part.size()), XML_TRUE));
            XML_ParserFree(parser);
        }
    }
}

void Quillmark(benchmark::State& state) {
    for (auto _ : state) {
        const TemplateText text = ReadTemplateText(TheTemplate().package);
        benchmark::DoNotOptimize(text.paragraphs.size());
    }
}

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        // CPU time: the machines this runs on are shared, and both sides are one thread.
        for (const Run& run : runs) milliseconds_[run.benchmark_name()] = run.GetAdjustedCPUTime();
        ConsoleReporter::ReportRuns(runs);
    }
    void PrintRatio() const {
        if (milliseconds_.size() < 2) return;
        const double ours = milliseconds_.at("Quillmark/LargeTemplate");
        const double floor = milliseconds_.at("Floor/LargeTemplate");
        const double megabytes = static_cast<double>(TheTemplate().entries.back().data.size()) / 1e6;
        std::printf("\nlarge template (%.1f MB word/document.xml): %.0f MB/s, %.2fx the zlib + expat floor\n",
                    megabytes, megabytes / (ours / 1e3), ours / floor);
    }

private:
    std::map<std::string, double> milliseconds_;
};

}  // namespace

int main(int argc, char** argv) {
    TheTemplate();
    benchmark::RegisterBenchmark("Floor/LargeTemplate", Floor)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Quillmark/LargeTemplate", Quillmark)->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatio();
    return 0;
}
