// The portable conversions must answer as Windows does, so that the native
// build and the checker read a file as the program does.
#include <windows.h>

#include <gtest/gtest.h>

#include "catalogue/CodePages.h"
#include "catalogue/Decoding.h"
#include "catalogue/Platform.h"
#include "catalogue/TemplateCatalogue.h"
#include "catalogue/TextRules.h"

namespace quillmark {
namespace {

TEST(WindowsConversion, TestsRunInTheRussianAnsiCodePage) {
    // The ANSI path is only exercised for Cyrillic when the code page is 1251.
    EXPECT_EQ(::GetACP(), 1251u);
    EXPECT_EQ(platform::DefaultAnsiCodePage(), 1251u);
}

TEST(WindowsConversion, LegacyTablesMatchMultiByteToWideChar) {
    for (const unsigned codePage : {1251u, 1252u, 866u}) {
        for (int b = 0; b < 256; ++b) {
            const char byte = static_cast<char>(b);
            wchar_t expected = 0;
            ASSERT_EQ(::MultiByteToWideChar(codePage, 0, &byte, 1, &expected, 1), 1);
            EXPECT_EQ(DecodeLegacy(std::string_view(&byte, 1), codePage).View(), std::wstring(1, expected))
                << "code page " << codePage << " byte " << b;
        }
    }
}

TEST(WindowsConversion, PortableUpperMatchesCharUpperBuffW) {
    for (unsigned c = 1; c < 0x530; ++c) {
        wchar_t upper = static_cast<wchar_t>(c);
        ::CharUpperBuffW(&upper, 1);
        const wchar_t portable = PortableUpper(static_cast<wchar_t>(c));
        // Latin, Latin-1, Latin Extended-A, Greek and Cyrillic exactly;
        // elsewhere the portable mapping may leave a letter, never map it otherwise.
        const bool covered = c < 0x180 || (c >= 0x386 && c <= 0x3CE) || c >= 0x400;
        if (covered || portable != static_cast<wchar_t>(c)) {
            EXPECT_EQ(portable, upper) << std::hex << c;
        }
    }
}

TEST(WindowsConversion, StrictUtf8MatchesMultiByteToWideChar) {
    const char* const samples[] = {
        "plain",
        "\xD0\x9F\xD1\x80\xD0\xBE",
        "\xF0\x9F\x98\x80",
        "\xEF\xBF\xBF",
        "\xF4\x8F\xBF\xBF",
        "\xC0\x80",
        "\xE0\x80\xAF",
        "\xED\xA0\x80",
        "\xF4\x90\x80\x80",
        "\x80",
        "ab\xD0",
        "\xE2\x28\xA1",
        "\xF8\x88\x80\x80\x80",
    };
    for (const char* sample : samples) {
        EXPECT_EQ(platform::IsValidUtf8(sample), DecodeUtf8Strict(sample).has_value()) << sample;
        EXPECT_EQ(platform::DecodeUtf8(sample).has_value(), DecodeUtf8Strict(sample).has_value()) << sample;
        if (DecodeUtf8Strict(sample)) {
            EXPECT_EQ(platform::DecodeUtf8(sample)->View(), DecodeUtf8Strict(sample)->View());
        }
    }
}

// In Shift-JIS a trail byte can be "]": such a code page is decoded whole
// before its lines are read, never read in its bytes.
TEST(WindowsConversion, AMultiByteCodePageIsReadAfterDecoding) {
    const std::string bytes = "[A\x83]\r\nK=1\r\n[S]\r\nL=\x83=\r\n";
    for (const auto reading : {TTemplateCatalogue::Reading::Fast, TTemplateCatalogue::Reading::DecodeAll}) {
        auto catalogue = TTemplateCatalogue::FromBytes(bytes, 932, reading);
        ASSERT_EQ(catalogue.SectionCount(), 1u);
        EXPECT_EQ(catalogue.SectionName(0), L"S");
        EXPECT_EQ(catalogue.KeyLineText(0, 0), L"L=" + WString(platform::DecodeAnsi("\x83=", 932).View()));
    }
}

}  // namespace
}  // namespace quillmark
