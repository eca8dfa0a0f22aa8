#include "tools/check/Checker.h"
#include "tools/check/Json.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "catalogue/Platform.h"
#include "check/CheckerRun.h"
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

using Result = test::CheckResult;
using test::Check;

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
    const Result r = Check({QM_W("--json"), ToWString(dir_.Path() / "none.ini"), QM_W("Подсчет дней")});
    EXPECT_EQ(r.code, kCheckOk);
    EXPECT_EQ(r.out, "[]\n");
    EXPECT_EQ(Check({QM_W("--json"), ToWString(dir_.Path()), QM_W("S")}).out, "[]\n");
}

TEST_F(CheckerTest, UsageErrors) {
    for (const auto& args : std::vector<std::vector<WString>>{
             {QM_W("--json")},
             {QM_W("--json"), QM_W("file")},
             {QM_W("a"), QM_W("b")},
             {QM_W("--kind"), QM_W("Подсчет дней"), QM_W("a")},
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

const std::string kEverythingOdd = std::string(kBom) +
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
                                   "C=1\n"                         // 11
                                   + std::string(1, '\0') + "[Подсчет дней]\nD=1\n";

TEST_F(CheckerTest, ReportWarnsOfEverythingReadOtherwiseThanMeantInBothLanguages) {
    struct Case {
        Language language;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {Language::English,
         {
             ":1: warning: text before the first section is ignored",
             ":4: warning: code \"A\" repeats line 3 of section \"Простой расчет\"",
             ":5: warning: empty code: the line has no \"=\"",
             ":6: warning: empty code: the line begins with \"=\"",
             ":7: warning: text after \"]\" makes this a code line",
             ":7: warning: empty code: the line has no \"=\"",
             ":8: warning: section \"ПРОСТОЙ РАСЧЕТ\" repeats the section at line 2",
             ":10: warning: section \"Misc\" matches none of the six kinds",
             ":12: warning: a NUL character ends the text",
             "params.ini: warning: no section for the kind \"Подсчет дней\"",
             "params.ini: warning: no section for the kind \"Сводный расчет\"",
             "line 2: [Простой расчет] 5 codes (not listed: a later section has its name)",
             "line 10: [Misc] 1 code\n",
             "14 warning(s).",
         }},
        {Language::Russian,
         {
             ":1: предупреждение: текст до первого раздела не читается",
             ":4: предупреждение: код \"A\" повторяет строку 3 раздела \"Простой расчет\"",
             ":6: предупреждение: пустой код: строка начинается с \"=\"",
             ":12: предупреждение: символ NUL завершает текст",
             "params.ini: предупреждение: нет раздела для вида расчета \"Подсчет дней\"",
             "строка 2: [Простой расчет] 5 кодов (не в списке: у более позднего раздела то же имя)",
             "строка 10: [Misc] 1 код\n",
             "Кодировка: UTF-8 (метка порядка байтов EF BB BF)",
             "Предупреждений: 14.",
         }},
    };
    const WString path = File(kEverythingOdd);
    for (const Case& c : cases) {
        const Result r = Check({path}, c.language);
        EXPECT_EQ(r.code, kCheckWarnings);
        for (const std::string& expected : c.expected) {
            EXPECT_NE(r.out.find(expected), std::string::npos) << expected << "\n" << r.out;
        }
    }
}

// FILE:LINE: as an editor reads it, pointing at the very line warned about.
TEST_F(CheckerTest, LocationsLeadToTheLine) {
    const WString path = File(kEverythingOdd);
    const Result r = Check({path});
    std::vector<std::string> lines;
    for (size_t at = 0, end; (end = kEverythingOdd.find('\n', at)) != std::string::npos; at = end + 1) {
        lines.push_back(kEverythingOdd.substr(at, end - at));
    }
    const std::string file = ToUtf8(path);
    std::map<size_t, std::string> warned;
    for (size_t at = 0, end; (end = r.out.find('\n', at)) != std::string::npos; at = end + 1) {
        const std::string line = r.out.substr(at, end - at);
        if (line.rfind(file + ":", 0) != 0) continue;
        const std::string rest = line.substr(file.size() + 1);
        if (rest.rfind(" warning: ", 0) == 0) continue;  // the whole file
        const size_t colon = rest.find(": warning: ");
        ASSERT_NE(colon, std::string::npos) << line;
        ASSERT_EQ(rest.find_first_not_of("0123456789"), colon) << line;
        warned[std::stoul(rest.substr(0, colon))] = rest.substr(colon + 11);
    }
    EXPECT_EQ(warned.size(), 8u) << r.out;
    const std::pair<size_t, const char*> expected[] = {
        {1, "ORPHAN=1"}, {4, "A=2"}, {6, "=value"}, {8, "[ПРОСТОЙ РАСЧЕТ]"}, {10, "[Misc]"}};
    for (const auto& [number, text] : expected) {
        ASSERT_TRUE(warned.count(number)) << number;
        EXPECT_EQ(lines[number - 1].substr(lines[number - 1].find_first_not_of(kBom)), text);
    }
}

TEST(CheckerMessages, EveryMessageSpeaksBothLanguagesWithTheSamePlaceholders) {
    const auto placeholders = [](std::string_view text) {
        std::string found;
        for (size_t i = 0; i + 2 < text.size(); ++i) {
            if (text[i] == '{' && text[i + 2] == '}') found += text[i + 1];
        }
        std::sort(found.begin(), found.end());
        return found;
    };
    for (int i = 0; i < static_cast<int>(Message::Count); ++i) {
        const auto message = static_cast<Message>(i);
        const std::string english = Pattern(Language::English, message);
        const std::string russian = Pattern(Language::Russian, message);
        EXPECT_FALSE(english.empty()) << i;
        EXPECT_FALSE(russian.empty()) << i;
        EXPECT_EQ(placeholders(english), placeholders(russian)) << english;
    }
    // Russian plurals.
    const std::pair<size_t, const char*> plurals[] = {{1, "1 код"},      {2, "2 кода"},  {5, "5 кодов"},
                                                      {11, "11 кодов"},  {21, "21 код"}, {112, "112 кодов"},
                                                      {104, "104 кода"}, {0, "0 кодов"}};
    for (const auto& [count, text] : plurals) EXPECT_EQ(Codes(Language::Russian, count), text);
}

TEST(CheckerMessages, QuotedTextIsExactlyTheText) {
    const std::pair<WString, std::string> cases[] = {
        {QM_W("\"Item\""), R"("\"Item\"")"},
        {QM_W("a\\u00AD"), R"("a\\u00AD")"},  // the text's own backslash, not an escape
        {QM_W("#A\u00ADB\u2011C\u200B\u00A0\uF02D\tD#"), R"("#A\u00ADB\u2011C\u200B\u00A0\uF02D\u0009D#")"},
        {{WChar(0xD83D), WChar(0xDE00), WChar(0xDB40), WChar(0xDC01), WChar(0xD800)}, "\"😀\\U000E0001\\uD800\""},
    };
    for (const auto& [text, quoted] : cases) EXPECT_EQ(Quoted(text), quoted);
}

TEST(CheckerMessages, NamesGoBackToTheSystemAsTheyCameAndShowNoControls) {
    // A sequence cut short before ASCII, an encoded surrogate, a character whose low half looks like a kept byte.
    const std::string bytes = "\xC8\xF1\xEA\xF0\x9F\x98 \xED\xA0\x80\xF0\x9F\x92\x80";
    EXPECT_EQ(ToNativePath(FromNativePath(bytes)), bytes);
    const WString name = FromNativePath("\x1B]0;\xC2\x9B\xC8\xF0\x9F\x92\x80.docx");
    std::string json;
    AppendJsonPath(json, name);
#ifdef _WIN32
    const std::string byte = "\\uDCC8", jsonByte = "\\udcc8";  // a UTF-16 name's own lone surrogate
#else
    const std::string byte = "\\xC8", jsonByte = "\\\\xC8";
#endif
    EXPECT_EQ(ShownName(name), "\\u001B]0;\\u009B" + byte + "💀.docx");
    EXPECT_EQ(json, "\"\\u001b]0;\\u009b" + jsonByte + "💀.docx\"");
}

TEST(CheckerMessages, TheLanguageComesFromTheUsersSettings) {
#ifdef _WIN32
    // The Wine tests run in a Russian locale, and Wine's UI language follows it.
    EXPECT_EQ(UserLanguage(), Language::Russian);
#else
    const auto with = [](const char* all, const char* messages, const char* lang) {
        for (const auto& [name, value] : {std::pair{"LC_ALL", all}, {"LC_MESSAGES", messages}, {"LANG", lang}}) {
            if (value != nullptr)
                ::setenv(name, value, 1);
            else
                ::unsetenv(name);
        }
        return UserLanguage();
    };
    EXPECT_EQ(with(nullptr, nullptr, "ru_RU.UTF-8"), Language::Russian);
    EXPECT_EQ(with(nullptr, "ru_RU.UTF-8", "en_GB.UTF-8"), Language::Russian);
    EXPECT_EQ(with("C", "ru_RU.UTF-8", "ru_RU.UTF-8"), Language::English);
    EXPECT_EQ(with("", "", "ru_UA.UTF-8"), Language::Russian);  // empty ones do not count
    EXPECT_EQ(with(nullptr, nullptr, nullptr), Language::English);
    std::string out, err;
    EXPECT_EQ(RunChecker({QM_W("--json")}, out, err), kCheckUsage);  // the default follows them too
    EXPECT_EQ(err.rfind("quillmark-check: неверное число аргументов\nиспользование:", 0), std::string::npos);
    with(nullptr, nullptr, "ru_RU.UTF-8");
    err.clear();
    EXPECT_EQ(RunChecker({QM_W("--json")}, out, err), kCheckUsage);
    EXPECT_EQ(err.rfind("quillmark-check: неверное число аргументов\nиспользование:", 0), 0u) << err;
    ::unsetenv("LANG");
#endif
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
