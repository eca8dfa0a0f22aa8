#include "tools/check/Checker.h"

#include <gtest/gtest.h>

#include "catalogue/Platform.h"
#include "support/TestFiles.h"

#ifdef _WIN32
#include "support/HoldOpen.h"
#else
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#endif

namespace quillmark {
namespace {

using test::TempDir;
using test::ToWString;

struct Result {
    int code;
    std::string out, err;
};

Result Check(std::vector<WString> args) {
    Result r{};
    r.code = RunChecker(args, r.out, r.err);
    return r;
}

const char kBom[] = "\xEF\xBB\xBF";

class CheckerTest : public testing::Test {
protected:
    WString File(std::string_view bytes) { return ToWString(dir_.Write("params.ini", bytes)); }
    TempDir dir_;
};

TEST_F(CheckerTest, JsonListsTheCodesOfTheSection) {
    const WString file = File(std::string(kBom) + "[Простой расчет]\r\nCODE1=a\r\nCODE3\r\n=b\r\nКОД=в\r\n");
    const Result r = Check({QM_W("--json"), file, QM_W("простой РАСЧЕТ")});
    EXPECT_EQ(r.code, kCheckOk);
    EXPECT_EQ(r.out, "[\"CODE1\",\"\",\"\",\"КОД\"]\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(Check({QM_W("--json"), file, QM_W("Подсчет дней")}).out, "[]\n");
}

TEST_F(CheckerTest, JsonEscapesWhatJsonCannotHoldAsItStands) {
    // Quotes, backslashes, a tab and a lone surrogate from an unvalidated UTF-16 file.
    const WChar text[] = {0xFEFF, '[', 'S',    ']', '\n', 'a',    '"',    '\\',
                          '\t',   'b', 0xD83D, '=', '\n', 0xD83D, 0xDE00, '='};
    const WString file = File(test::Utf16Bytes(WStringView(text + 1, std::size(text) - 1), false));
    const Result r = Check({QM_W("--json"), file, QM_W("S")});
    EXPECT_EQ(r.out, "[\"a\\\"\\\\\\tb\\ud83d\",\"\xF0\x9F\x98\x80\"]\n");
}

TEST_F(CheckerTest, MissingFileIsAnEmptyList) {
    const Result r = Check({QM_W("--json"), ToWString(dir_.Path() / "none.ini"), QM_W("S")});
    EXPECT_EQ(r.code, kCheckOk);
    EXPECT_EQ(r.out, "[]\n");
    EXPECT_EQ(Check({QM_W("--json"), ToWString(dir_.Path()), QM_W("S")}).out, "[]\n");
}

TEST_F(CheckerTest, UsageErrors) {
    for (const auto& args : std::vector<std::vector<WString>>{
             {},
             {QM_W("--json"), QM_W("file")},
             {QM_W("a"), QM_W("b")},
             {QM_W("--bogus"), QM_W("file")},
             {QM_W("--codepage"), QM_W("1250"), QM_W("file")},
             {QM_W("--codepage"), QM_W("12x"), QM_W("file")},
             {QM_W("file"), QM_W("--codepage")},
         }) {
        const Result r = Check(args);
        EXPECT_EQ(r.code, kCheckUsage);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("usage: quillmark-check"), std::string::npos);
    }
    EXPECT_EQ(Check({QM_W("--help")}).code, kCheckOk);
}

#ifndef _WIN32
TEST_F(CheckerTest, CodePageChoosesHowUnmarkedFilesAreRead) {
    const WString file = File("[\x8F\xE0\xAE\xE1\xE2\xAE\xA9 \xE0\xA0\xE1\xE7\xA5\xE2]\nA=1\n");  // CP866
    EXPECT_EQ(Check({QM_W("--json"), file, QM_W("Простой расчет")}).out, "[]\n");
    EXPECT_EQ(Check({QM_W("--json"), QM_W("--codepage"), QM_W("866"), file, QM_W("Простой расчет")}).out, "[\"A\"]\n");
    EXPECT_EQ(Check({QM_W("--codepage=866"), QM_W("--json"), file, QM_W("Простой расчет")}).out, "[\"A\"]\n");
}
#endif

TEST_F(CheckerTest, CleanCatalogueHasNoWarnings) {
    std::string text = kBom;
    for (const char* kind : {"Простой расчет", "Сводный расчет", "Комплексный расчет", "Подсчет дней",
                             "Расчет госпошлины", "Раздел имущества"}) {
        text += std::string("[") + kind + "]\r\nA=1\r\nB=2\r\n";
    }
    const Result r = Check({File(text)});
    EXPECT_EQ(r.code, kCheckOk) << r.out;
    EXPECT_NE(r.out.find("Encoding: UTF-8 (byte-order mark EF BB BF)"), std::string::npos);
    EXPECT_NE(r.out.find("line 4: [Сводный расчет] 2 codes"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("No warnings."), std::string::npos);
}

TEST_F(CheckerTest, ReportWarnsOfEverythingReadOtherwiseThanMeant) {
    std::string text = std::string(kBom) +
                       "ORPHAN=1\n"                    // 1: before the first section
                       "[Простой расчет]\n"            // 2
                       "A=1\n"                         // 3
                       "A=2\n"                         // 4: repeated code
                       "NOEQUALS\n"                    // 5: empty code
                       "=value\n"                      // 6: empty code
                       "[Сводный расчет] ; comment\n"  // 7: not a header
                       "[ПРОСТОЙ РАСЧЕТ]\n"            // 8: same name again
                       "B=1\n"                         // 9
                       "[Misc]\n"                      // 10: no such kind
                       "C=1\n";                        // 11
    text += '\0';
    text += "[Подсчет дней]\nD=1\n";
    const Result r = Check({File(text)});
    EXPECT_EQ(r.code, kCheckWarnings);
    for (const char* expected : {
             "line 1: text before the first section is ignored",
             "line 4: code \"A\" repeats line 3 of section \"Простой расчет\"",
             "line 5: empty code: the line has no \"=\"",
             "line 6: empty code: the line begins with \"=\"",
             "line 7: text after \"]\" makes this a code line",
             "line 7: empty code: the line has no \"=\"",
             "line 8: section \"ПРОСТОЙ РАСЧЕТ\" repeats the section at line 2",
             "line 10: section \"Misc\" matches none of the six kinds",
             "line 12: a NUL character ends the text",
             "no section for the kind \"Подсчет дней\"",
             "no section for the kind \"Сводный расчет\"",
             "line 2: [Простой расчет] 5 codes (not listed: a later section has its name)",
         }) {
        EXPECT_NE(r.out.find(expected), std::string::npos) << expected << "\n" << r.out;
    }
}

TEST_F(CheckerTest, ReportGivesTheOffsetOfMalformedUtf8) {
    const Result r = Check({File(std::string(kBom) + "[Простой расчет]\nA=\xC3\x28\n")});
    EXPECT_EQ(r.code, kCheckWarnings);
    EXPECT_NE(r.out.find("byte 35: malformed UTF-8"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Sections: 0"), std::string::npos);
}

TEST_F(CheckerTest, ReportWarnsOfUnmarkedNonAsciiText) {
    const Result r = Check({File("; ok\n[\xD0\x9F]\n")});
    EXPECT_EQ(r.code, kCheckWarnings);
    EXPECT_NE(r.out.find("byte 6: non-ASCII text without a byte-order mark"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("looks like UTF-8"), std::string::npos);
}

// A file that exists but cannot be opened: the error on stderr, exit 1.
TEST_F(CheckerTest, AFileThatCannotBeOpenedExitsOne) {
    const auto path = dir_.Write("params.ini", std::string(kBom) + "[S]\r\nA=1\r\n");
#ifdef _WIN32
    const WString module = platform::ModuleFileName();
    test::FileHeldOpen holder(module.substr(0, module.find_last_of(L'\\') + 1) + L"hold-open.exe", path);
    ASSERT_TRUE(holder.Ready());
    const unsigned long reason = ERROR_SHARING_VIOLATION;
#else
    std::filesystem::remove(path);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.string().copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    const unsigned long reason = ENXIO;
#endif
    const std::string expected =
        "Cannot open file \"" + ToUtf8(ToWString(path)) + "\". " + ToUtf8(platform::SystemErrorText(reason)) + "\n";
    for (const auto& args :
         {std::vector<WString>{QM_W("--json"), ToWString(path), QM_W("S")}, std::vector<WString>{ToWString(path)}}) {
        const Result r = Check(args);
        EXPECT_EQ(r.code, kCheckCannotOpen);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, expected);
    }
#ifndef _WIN32
    ::close(fd);
#endif
}

TEST_F(CheckerTest, ReportOfAMissingFile) {
    const Result r = Check({ToWString(dir_.Path() / "none.ini")});
    EXPECT_EQ(r.code, kCheckWarnings);
    EXPECT_NE(r.out.find("no file at"), std::string::npos);
}

}  // namespace
}  // namespace quillmark
