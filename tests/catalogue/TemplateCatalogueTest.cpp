#include "catalogue/TemplateCatalogue.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "catalogue/FileOpenError.h"
#include "catalogue/Kinds.h"
#include "catalogue/Platform.h"
#include "common/Exception.h"
#include "support/TestFiles.h"

namespace quillmark {
namespace {

using test::TempDir;
using test::ToWString;
using test::Utf16Bytes;
using Items = std::vector<WString>;

const char kBom[] = "\xEF\xBB\xBF";

// The worked example of the catalogue format, one line per row.
const WString kExample = QM_W(
    "; коды шаблонов\r\n"
    "CODE0=долг\r\n"
    "[Простой расчет]\r\n"
    "CODE1=сумма долга\r\n"
    "  CODE2 = дата\r\n"
    "\r\n"
    "CODE3\r\n"
    "=без имени\r\n"
    "CODE1=повтор\r\n"
    "[ сводный РАСЧЕТ ]\r\n"
    "CODE4=итог\r\n");

Items Read(TTemplateCatalogue& catalogue, WStringView section) {
    StringListTarget target;
    catalogue.ReadSection(section, target);
    EXPECT_EQ(target.PendingUpdates(), 0);
    return target.Items();
}

Items Read(std::string_view bytes, WStringView section) {
    auto catalogue = TTemplateCatalogue::FromBytes(bytes);
    return Read(catalogue, section);
}

std::string Utf8(WStringView text) { return kBom + ToUtf8(text); }

TEST(TemplateCatalogue, WorkedExample) {
    const std::string bytes = Utf8(kExample);
    EXPECT_EQ(Read(bytes, QM_W("Простой расчет")),
              (Items{QM_W("CODE1"), QM_W("CODE2"), QM_W(""), QM_W(""), QM_W("CODE1")}));
    EXPECT_EQ(Read(bytes, QM_W("Сводный расчет")), Items{QM_W("CODE4")});
    EXPECT_EQ(Read(bytes, QM_W("Подсчет дней")), Items{});
    EXPECT_EQ(Read(Utf8(kExample + QM_W("[ПРОСТОЙ РАСЧЕТ]\r\nCODE5=x\r\n")), QM_W("Простой расчет")),
              Items{QM_W("CODE5")});
}

TEST(TemplateCatalogue, KeepsSectionsInFileOrderAndStoresKeyLines) {
    auto catalogue = TTemplateCatalogue::FromBytes(Utf8(QM_W("[A]\n  CODE1 =  x = y \nBARE\n[a]\n[ B ]\n=v\n")));
    ASSERT_EQ(catalogue.SectionCount(), 3u);
    EXPECT_EQ(catalogue.SectionName(0), QM_W("A"));
    EXPECT_EQ(catalogue.SectionName(1), QM_W("a"));
    EXPECT_EQ(catalogue.SectionName(2), QM_W("B"));
    ASSERT_EQ(catalogue.KeyLineCount(0), 2u);
    EXPECT_EQ(catalogue.KeyLineText(0, 0), QM_W("CODE1=x = y"));
    EXPECT_EQ(catalogue.KeyLineText(0, 1), QM_W("BARE"));
    EXPECT_EQ(catalogue.KeyName(0, 1), QM_W(""));
    EXPECT_EQ(catalogue.KeyLineCount(1), 0u);
    EXPECT_EQ(catalogue.KeyLineText(2, 0), QM_W("=v"));
    // Same name in another case: the later, empty section wins.
    EXPECT_EQ(Read(catalogue, QM_W("a")), Items{});
}

TEST(TemplateCatalogue, SectionNamesMatchWithoutCaseButWithTheirInnerBlanks) {
    const std::string bytes = Utf8(QM_W("[  простой РАСЧЕТ  ]\nA=1\n[Сводный  расчет]\nB=1\n[ЁЛКА ёлка]\nC\n"));
    EXPECT_EQ(Read(bytes, QM_W("Простой расчет")), Items{QM_W("A")});
    EXPECT_EQ(Read(bytes, QM_W("Сводный расчет")), Items{});
    EXPECT_EQ(Read(bytes, QM_W("ёлка ЁЛКА")), Items{QM_W("")});
    // The requested name is not trimmed.
    EXPECT_EQ(Read(bytes, QM_W(" Простой расчет")), Items{});
}

TEST(TemplateCatalogue, LinesThatAreNotCodes) {
    const std::string bytes =
        Utf8(QM_W("[Простой расчет] ; trailing text\n"
                  "ORPHAN=1\n"
                  "[Простой расчет]\n"
                  "   \t \n"
                  "  ; comment\n"
                  "#HASH=1\n"
                  "CODE=a=b\n"
                  "[Сводный расчет] ; not a header\n"
                  "X=1\n"));
    EXPECT_EQ(Read(bytes, QM_W("Простой расчет")), (Items{QM_W("#HASH"), QM_W("CODE"), QM_W(""), QM_W("X")}));
    EXPECT_EQ(Read(bytes, QM_W("Сводный расчет")), Items{});
}

TEST(TemplateCatalogue, MixedLineEndsGiveTheSameLines) {
    const Items expected{QM_W("A"), QM_W("B"), QM_W("C"), QM_W("D")};
    EXPECT_EQ(Read(Utf8(QM_W("[S]\rA=\nB=\r\nC=\n\rD=")), QM_W("S")), expected);
    EXPECT_EQ(Read(Utf8(QM_W("[S]\r\nA=\r\nB=\r\nC=\r\nD=\r\n")), QM_W("S")), expected);
}

TEST(TemplateCatalogue, NulEndsTheText) {
    std::string bytes = Utf8(QM_W("[S]\nA=1\nB"));
    bytes += '\0';
    bytes += "=2\nC=3\n[T]\nD=4\n";
    EXPECT_EQ(Read(bytes, QM_W("S")), (Items{QM_W("A"), QM_W("")}));
    EXPECT_EQ(Read(bytes, QM_W("T")), Items{});
}

TEST(TemplateCatalogue, EveryEncodingGivesTheSameCatalogue) {
    const WString text = QM_W("[Раздел имущества]\r\nДОМ=1\r\nCAR=2\r\n");
    const Items expected{QM_W("ДОМ"), QM_W("CAR")};
    EXPECT_EQ(Read(Utf8(text), QM_W("РАЗДЕЛ ИМУЩЕСТВА")), expected);
    EXPECT_EQ(Read(Utf16Bytes(text, false), QM_W("РАЗДЕЛ ИМУЩЕСТВА")), expected);
    EXPECT_EQ(Read(Utf16Bytes(text, true), QM_W("РАЗДЕЛ ИМУЩЕСТВА")), expected);
    // Windows-1251: the ANSI code page of the tests (and the portable default).
    const std::string ansi =
        "[\xD0\xE0\xE7\xE4\xE5\xEB \xE8\xEC\xF3\xF9\xE5\xF1\xF2\xE2\xE0]\r\n\xC4\xCE\xCC=1\r\nCAR=2\r\n";
    EXPECT_EQ(Read(ansi, QM_W("Раздел имущества")), expected);
}

TEST(TemplateCatalogue, FilesThatComeOutEmpty) {
    // UTF-8 without its mark is read in the ANSI code page: no Cyrillic name matches.
    EXPECT_EQ(Read(ToUtf8(QM_W("[Простой расчет]\nA=1\n")), QM_W("Простой расчет")), Items{});
    // UTF-16 without its mark: the zero byte of the first character ends the text.
    EXPECT_EQ(TTemplateCatalogue::FromBytes(Utf16Bytes(QM_W("[S]\nA=1\n"), false, false)).SectionCount(), 0u);
    EXPECT_EQ(TTemplateCatalogue::FromBytes(std::string("\xFF\xFE\0\0[S]\0\n\0", 10)).SectionCount(), 0u);
    EXPECT_EQ(TTemplateCatalogue::FromBytes("").SectionCount(), 0u);
    EXPECT_EQ(TTemplateCatalogue::FromBytes(kBom).SectionCount(), 0u);
    EXPECT_EQ(TTemplateCatalogue::FromBytes("\xFF\xFE").SectionCount(), 0u);
    EXPECT_EQ(TTemplateCatalogue::FromBytes(Utf8(QM_W("[S]\nA=1\n")) + "\xE2\x82").SectionCount(), 0u);
}

TEST(TemplateCatalogue, ReadSectionReplacesTheTargetAndAlwaysResumesUpdates) {
    auto catalogue = TTemplateCatalogue::FromBytes(Utf8(QM_W("[S]\nA\nB\nC\n")));
    StringListTarget target;
    target.Add(QM_W("old"));
    catalogue.ReadSection(QM_W("none"), target);
    EXPECT_TRUE(target.Items().empty());

    // A target that refuses its second line: the first stays and updates resume.
    class Refusing final : public ISectionTarget {
    public:
        void BeginUpdate() override { ++updates; }
        void EndUpdate() override { --updates; }
        void Clear() override { items.clear(); }
        void Add(const WString& item) override {
            if (items.size() == 1) throw Exception(QM_W("Unable to insert a line"));
            items.push_back(item);
        }
        int updates = 0;
        Items items;
    } refusing;
    EXPECT_THROW(catalogue.ReadSection(QM_W("s"), refusing), Exception);
    EXPECT_EQ(refusing.updates, 0);
    EXPECT_EQ(refusing.items, Items{QM_W("")});
}

TEST(TemplateCatalogueFile, MissingFileOrDirectoryIsEmpty) {
    TempDir dir;
    EXPECT_EQ(TTemplateCatalogue(ToWString(dir.Path() / "params.ini")).SectionCount(), 0u);
    EXPECT_EQ(TTemplateCatalogue(ToWString(dir.Path() / "no-dir" / "params.ini")).SectionCount(), 0u);
    EXPECT_EQ(TTemplateCatalogue(ToWString(dir.Path())).SectionCount(), 0u);
    EXPECT_EQ(TTemplateCatalogue(WString()).SectionCount(), 0u);
}

TEST(TemplateCatalogueFile, ReadsTheWholeFile) {
    TempDir dir;
    WString text = QM_W("[Подсчет дней]\r\n");
    for (int i = 0; i < 5000; ++i) text += QM_W("ДЕНЬ") + WString(1, QM_W('A') + i % 26) + QM_W("=значение\r\n");
    const auto path = dir.Write("params.ini", Utf8(text));
    TTemplateCatalogue catalogue(ToWString(path));
    ASSERT_EQ(catalogue.SectionCount(), 1u);
    EXPECT_EQ(catalogue.KeyLineCount(0), 5000u);
    EXPECT_EQ(catalogue.KeyName(0, 4999), QM_W("ДЕНЬH"));
}

TEST(CataloguePath, TheDirectoryEndsAtTheLastBackslashOrColon) {
    EXPECT_EQ(CatalogueFileBeside(QM_W("C:\\Tools\\Quillmark.exe"), QM_W("\\:")), QM_W("C:\\Tools\\params.ini"));
    EXPECT_EQ(CatalogueFileBeside(QM_W("C:Quillmark.exe"), QM_W("\\:")), QM_W("C:params.ini"));
    EXPECT_EQ(CatalogueFileBeside(QM_W("\\\\srv\\share\\a.b\\q.exe"), QM_W("\\:")),
              QM_W("\\\\srv\\share\\a.b\\params.ini"));
    EXPECT_EQ(CatalogueFileBeside(QM_W("/opt/q/quillmark"), QM_W("/")), QM_W("/opt/q/params.ini"));
    EXPECT_EQ(CatalogueFileBeside(QM_W("quillmark"), QM_W("/")), QM_W("params.ini"));
}

TEST(CataloguePath, LiesBesideTheRunningExecutable) {
    const WString module = platform::ModuleFileName();
    const WString path = CataloguePath();
    const size_t cut = module.find_last_of(platform::PathSeparators());
    ASSERT_NE(cut, WString::npos);
    EXPECT_EQ(path, module.substr(0, cut + 1) + QM_W("params.ini"));
}

TEST(FileOpenError, StripsTrailingBlanksAndFullStops) {
    EXPECT_EQ(WithoutTrailingBlanksAndStops(QM_W("Access denied.\r\n")), QM_W("Access denied"));
    EXPECT_EQ(WithoutTrailingBlanksAndStops(QM_W("Odd . .. \t")), QM_W("Odd"));
    EXPECT_EQ(WithoutTrailingBlanksAndStops(QM_W("v1.0 ok")), QM_W("v1.0 ok"));
    EXPECT_EQ(WithoutTrailingBlanksAndStops(QM_W("...")), QM_W(""));
}

}  // namespace
}  // namespace quillmark
