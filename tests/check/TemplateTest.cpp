// quillmark-check over templates: documents written by LibreOffice, and
// broken or hostile packages, natively and under Wine.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "catalogue/Platform.h"
#include "check/CheckerRun.h"
#include "support/TestFiles.h"
#include "support/WriteBack.h"
#include "support/ZipWriter.h"
#include "tools/check/Checker.h"
#include "tools/check/Json.h"
#include "tools/check/templates/CodeScan.h"
#include "tools/check/templates/TemplateError.h"
#include "tools/check/templates/TemplateText.h"
#include "tools/check/templates/XmlPrecheck.h"
#include "tools/check/templates/Zip.h"

namespace quillmark {
namespace {

using test::MakeZip;
using test::WordPackage;
using test::ZipEntry;

WString Data(const char* name) { return FromUtf8(std::string(QM_TEMPLATE_DATA "/") + name); }

using Result = test::CheckResult;
using test::Check;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

void ExpectLines(const std::string& out, const std::vector<std::string>& expected) {
    const std::vector<std::string> lines = Lines(out);
    for (const std::string& line : expected) {
        EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << "missing: " << line << "\nin:\n" << out;
    }
}

// Zip64, a byte after the end record, and targets such as "./header%201.xml" change nothing.
const char* const kTemplates[] = {"templates.odt",        "templates.docx",         "templates-zip64.odt",
                                  "templates-zip64.docx", "templates-newline.docx", "templates-uri.docx"};

TEST(Templates, WordAndOpenDocumentReadAlike) {
    for (const char* name : kTemplates) {
        SCOPED_TRACE(name);
        const std::string at = ToUtf8(Data(name));
        const Result r = Check({QM_W("--kind"), QM_W("простой РАСЧЕТ"), Data("params.ini"), Data(name)});
        EXPECT_EQ(r.code, kCheckWarnings);
        ExpectLines(
            r.out,
            {
                "Paragraphs: 10",
                "Codes used: 6",
                "  \"#Дата#\": 2 (paragraph 8; footnote 1, paragraph 1)",  // a text box's fallback copy is not counted
                "  \"#Доля#\": 1 (paragraph 6)",                           // a table's second cell
                "  \"#Истец#\": 2 (paragraph 1; paragraph 5)",
                "  \"#НомерДела#\": 1 (header of section 1, paragraph 1)",
                "  \"#Ответчик#\": 1 (paragraph 2)",  // split by a bold letter
                "  \"#Пени#\": 1 (paragraph 4)",      // between escaped < and >
                at + ":3: warning: unknown code \"#СуммаДолг#\"; did you mean \"#СуммаДолга#\"?",
                at + ":4: warning: unknown code \"#истец#\"; did you mean \"#Истец#\"?",
                at + ":4: warning: unknown code \"#Неведомый#\"",
                at + ":6: warning: code \"#Доля#\" is not a code of \"Простой расчет\": it is listed for \"Раздел "
                     "имущества\"",
                "Codes that no template uses:",
                "  Простой расчет: \"#СуммаДолга#\"",
                "4 warning(s).",
            });

        const Result ru = Check({Data("params.ini"), Data(name)}, Language::Russian);
        EXPECT_EQ(ru.code, kCheckWarnings);
        ExpectLines(
            ru.out,
            {
                "  \"#НомерДела#\": 1 (верхний колонтитул раздела 1, абзац 1)",
                at + ":3: предупреждение: неизвестный код \"#СуммаДолг#\"; возможно, имелся в виду \"#СуммаДолга#\"?",
                "Предупреждений: 3.",
            });
        EXPECT_EQ(ru.out.find("\"#Доля#\" не из"), std::string::npos);

        // Each warning's number is the body paragraph that holds the token.
        const TemplateText text = ReadTemplateText(platform::ReadWholeFile(Data(name)).View());
        for (const std::string& line : Lines(r.out)) {
            const size_t quote = line.find(": warning: unknown code \"");
            if (quote == std::string::npos) continue;
            const size_t number = std::stoul(line.substr(at.size() + 1));
            const std::string token = line.substr(quote + 25, line.find('"', quote + 25) - quote - 25);
            const auto paragraph =
                std::find_if(text.paragraphs.begin(), text.paragraphs.end(), [&](const Paragraph& p) {
                    return p.place == Place{Part::Body, 0, Pages::Other, number};
                });
            ASSERT_NE(paragraph, text.paragraphs.end()) << line;
            EXPECT_NE(ToUtf8(paragraph->text).find(token), std::string::npos) << line;
        }
    }
}

// page.odt and page.docx store alike what the page shows alike: a symbol, soft
// and non-breaking hyphens (elements in .docx, characters in .odt), a note's
// mark in "#Ист¹ец#", alt text, a macro button's text, a quote in a token, and
// the headers of two sections.
// Every test template, through each code-like token changed to a text with
// characters to escape: the bytes the reader handed over are the ones the
// text came from, under expat and XmlLite alike.
TEST(Templates, WrittenBackAsRead) {
    const CodeIndex index({{QM_W("Простой расчет"), {QM_W("#Истец#"), QM_W("#Дата#"), QM_W("#СуммаДолга#")}}});
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::u8path(QM_TEMPLATE_DATA))) {
        SCOPED_TRACE(entry.path().filename().string());
        const FileBytes bytes = platform::ReadWholeFile(test::ToWString(entry.path()));
        TemplateText text;
        try {
            text = ReadTemplateText(bytes.View());
        } catch (const TemplateError&) {
            continue;
        }
        const bool zip64 = entry.path().filename().string().find("zip64") != std::string::npos;
        EXPECT_TRUE(test::WritesBackAsPlanned(bytes.View(), text, index, zip64));
    }
}

TEST(Templates, ReadAsThePageShowsIt) {
    for (const char* name : {"page.odt", "page.docx"}) {
        SCOPED_TRACE(name);
        const std::string at = ToUtf8(Data(name));
        std::vector<std::string> lines = Lines(Check({Data("params.ini"), Data(name)}).out);
        ASSERT_GE(lines.size(), 2u);
        lines.erase(lines.begin(), lines.begin() + 2);  // the catalogue's and the template's paths
        const std::vector<std::string> expected = {
            "Paragraphs: 13",
            "Codes used: 4",
            "  \"#Дата#\": 1 (paragraph 6)",
            "  \"#Истец#\": 2 (header of section 1, paragraph 1; header of section 2, paragraph 1)",
            "  \"#НомерДела#\": 1 (first page header of section 1, paragraph 1)",
            "  \"#Ответчик#\": 1 (even page header of section 1, paragraph 1)",
            at + ":1: warning: unknown code \"#Пени\\uF02D#\"; did you mean \"#Пени#\"?",
            at + ":2: warning: unknown code \"#Сумма\\u00ADДолга#\"; did you mean \"#СуммаДолга#\"?",
            at + ":2: warning: unknown code \"#Номер\\u2011Дела#\"; did you mean \"#НомерДела#\"?",
            at + ":3: warning: unknown code \"#\\\"Истец\\\"#\"",
            "Codes that no template uses:",
            "  Простой расчет: \"#СуммаДолга#\", \"#Пени#\"",
            "  Раздел имущества: \"#Доля#\"",
            "4 warning(s).",
        };
        EXPECT_EQ(lines, expected);

        ExpectLines(Check({Data("params.ini"), Data(name)}, Language::Russian).out,
                    {"  \"#НомерДела#\": 1 (верхний колонтитул первой страницы раздела 1, абзац 1)",
                     "  \"#Ответчик#\": 1 (верхний колонтитул четных страниц раздела 1, абзац 1)"});
        EXPECT_NE(Check({QM_W("--json"), Data("params.ini"), Data(name)})
                      .out.find("{\"part\":\"header\",\"section\":1,\"pages\":\"first\",\"paragraph\":1}"),
                  std::string::npos);
    }
}

// sections.odt is LibreOffice's conversion of sections.docx, whose section 1
// has first-page and even-page headers that no page shows, and whose section
// 2 shows the first-page header it inherits.
TEST(Templates, HeadersAreThoseThatPagesShow) {
    for (const char* name : {"sections.docx", "sections.odt"}) {
        ExpectLines(
            Check({Data("params.ini"), Data(name)}).out,
            {"Codes used: 3", "  \"#Истец#\": 2 (header of section 1, paragraph 1; header of section 2, paragraph 1)",
             "  \"#НомерДела#\": 1 (first page header of section 2, paragraph 1)"});
    }
}

TEST(Templates, JsonGivesOneObjectPerTemplate) {
    const Result r = Check({QM_W("--json"), Data("params.ini"), Data("templates.docx"), Data("renamed.docx")});
    EXPECT_EQ(r.code, kCheckCannotOpen);
    const std::vector<std::string> lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 2u) << r.out;
    std::string name;
    AppendJsonString(name, Data("templates.docx"));
    EXPECT_EQ(
        lines[0].find("{\"template\":" + name +
                      ",\"codes\":[{\"code\":\"#Дата#\",\"count\":2,\"places\":["
                      "{\"part\":\"body\",\"paragraph\":8},{\"part\":\"footnote\",\"number\":1,\"paragraph\":1}]}"),
        0u)
        << lines[0];
    EXPECT_NE(
        lines[0].find("{\"token\":\"#СуммаДолг#\",\"part\":\"body\",\"paragraph\":3,\"suggestion\":\"#СуммаДолга#\"}"),
        std::string::npos);
    EXPECT_NE(lines[0].find("{\"token\":\"#Неведомый#\",\"part\":\"body\",\"paragraph\":4}"), std::string::npos);
    EXPECT_NE(lines[1].find("\"error\":\"not a Word or OpenDocument package"), std::string::npos) << lines[1];
    // One template, told from a section by its extension; a section still lists codes.
    EXPECT_EQ(Check({QM_W("--json"), Data("params.ini"), Data("templates.odt")}).code, kCheckWarnings);
    EXPECT_EQ(Check({QM_W("--json"), Data("params.ini"), QM_W("Раздел имущества")}).out, "[\"#Доля#\",\"#Истец#\"]\n");
    EXPECT_EQ(Check({QM_W("--kind"), QM_W("Нет такого"), Data("params.ini"), Data("templates.odt")}).code, kCheckUsage);
}

TEST(Templates, BrokenFilesAreErrorsAndTheOthersAreStillChecked) {
    const std::pair<const char*, std::string> cases[] = {
        {"templates.doc", "a binary Word document (.doc) or an encrypted document, not a package"},
        {"renamed.docx", "not a Word or OpenDocument package: it has no zip directory"},
        {"truncated.docx", "not a Word or OpenDocument package: it has no zip directory"},
        {"bomb.docx", "the package unpacks to more than 256 MB: refused"},
        {"entities.docx", "the package's part word/document.xml declares a DTD: refused"},
        {"encrypted.odt", "an encrypted document: save it without a password"},
        {"damaged.docx", "the package's part word/document.xml is not well-formed XML (line 2)"},
        {"missing.docx", ""},
    };
    // A sparse file: nothing so big is ever read into memory.
    const test::TempDir dir;
    const auto huge = dir.Write("huge.docx", "PK");
    std::filesystem::resize_file(huge, uintmax_t{1100} << 20);

    std::vector<WString> args = {Data("params.ini")};
    for (const auto& [name, message] : cases) args.push_back(Data(name));
    args.push_back(test::ToWString(huge));
    auto title = WordPackage("");  // a part's name from the file, which sets the terminal's title
    title[1].data.replace(title[1].data.find("word/document.xml"), 17, "%1B]0;x%07");
    args.push_back(test::ToWString(dir.Write("escape.docx", MakeZip(title))));
    args.push_back(Data("templates.odt"));
    const Result r = Check(args);
    EXPECT_EQ(r.code, kCheckCannotOpen);
    for (const auto& [name, message] : cases) {
        EXPECT_NE(r.out.find(ToUtf8(Data(name)) + ": error: " + message), std::string::npos) << name << "\n" << r.out;
    }
    EXPECT_NE(r.out.find("huge.docx: error: the file is larger than 1024 MB: refused\n"), std::string::npos);
    EXPECT_NE(r.out.find("escape.docx: error: the package has no part \\u001B]0;x\\u0007\n"), std::string::npos);
    EXPECT_NE(r.out.find("Template: " + ToUtf8(platform::FullPath(Data("templates.odt")))), std::string::npos);
    EXPECT_NE(r.out.find("3 warning(s). 10 error(s).\n"), std::string::npos) << r.out;
}

const char kWordNs[] = "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"";

std::string Document(const std::string& paragraphs) {
    return std::string("<w:document ") + kWordNs + "><w:body>" + paragraphs + "</w:body></w:document>";
}

std::vector<ZipEntry> With(std::vector<ZipEntry> entries, const std::function<void(ZipEntry&)>& change) {
    change(entries.back());
    return entries;
}

TEST(Templates, HostilePackagesAreRefusedWithTheirReason) {
    const std::string text = Document("<w:p><w:r><w:t>" + std::string(20000, 'x') + "</w:t></w:r></w:p>");
    const std::string spreadsheet = "application/vnd.oasis.opendocument.spreadsheet";
    const std::string laughs = "<!DOCTYPE d [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;\">]>";
    const auto zip64 = [&](const std::function<void(ZipEntry&)>& change, test::ZipOptions options = {}) {
        options.zip64 = true;
        return MakeZip(With(WordPackage(text), change), options);
    };
    const auto honest = [](ZipEntry&) {};  // the rows below are Zip64 too
    // More name and extra than the file holds, and a compressed size that wraps their sum to 1.
    std::string wraps = zip64([](ZipEntry& e) { e.claimedCompressedSize = 0 - uint64_t{30 + 17 + 0xFFFF} + 1; });
    wraps[wraps.rfind("PK\3\4") + 28] = wraps[wraps.rfind("PK\3\4") + 29] = '\xFF';
    const auto nested = [](size_t depth) {
        std::string runs;
        for (size_t i = 3; i < depth; ++i) runs = "<w:r>" + runs + "</w:r>";
        return MakeZip(WordPackage(Document("<w:p>" + runs + "</w:p>")));
    };
    // A header, and notes, whose relationship names the body.
    auto bodyAgain =
        WordPackage(Document("<w:p/><w:sectPr><w:headerReference w:type=\"default\" w:id=\"h\"/></w:sectPr>"));
    bodyAgain.push_back({"word/_rels/document.xml.rels",
                         "<Relationships><Relationship Id=\"h\" Type=\"/header\" Target=\"document.xml\"/>"
                         "<Relationship Id=\"n\" Type=\"/footnotes\" Target=\"/word/document.xml\"/></Relationships>"});
    // 5,000 sections' headers whose records all point at one block of empty deflate blocks.
    const std::string sharedBlock = [] {
        std::string blocks, sections, relationships;
        for (int i = 0; i < 20000; ++i) blocks += std::string("\0\0\0\xFF\xFF", 5);
        const std::string header = "<w:hdr " + std::string(kWordNs) + "/>";
        std::vector<ZipEntry> entries{{"word/h0.xml", header}};
        test::Put(blocks, {{1, 1}, {header.size(), 2}, {0xFFFF ^ header.size(), 2}});  // stored, the last
        entries[0].method = 8, entries[0].claimedCompressedSize = blocks.size() + header.size();
        entries[0].data = blocks + header, entries[0].claimedSize = header.size();
        entries[0].claimedCrc =
            static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(header.data()), header.size()));
        ZipEntry alias = entries[0];  // another name for the same record and data
        alias.claimedOffset = 0, alias.data.clear();
        for (int i = 0; i < 5000; ++i) {
            const std::string id = "h" + std::to_string(i);
            sections += "<w:p><w:pPr><w:sectPr><w:headerReference w:id=\"" + id + "\"/></w:sectPr></w:pPr></w:p>";
            relationships += "<Relationship Id=\"" + id + "\" Target=\"" + id + ".xml\" Type=\"x/header\"/>";
            if (i > 0) entries.push_back(alias), entries.back().name = "word/" + id + ".xml";
        }
        for (ZipEntry& e : WordPackage(Document(sections))) entries.push_back(e);
        entries.push_back({"word/_rels/document.xml.rels", "<Relationships>" + relationships + "</Relationships>"});
        return MakeZip(entries);
    }();
    auto sharedData = WordPackage(text);  // another part's local header hides the document's
    sharedData.insert(sharedData.end() - 1, sharedData.back())->name = "word/other.xml";
    sharedData[2].hidesNext = true;
    std::string localCrc = MakeZip(WordPackage(text));
    localCrc[localCrc.rfind("PK\3\4") + 14] ^= 1;
    // The manifest's DTD, as older writers declare it, fixes its prefix's namespace.
    const auto odt = [](const std::string& entries) {
        const std::string manifest =
            "<!DOCTYPE manifest:manifest PUBLIC \"-//OpenOffice.org//DTD Manifest 1.0//EN\" \"Manifest.dtd\">\n"
            "<manifest:manifest><manifest:file-entry manifest:full-path=\"/\"/>" +
            entries + "</manifest:manifest>";
        return MakeZip({{"mimetype", "application/vnd.oasis.opendocument.text"},
                        {"META-INF/manifest.xml", manifest},
                        {"content.xml",
                         "<office:document-content xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
                         "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\"><office:body><office:text>"
                         "<text:p>x</text:p></office:text></office:body></office:document-content>"}});
    };
    std::string utf16 = "\xFF\xFE";
    for (const char c : laughs + Document("")) utf16 += {c, '\0'};
    const struct {
        const char* what;
        std::string bytes;
        std::optional<Message> error;
    } cases[] = {
        {"Zip64", zip64(honest), std::nullopt},
        {"size 2^32", zip64([](ZipEntry& e) { e.claimedSize = uint64_t{1} << 32; }), Message::UnpacksTooBig},
        {"size 2^64-1", zip64([](ZipEntry& e) { e.claimedSize = UINT64_MAX; }), Message::UnpacksTooBig},
        {"compressed size wraps", wraps, Message::ZipEntryDamaged},
        {"offset 2^32", zip64([](ZipEntry& e) { e.claimedOffset = uint64_t{1} << 32; }), Message::ZipEntryDamaged},
        {"offset 2^64-1", zip64([](ZipEntry& e) { e.claimedOffset = UINT64_MAX; }), Message::ZipEntryDamaged},
        {"dir at 2^64-1", zip64(honest, {.claimedDirectoryOffset = UINT64_MAX}), Message::ZipDirectoryDamaged},
        {"dir size 2^64-1", zip64(honest, {.claimedDirectorySize = UINT64_MAX}), Message::ZipDirectoryDamaged},
        {"2^64-1 entries", zip64(honest, {.extraCount = UINT64_MAX - 3}), Message::ZipDirectoryDamaged},
        {"elements 256 deep", nested(256), std::nullopt},
        {"elements 257 deep", nested(257), Message::XmlTooDeep},
        {"a DTD in UTF-16", MakeZip(WordPackage(utf16)), Message::XmlDoctype},
        {"a part without an element", MakeZip(WordPackage("<!-- -->")), Message::BadXml},
        {"a header that is the body", MakeZip(bodyAgain), std::nullopt},
        {"empty file", "", Message::NotZip},
        {"claims less than it holds", MakeZip(With(WordPackage(text), [](ZipEntry& e) { e.claimedSize = 100; })),
         Message::ZipEntryDamaged},
        {"claims more than it holds", MakeZip(With(WordPackage(text), [](ZipEntry& e) { e.claimedSize = 30000; })),
         Message::ZipEntryDamaged},
        {"wrong checksum", MakeZip(With(WordPackage(text), [](ZipEntry& e) { e.claimedCrc = 1; })),
         Message::ZipEntryDamaged},
        {"encrypted entry", MakeZip(With(WordPackage(text), [](ZipEntry& e) { e.flags = 1; })),
         Message::EncryptedEntry},
        {"bzip2 entry", MakeZip(With(WordPackage(text), [](ZipEntry& e) { e.method = 12; })),
         Message::UnsupportedMethod},
        {"directory claims more entries", MakeZip(WordPackage(text), {.extraCount = 3}), Message::ZipDirectoryDamaged},
        {"main part missing", MakeZip({WordPackage(text)[0], WordPackage(text)[1]}), Message::MissingPart},
        {"entity expansion", MakeZip(WordPackage(laughs + Document("<w:p><w:r><w:t>&b;</w:t></w:r></w:p>"))),
         Message::XmlDoctype},
        {"external entity",
         MakeZip(WordPackage("<!DOCTYPE d [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>" + Document("&x;"))),
         Message::XmlDoctype},
        {"malformed XML", MakeZip(WordPackage(Document("<w:p>"))), Message::BadXml},
        {"a NUL in the text", MakeZip(WordPackage(Document(std::string("<w:p>a\0b</w:p>", 14)))), Message::BadXml},
        {"<!DOCTYPE in text, then bad XML", MakeZip(WordPackage(Document("<![CDATA[<!DOCTYPE]]>") + "<")),
         Message::BadXml},
        {"5,000 entries share one block", sharedBlock, Message::ZipEntryDamaged},
        {"two entries share their data", MakeZip(sharedData), Message::ZipEntryDamaged},
        {"the local header's checksum differs", localCrc, Message::ZipEntryDamaged},
        {"a target's %2E%2E is a dot segment", MakeZip([&] {
             auto entries = WordPackage(text);
             entries[1].data.replace(entries[1].data.find("word/"), 5, "word/%2E%2E/word/");
             return entries;
         }()),
         std::nullopt},
        {"a manifest with a DTD", odt(""), std::nullopt},
        {"an encrypted manifest with a DTD", odt("<manifest:encryption-data/>"), Message::EncryptedDocument},
        {"<!DOCTYPE in a comment, then bad XML", MakeZip(WordPackage("<!-- <!DOCTYPE d> --><")), Message::BadXml},
        {"a bare <!DOCTYPE", MakeZip(WordPackage("<!DOCTYPE")), Message::BadXml},
        {"a spreadsheet", MakeZip({{"mimetype", spreadsheet}, {"content.xml", "<x/>"}}), Message::NotTextPackage},
        {"not WordprocessingML", MakeZip(WordPackage("<workbook/>")), Message::NotTextPackage},
        {"a name longer than any path", MakeZip([&] {
             auto entries = WordPackage(text);
             entries.insert(entries.begin(), ZipEntry{std::string(65535, 'n'), "x"});
             return entries;
         }()),
         std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        try {
            const TemplateText read = ReadTemplateText(c.bytes);
            EXPECT_FALSE(c.error.has_value());
            EXPECT_EQ(read.paragraphs.size(), 1u);
        } catch (const TemplateError& e) {
            ASSERT_TRUE(c.error.has_value()) << Say(Language::English, e.message, e.arguments);
            EXPECT_EQ(e.message, *c.error) << Say(Language::English, e.message, e.arguments);
        }
    }

    // Everything read from one package counts against one limit.
    const std::string half(700 << 10, ' ');
    const std::string bytes = MakeZip({{"a", half, true}, {"b", half, true}});
    ZipArchive zip(bytes, 1 << 20);
    EXPECT_EQ(zip.Read("A"), half);  // part names ignore case
    try {
        zip.Read("b");
        ADD_FAILURE() << "the second part went past the limit";
    } catch (const TemplateError& e) {
        EXPECT_EQ(e.message, Message::UnpacksTooBig);
    }
    // A part read again and again inflates a few times the file's size at most.
    const std::string small = MakeZip({{"a", std::string(1000, 'x')}});
    ZipArchive again(small);
    EXPECT_THROW(for (int i = 0; i < 10; ++i) again.Read("a"), TemplateError);
}

// What the precheck refuses, expat refuses alike at the same line: every
// prefix of a part (all but the last are cut short), in UTF-8 and UTF-16, and
// the part with each byte made bad in a few ways. Under Wine, no prefix hangs.
TEST(Templates, PrecheckRefusesAsExpatDoes) {
    const std::string part =
        "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<!-- a\n comment -->\n<?pi x\n?>\n<w:document " +
        std::string(kWordNs) +
        "\n a=\"&amp;'&#x41;\"\n b=''><w:body><w:p><w:r><w:t>Иск &lt;&#1077;\n</w:t></w:r><![CDATA[ ]] ]>\n"
        "]]><w:r\n/></w:p></w:body></w:document>\r<!-- end -->\n";
    std::string utf16 = "\xFF\xFE";
    for (const WChar c : FromUtf8(part.substr(3))) utf16 += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    const auto read = [](const std::string& bytes) {
        try {
            ReadTemplateText(MakeZip(WordPackage(bytes)));
            return std::string();
        } catch (const TemplateError& e) {
            return Say(Language::English, e.message, e.arguments);
        }
    };
    const auto precheck = [](const std::string& bytes) {
        const auto error = PrecheckXml(bytes, "word/document.xml");
        return error ? Say(Language::English, error->message, error->arguments) : std::string();
    };
    for (const std::string& whole : {part, utf16}) {
        for (size_t size = 0; size <= whole.size(); ++size) {
            const std::string cut = whole.substr(0, size);
            EXPECT_EQ(precheck(cut), read(cut)) << cut;
        }
    }
    for (size_t at = 0; at < part.size(); ++at) {
        for (const char bad : {'\xFF', '<', '&', '\0', ']', 'a', 'x'}) {
            std::string changed = part;
            changed[at] = bad;
            const std::string refused = precheck(changed);
            if (!refused.empty()) {
                EXPECT_EQ(refused, read(changed)) << changed;
            }
        }
    }
}

TEST(Templates, RunsReadAsThePageShowsThem) {
    const auto field = [](const std::string& type) { return "<w:r><w:fldChar w:fldCharType=\"" + type + "\"/></w:r>"; };
    const auto code = [](const std::string& text) { return "<w:r><w:instrText>" + text + "</w:instrText></w:r>"; };
    const auto run = [](const std::string& text) { return "<w:r><w:t>" + text + "</w:t></w:r>"; };
    const std::pair<std::string, WString> cases[] = {
        {"<w:r><w:t>&#35;Ист&#1077;</w:t></w:r><w:del><w:r><w:delText>#Удалено#</w:delText></w:r></w:del><w:r>"
         "<w:instrText>PAGE</w:instrText><w:t xml:space=\"preserve\">ц&#x23; &amp; &lt;</w:t><w:tab/></w:r>",
         QM_W("#Истец# & <\t")},
        // The page shows the outer field's result only: the inner one's is a piece of the outer code.
        {field("begin") + code("IF ") + field("begin") + code("REF who") + field("separate") + run("#Истец#") +
             field("end") + code(" = \"x\" \"#Истец#\"") + field("separate") + run("#Истец#") + field("end"),
         QM_W("#Истец#")},
        // A macro button in an IF's code shows nothing; one in its result shows its text.
        {field("begin") + code("IF 1 = 2 \"\" \"") + field("begin") + code("MACROBUTTON M [#Дата#]") + field("end") +
             code("\"") + field("separate") + field("begin") + code("MACROBUTTON M [#Пени#]") + field("end") +
             field("end"),
         QM_W("[#Пени#]")},
        // A macro button's code in pieces: across runs, and around a field whose result it shows.
        {field("begin") + code(" MACRO") + code("BUTTON M ") + field("begin") + code("REF what") + field("separate") +
             run("Дата:") + field("end") + code(" [#Дата#] ") + field("end"),
         QM_W("Дата: [#Дата#]")},
    };
    for (const auto& [runs, text] : cases) {
        const TemplateText read = ReadTemplateText(MakeZip(WordPackage(Document("<w:p>" + runs + "</w:p>"))));
        ASSERT_EQ(read.paragraphs.size(), 1u);
        EXPECT_EQ(read.paragraphs[0].text, text) << runs;
    }
}

// The body's second paragraph starts "Landscape" through the style it
// inherits from, a style of styles.xml; the third's style inherits from
// itself through another, and starts nothing. No page shows "Envelope".
TEST(Templates, APageStyleIsTheSectionThatTheBodyStartsWithIt) {
    const std::string ns =
        "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
        "xmlns:style=\"urn:oasis:names:tc:opendocument:xmlns:style:1.0\" "
        "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\"";
    const std::string content =
        "<office:document-content " + ns +
        "><office:automatic-styles><style:style style:name=\"P1\" style:parent-style-name=\"Chapter\"/>"
        "</office:automatic-styles><office:body><office:text><text:p>a</text:p><text:p text:style-name=\"P1\">b"
        "</text:p><text:p text:style-name=\"Loop\">d</text:p></office:text></office:body></office:document-content>";
    const std::string styles =
        "<office:document-styles " + ns +
        "><office:styles><style:style style:name=\"Chapter\" style:master-page-name=\"Landscape\"/><style:style "
        "style:name=\"Loop\" style:parent-style-name=\"Knot\"/><style:style style:name=\"Knot\" "
        "style:parent-style-name=\"Loop\"/></office:styles><office:master-styles><style:master-page "
        "style:name=\"Standard\"/><style:master-page style:name=\"Envelope\"><style:header><text:p>e</text:p>"
        "</style:header></style:master-page>"
        "<style:master-page style:name=\"Landscape\"><style:header><text:p>c</text:p></style:header>"
        "</style:master-page></office:master-styles></office:document-styles>";
    const TemplateText read = ReadTemplateText(MakeZip(
        {{"mimetype", "application/vnd.oasis.opendocument.text"}, {"content.xml", content}, {"styles.xml", styles}}));
    ASSERT_EQ(read.paragraphs.size(), 4u);
    EXPECT_EQ(read.paragraphs[3].place, (Place{Part::Header, 2, Pages::Other, 1}));
}

TEST(CodeScan, FindsCodesAndWhatLooksLikeThem) {
    const struct {
        std::vector<WString> codes;
        WString text;
        std::vector<WString> found;  // "+" a code, "?" a lookalike
    } cases[] = {
        {{QM_W("#A#"), QM_W("#B C#")},
         QM_W("x #A# #B C# #D# ## # E# #F"),
         {QM_W("+#A#"), QM_W("+#B C#"), QM_W("?#D#")}},
        {{QM_W("#A#"), QM_W("#A#B#")}, QM_W("#A#B#"), {QM_W("+#A#B#")}},
        {{QM_W("{A}"), QM_W("{BB}")}, QM_W("{A}{C}}{"), {QM_W("+{A}"), QM_W("?{C}")}},
        {{QM_W("CODE1"), QM_W("CODE22")}, QM_W("CODE22 CODE1x #X#"), {QM_W("+CODE22"), QM_W("+CODE1")}},
        {{QM_W("ABA"), QM_W("ACA")}, QM_W("ABA AXA"), {QM_W("+ABA")}},  // letters never fence
        {{QM_W("{{A}}"), QM_W("{{BB}}")}, QM_W("{{A}} {{C}} {D}"), {QM_W("+{{A}}"), QM_W("?{{C}}")}},
        {{QM_W("##A##"), QM_W("##B##")}, QM_W("##C## #D#"), {QM_W("?##C##")}},
        {{QM_W("[[A]]"), QM_W("[B]")}, QM_W("[[C]] [D]"), {QM_W("?[C]"), QM_W("?[D]")}},
        {{QM_W("__FIRST_NAME__"), QM_W("__DATE__")}, QM_W("__LAST_NAME__"), {QM_W("?__LAST_NAME__")}},
        {{}, QM_W("#A#"), {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(ToUtf8(c.text));
        const CodeIndex index({{QM_W("K"), c.codes}});
        std::vector<WString> found;
        for (const Found& f : index.Scan(c.text)) found.push_back((f.known ? QM_W("+") : QM_W("?")) + f.text);
        EXPECT_EQ(found, c.found);
    }

    const CodeIndex index({{QM_W("K"), {QM_W("#Истец#"), QM_W("#СуммаДолга#"), QM_W("#Пени#"), QM_W("#Дата#")}}});
    const std::pair<WString, WString> nearest[] = {
        {QM_W("#СуммаДолг#"), QM_W("#СуммаДолга#")},
        {QM_W("#ИСТЕЦ#"), QM_W("#Истец#")},
        {QM_W("#Пеня#"), QM_W("#Пени#")},
        {QM_W("#Неведомый#"), QM_W("")},
        {QM_W("#СумДолга#"), QM_W("#СуммаДолга#")},
        {QM_W("#Пнеи#"), QM_W("")},
    };
    for (const auto& [token, code] : nearest) {
        EXPECT_EQ(index.Nearest(token).value_or(WString()), code) << ToUtf8(token);
    }
}

}  // namespace
}  // namespace quillmark
