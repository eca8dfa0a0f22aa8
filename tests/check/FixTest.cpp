// quillmark-check --fix and --rename on the author's only copy: the real
// executable, natively and under Wine, and the written file read back by our
// reader and, on Linux, by a real LibreOffice.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "check/Shell.h"
#include "support/TestFiles.h"
#include "support/ZipWriter.h"
#include "tools/check/TemplateFix.h"
#include "tools/check/templates/TemplateText.h"
#include "tools/check/templates/Zip.h"

namespace quillmark {
namespace {

namespace fs = std::filesystem;
using test::MakeZip;
using test::ZipEntry;

constexpr const char* kCatalogue =
    "\xEF\xBB\xBF[Простой расчет]\n#Истец#=\n#Заявитель#=\n#Дата#=\n#Сумма#=\n#Суммы#=\n";

// A folder for templates with the catalogue in it; under Wine, removed from
// the Unix side, which removes what the runtime cannot.
struct FixFolder : test::TempDir {
    FixFolder() { Write("params.ini", kCatalogue); }
#ifdef _WIN32
    const test::OnUnixSide unixSide{Path()};
#endif
};

// A code split over three runs by a bold letter, a bookmark and proofing
// marks, in the body and in the header; the run after it holds no
// xml:space="preserve" until its leading blank needs one.
constexpr const char* kSplit =
    "<w:r><w:t>#Ист</w:t></w:r><w:proofErr w:type=\"spellStart\"/><w:bookmarkStart w:id=\"0\" w:name=\"b\"/>"
    "<w:r><w:rPr><w:b/></w:rPr><w:t>е</w:t></w:r><w:bookmarkEnd w:id=\"0\"/><w:proofErr w:type=\"spellEnd\"/>"
    "<w:r><w:t>ц# и далее</w:t></w:r>";
constexpr const char* kWordNs =
    "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\" "
    "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"";

std::string WordTemplate(const std::string& body, std::vector<ZipEntry> more = {}, test::ZipOptions options = {}) {
    const std::string declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n";
    std::vector<ZipEntry> entries = {
        {"[Content_Types].xml",
         declaration +
             "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
             "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
             "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
             "<Override PartName=\"/word/document.xml\" "
             "ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/>"
             "<Override PartName=\"/word/header1.xml\" "
             "ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.header+xml\"/></Types>",
         true},
        {"_rels/.rels",
         declaration + "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                       "<Relationship Id=\"rId1\" Target=\"word/document.xml\" "
                       "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\"/>"
                       "</Relationships>",
         true},
        {"word/document.xml",
         declaration + "<w:document " + kWordNs + "><w:body>" + body +
             "<w:sectPr><w:headerReference w:type=\"default\" r:id=\"rId1\"/></w:sectPr></w:body></w:document>",
         true},
        {"word/_rels/document.xml.rels",
         declaration +
             "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
             "<Relationship Id=\"rId1\" Target=\"header1.xml\" "
             "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/header\"/></Relationships>",
         true},
        {"word/header1.xml", declaration + "<w:hdr " + kWordNs + "><w:p>" + kSplit + "</w:p></w:hdr>", true},
        {"docProps/app.xml", declaration + "<Properties/>"},  // stored: copied as it is, method and all
    };
    entries.insert(entries.end(), more.begin(), more.end());
    return MakeZip(entries, options);
}

std::string OpenDocumentTemplate(std::vector<ZipEntry> more = {}) {
    const std::string ns =
        "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
        "xmlns:style=\"urn:oasis:names:tc:opendocument:xmlns:style:1.0\" "
        "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
        "xmlns:fo=\"urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0\" office:version=\"1.3\"";
    const std::string split =
        "#Ист<text:bookmark-start text:name=\"b\"/><text:span text:style-name=\"T1\">е</text:span>"
        "<text:bookmark-end text:name=\"b\"/>ц# и далее";
    const std::string bold =
        "<office:automatic-styles><style:style style:name=\"T1\" style:family=\"text\">"
        "<style:text-properties fo:font-weight=\"bold\"/></style:style></office:automatic-styles>";
    std::vector<ZipEntry> entries = {
        {"mimetype", "application/vnd.oasis.opendocument.text"},
        {"content.xml",
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<office:document-content " + ns + ">" + bold +
             "<office:body><office:text><text:p>Истец: " + split +
             "</text:p><text:p>Также #истец#, #Суммо#</text:p></office:text></office:body>"
             "</office:document-content>",
         true},
        {"styles.xml",
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<office:document-styles " + ns + ">" + bold +
             "<office:master-styles><style:master-page style:name=\"Standard\"><style:header><text:p>" + split +
             "</text:p></style:header></style:master-page></office:master-styles></office:document-styles>",
         true},
        {"META-INF/manifest.xml",
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<manifest:manifest "
         "xmlns:manifest=\"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0\" manifest:version=\"1.3\">"
         "<manifest:file-entry manifest:full-path=\"/\" "
         "manifest:media-type=\"application/vnd.oasis.opendocument.text\"/>"
         "<manifest:file-entry manifest:full-path=\"content.xml\" manifest:media-type=\"text/xml\"/>"
         "<manifest:file-entry manifest:full-path=\"styles.xml\" manifest:media-type=\"text/xml\"/>"
         "</manifest:manifest>",
         true},
    };
    entries.insert(entries.end(), more.begin(), more.end());
    return MakeZip(entries);
}

std::string Body() {
    return std::string("<w:p><w:r><w:t xml:space=\"preserve\">Истец: </w:t></w:r>") + kSplit +
           "</w:p><w:p><w:r><w:t>Также #истец#, #Суммо#</w:t></w:r>"
           "<w:del w:id=\"1\" w:author=\"a\" w:date=\"2026-01-01T00:00:00Z\"><w:r><w:delText>#Истец# "
           "удалено</w:delText></w:r>"
           "</w:del></w:p>";
}

std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Each entry's name and bytes, local header to the end of its data, in order.
std::vector<std::pair<std::string, std::string>> Entries(const std::string& zip) {
    std::vector<std::pair<std::string, std::string>> entries;
    const auto u = [&](size_t at, int width) {
        uint32_t value = 0;
        for (int i = width; i-- > 0;) value = value << 8 | static_cast<unsigned char>(zip[at + i]);
        return value;
    };
    for (size_t at = 0; at + 30 <= zip.size() && u(at, 4) == 0x04034b50;) {
        const size_t end = at + 30 + u(at + 26, 2) + u(at + 28, 2) + u(at + 18, 4);
        entries.emplace_back(zip.substr(at + 30, u(at + 26, 2)), zip.substr(at, end - at));
        at = end;
    }
    return entries;
}

void ExpectNoNewFileLeft(const fs::path& folder) {
    for (const auto& entry : fs::directory_iterator(folder)) {
        EXPECT_EQ(entry.path().filename().string().find(".~quillmark"), std::string::npos);
    }
}

std::string Checker() {
    std::string exe = QM_CHECKER_EXE;
#ifdef _WIN32
    std::replace(exe.begin(), exe.end(), '/', '\\');
#endif
    return "\"" + exe + "\"";
}

std::vector<std::string> Texts(const fs::path& path) {
    const std::string bytes = ReadBytes(path);
    std::vector<std::string> texts;
    for (const Paragraph& p : ReadTemplateText(bytes).paragraphs) texts.push_back(ToUtf8(p.text));
    return texts;
}

// The text a reader sees, with what the run asked for changed; LibreOffice
// also shows deleted text, which stays as it was.
std::string Changed(std::string text) {
    text = std::regex_replace(text, std::regex("#Истец#(?! удалено)"), "#Заявитель#");
    return std::regex_replace(text, std::regex("#истец#"), "#Истец#");
}

TEST(Fix, ChangesTheCodesInTheirPartsAndNothingElse) {
    const test::TempDir dir;
    dir.Write("params.ini", kCatalogue);
    const std::string word = WordTemplate(Body());
    const std::string openDocument = OpenDocumentTemplate();
    dir.Write("split.docx", word);
    dir.Write("split.odt", openDocument);
    std::vector<std::string> before[2] = {Texts(dir.Path() / "split.docx"), Texts(dir.Path() / "split.odt")};

    const std::string fix = Checker() + " --fix --rename \"#Истец#=#Заявитель#\" params.ini split.docx split.odt";
    const test::Outcome dry = test::InShell(dir.Path(), fix + " --dry-run --json");
    EXPECT_NE(dry.out.find("\"changes\":[{\"from\":\"#Истец#\",\"to\":\"#Заявитель#\",\"part\":\"body\""),
              std::string::npos)
        << dry.out;
    EXPECT_TRUE(ReadBytes(dir.Path() / "split.docx") == word && ReadBytes(dir.Path() / "split.odt") == openDocument);
    const test::Outcome run = test::InShell(dir.Path(), fix);
    SCOPED_TRACE(run.out);
    // "#Сумма#" and "#Суммы#" are as near to "#Суммо#" as each other: nothing is chosen for the author.
    EXPECT_EQ(run.code, 3);
    EXPECT_NE(run.out.find("split.odt:2: warning: unknown code \"#Суммо#\""), std::string::npos);
    EXPECT_NE(run.out.find("split.docx:2: change: \"#истец#\" is now \"#Истец#\""), std::string::npos);
    EXPECT_NE(run.out.find("split.odt: change: header of section 1, paragraph 1: \"#Истец#\" is now"),
              std::string::npos);

    const char* names[] = {"split.docx", "split.odt"};
    const std::string* originals[] = {&word, &openDocument};
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(names[i]);
        const std::string after = ReadBytes(dir.Path() / names[i]);
        std::vector<std::string> expected;
        for (const std::string& text : before[i]) expected.push_back(Changed(text));
        EXPECT_EQ(Texts(dir.Path() / names[i]), expected);
        const auto old = Entries(*originals[i]), now = Entries(after);
        ASSERT_EQ(old.size(), now.size());
        for (size_t e = 0; e < old.size(); ++e) {
            EXPECT_EQ(old[e].first, now[e].first);
            const bool text = old[e].first == "word/document.xml" || old[e].first == "word/header1.xml" ||
                              old[e].first == "content.xml" || old[e].first == "styles.xml";
            if (!text) {
                EXPECT_EQ(old[e].second, now[e].second) << old[e].first;
            }
        }
    }
    // What the page does not show is not changed.
    EXPECT_NE(
        ZipArchive(ReadBytes(dir.Path() / "split.docx")).Read("word/document.xml").find("<w:delText>#Истец# удалено<"),
        std::string::npos);
    ExpectNoNewFileLeft(dir.Path());

#ifndef _WIN32
    // As LibreOffice reads them: the text after the code keeps its blank.
    dir.Write("was.docx", word);
    dir.Write("was.odt", openDocument);
    const std::string script = "/usr/bin/python3 '" QM_SOURCE_DIR "/tests/check/office_text.py' ";
    const test::Outcome office =
        test::InShell(dir.Path(), script + "was.docx was.odt split.docx split.odt 2>/dev/null");
    ASSERT_EQ(office.code, 0) << office.out;
    std::vector<std::string> lines;
    std::istringstream in(office.out);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    ASSERT_EQ(lines.size() % 2, 0u) << office.out;
    const size_t half = lines.size() / 2;
    for (size_t l = 0; l < half; ++l) EXPECT_EQ(Changed(lines[l]), lines[half + l]);
    EXPECT_NE(office.out.find("#Заявитель# и далее"), std::string::npos);
#endif
}

TEST(Fix, RefusesWhatItCannotChangeSafely) {
    const FixFolder dir;
    const std::string word = WordTemplate(Body());
    const std::string signedWord = WordTemplate(Body(), {{"_xmlsignatures/sig1.xml", "<Signature/>"}});
    const std::string signedOdt = OpenDocumentTemplate({{"META-INF/documentsignatures.xml", "<signatures/>"}});
    const std::string zip64End = WordTemplate(Body(), {}, {.zip64End = true});  // others trust its offsets
    struct Row {
        const char* name;
        const std::string& bytes;
        std::string beside;  // a file put beside the template
        const char* before;  // what the command line does first
        const char* error;
    };
    const Row rows[] = {
        {"split.docx", word, "~$split.docx", "", "the template is open in Word or LibreOffice (~$split.docx is"},
        {"Исковое заявление.docx", word, "~$ковое заявление.docx", "", "(~$ковое заявление.docx is beside it)"},
        {"split.docx", word, ".~lock.split.docx#", "", "(.~lock.split.docx# is beside it): close it first"},
        {"signed.docx", signedWord, "", "", "the template is signed"},
        {"signed.odt", signedOdt, "", "", "the template is signed"},
        {"readonly.docx", word, "", "", "the template is read-only"},
        {"zip64.docx", zip64End, "", "", "cannot be written back safely"},
#ifndef _WIN32
        // A file-size limit cuts the write short: the template is whole.
        {"limited.docx", word, "", "ulimit -f 2; ", "the changed template could not be written"},
#endif
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const fs::path path = dir.Write(row.name, row.bytes);
        if (!row.beside.empty()) dir.Write(row.beside, "owner");
        if (std::string(row.name) == "readonly.docx")
            fs::permissions(path, fs::perms::owner_read | fs::perms::group_read);
        const std::string fix = Checker() + " --fix --rename \"#Истец#=#Заявитель#\" params.ini \"" + row.name + "\"";
        // A dry run tells what the run would refuse.
        if (*row.before == '\0') {
            EXPECT_EQ(test::InShell(dir.Path(), fix + " --dry-run").code, 1);
        }
        const test::Outcome run = test::InShell(dir.Path(), row.before + fix);
        EXPECT_EQ(run.code, 1) << run.out;
        EXPECT_NE(run.out.find(std::string(row.name) + ": error: "), std::string::npos) << run.out;
        EXPECT_NE(run.out.find(row.error), std::string::npos) << run.out;
        EXPECT_TRUE(ReadBytes(path) == row.bytes);
        fs::permissions(path, fs::perms::owner_all);
        if (!row.beside.empty()) fs::remove(dir.Path() / fs::u8path(row.beside));
    }
    ExpectNoNewFileLeft(dir.Path());
}

// Templates are written while later ones are read, but each report comes in
// the order given, with its own template's outcome; a template named twice is
// read again once its first change is in place.
TEST(Fix, ReportsEachTemplateInTurn) {
    const FixFolder dir;
    const std::string word = WordTemplate(Body());
    std::string names;
    std::vector<std::string> expected;
    for (int i = 100; i < 140; ++i) {
        const std::string name = std::to_string(i) + ".docx";
        dir.Write(name, i == 125 ? "not a template" : word);
        names += name + " ";
        expected.push_back(i == 125 ? "error " + name : "template " + name);
        if (i != 117 && i != 125) expected.push_back("change " + name);
        if (i == 117) expected.push_back("error " + name);
    }
    expected.insert(expected.end(), {"template 139.docx", "change 139.docx", "template 139.docx"});  // by --fix
    fs::permissions(dir.Path() / "117.docx", fs::perms::owner_read | fs::perms::group_read);
    const test::Outcome run = test::InShell(
        dir.Path(), Checker() + " --fix --rename \"#Истец#=#Заявитель#\" params.ini " + names + "139.docx 139.docx");
    EXPECT_EQ(run.code, 1);
    std::vector<std::string> told;
    std::istringstream in(run.out);
    const std::regex line("(?:Template: .*[/\\\\]|)(1[0-9][0-9]\\.docx)(:[0-9]*)?(: (change|error)|$).*");
    for (std::string text; std::getline(in, text);) {
        std::smatch m;
        if (!std::regex_match(text, m, line)) continue;
        const std::string what = m[4].matched ? m[4].str() + " " + m[1].str() : "template " + m[1].str();
        if (told.empty() || told.back() != what) told.push_back(what);
    }
    EXPECT_EQ(told, expected) << run.out;
    EXPECT_EQ(Texts(dir.Path() / "139.docx")[0], "Истец: #Заявитель# и далее");
#ifndef _WIN32
    // No thread to be had, for its stack: the templates are written all the same.
    const test::Outcome back = test::InShell(
        dir.Path(), "ulimit -s 100000000; " + Checker() + " --rename \"#Заявитель#=#Истец#\" params.ini " + names);
    EXPECT_EQ(back.code, 1) << back.out;
    EXPECT_EQ(Texts(dir.Path() / "139.docx")[0], "Истец: #Истец# и далее");
#endif
    fs::permissions(dir.Path() / "117.docx", fs::perms::owner_all);
}

TEST(Fix, ReadsAFolderOfManyTemplatesFewAheadOfTheWriting) {
    FixWriter writer(true);
    std::atomic<size_t> read = 0;
    size_t ahead = 0;
    for (size_t added = 1; added <= 1000; ++added) {
        writer.Add(
            [&]() -> std::optional<FixJob> {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                ++read;
                return std::nullopt;
            },
            {});
        ahead = std::max<size_t>(ahead, added - read);
    }
    EXPECT_LT(ahead, 200u);
}

// Windows takes patterns and paths past MAX_PATH from the author as the
// check does, and ReplaceFileW puts the new file in place there too.
TEST(Fix, FollowsPatternsAndLongPaths) {
    const FixFolder dir;
    const std::string word = WordTemplate(Body());
    std::string deep = "long";
    for (int i = 0; i < 10; ++i) deep += "/Папка искового производства";
    fs::create_directories(dir.Path() / fs::u8path(deep));
    const std::string b = std::string(240, 'b') + ".docx";    // the new file beside it needs a name too
    const std::string b2 = std::string(240, 'b') + "2.docx";  // and one other than b's, cut alike
    for (const std::string& name : {std::string("a.docx"), b, b2, deep + "/c.docx"}) dir.Write(name, word);
#ifdef _WIN32
    const std::string pattern = "*.docx \"" + deep + "/c.docx\"", checker = Checker();
#else
    fs::create_symlink(fs::u8path(deep + "/c.docx"), dir.Path() / "link.docx");
    const std::string pattern = b + " " + b2 + " link.docx *.docx '" + deep + "/c.docx'";  // b and b2 in one batch
    // A folder that may be written in but not listed, to root too.
    fs::permissions(dir.Path() / fs::u8path(deep), fs::perms::owner_write | fs::perms::owner_exec);
    const std::string checker =
        "$([ $(id -u) = 0 ] && echo setpriv --bounding-set=-dac_override,-dac_read_search) " + Checker();
#endif
    const test::Outcome run =
        test::InShell(dir.Path(), checker + " --rename \"#Истец#=#Заявитель#\" params.ini " + pattern);
#ifndef _WIN32
    fs::permissions(dir.Path() / fs::u8path(deep), fs::perms::owner_all);
#endif
    EXPECT_EQ(run.code, 3) << run.out;
    for (const std::string& name : {std::string("a.docx"), b, b2, deep + "/c.docx"}) {
        SCOPED_TRACE(name);
        const std::vector<std::string> texts = Texts(dir.Path() / fs::u8path(name));
        ASSERT_EQ(texts.size(), 3u);
        EXPECT_EQ(texts[0], "Истец: #Заявитель# и далее");
    }
    EXPECT_NE(fs::symlink_status(dir.Path() / "link.docx").type(), fs::file_type::regular);  // still a link
}

}  // namespace
}  // namespace quillmark
