#include "catalogue/Decoding.h"

#include <gtest/gtest.h>

#include "catalogue/CodePages.h"
#include "support/TestFiles.h"

namespace quillmark {
namespace {

using test::Utf16Bytes;

WString Str(const Buffer<WChar>& text) { return WString(text.View()); }

TEST(ByteOrderMark, FirstMatchingRowDecides) {
    EXPECT_EQ(DetectByteOrderMark("\xFF\xFEx").encoding, TextEncoding::Utf16Le);
    EXPECT_EQ(DetectByteOrderMark("\xFE\xFF").encoding, TextEncoding::Utf16Be);
    EXPECT_EQ(DetectByteOrderMark("\xEF\xBB\xBF").encoding, TextEncoding::Utf8);
    EXPECT_EQ(DetectByteOrderMark("\xEF\xBB\xBF").length, 3u);
    // A mark counts only when the file holds all of it.
    EXPECT_EQ(DetectByteOrderMark("\xEF\xBB").encoding, TextEncoding::Ansi);
    EXPECT_EQ(DetectByteOrderMark("\xFF").encoding, TextEncoding::Ansi);
    EXPECT_EQ(DetectByteOrderMark("").length, 0u);
}

TEST(DecodeUtf16, BothByteOrdersAndAnOddLastByte) {
    const WString text = QM_W("[Раздел]\r\nA=б");
    EXPECT_EQ(Str(DecodeCatalogueText(Utf16Bytes(text, false))), text);
    EXPECT_EQ(Str(DecodeCatalogueText(Utf16Bytes(text, true))), text);
    EXPECT_EQ(Str(DecodeCatalogueText(Utf16Bytes(text, false) + "\x41")), text);
    // Surrogates are not validated.
    const WChar lone[] = {0xD800, 'x'};
    EXPECT_EQ(Str(DecodeCatalogueText(Utf16Bytes(WStringView(lone, 2), true))), WString(lone, 2));
}

TEST(DecodeUtf8Strict, AcceptsWellFormedText) {
    EXPECT_EQ(Str(*DecodeUtf8Strict("")), QM_W(""));
    EXPECT_EQ(Str(*DecodeUtf8Strict("\xD0\x9F\xD1\x80")), QM_W("Пр"));
    EXPECT_EQ(Str(*DecodeUtf8Strict("\xF0\x9F\x98\x80")), QM_W("\U0001F600"));
    EXPECT_EQ(Str(*DecodeUtf8Strict("\xEF\xBF\xBF\xF4\x8F\xBF\xBF")), QM_W("\uFFFF\U0010FFFF"));
    // Non-ASCII at every place around the eight-byte fast path.
    for (size_t at = 0; at < 20; ++at) {
        std::string bytes(20, 'a');
        bytes.replace(at, 1, "\xD1\x91");
        WString expected(20, QM_W('a'));
        expected[at] = QM_W('ё');
        EXPECT_EQ(Str(*DecodeUtf8Strict(bytes)), expected) << at;
    }
}

TEST(DecodeUtf8Strict, RejectsEveryMalformedSequence) {
    const char* const malformed[] = {
        "\xC0\x80",          // overlong NUL
        "\xC1\xBF",          // overlong
        "\xE0\x80\xAF",      // overlong three bytes
        "\xF0\x80\x80\xAF",  // overlong four bytes
        "\xED\xA0\x80",      // a surrogate
        "\xF4\x90\x80\x80",  // above U+10FFFF
        "\xF5\x80\x80\x80",
        "\xFF",
        "\x80",     // stray continuation
        "abc\xD0",  // cut short at the end
        "\xE2\x82",
        "\xE2\x28\xA1",
    };
    for (const char* bytes : malformed) {
        EXPECT_FALSE(DecodeUtf8Strict(bytes).has_value()) << testing::PrintToString(bytes);
        EXPECT_TRUE(FindMalformedUtf8(bytes).has_value());
    }
    EXPECT_EQ(FindMalformedUtf8("0123456789\xC0\x80").value(), 10u);
    EXPECT_FALSE(FindMalformedUtf8("ok \xD0\x9F").has_value());

    // At every offset across the sixteen-byte blocks: found exactly where it
    // starts, and a letter straddling two blocks is whole.
    for (size_t at = 0; at < 48; ++at) {
        std::string before;
        while (before.size() + 2 <= at) before += "\xD0\x9F";
        before.resize(at, 'a');
        const std::string after(40, 'a');
        EXPECT_FALSE(FindMalformedUtf8(before + "\xD1\x80" + after).has_value()) << at;
        for (const std::string& bad : {std::string("\xC0\x80"), std::string("\x80"), "\xD0" + after,
                                       std::string("\xE2\x82"), std::string("\xD0\xD0\x9F")}) {
            EXPECT_EQ(FindMalformedUtf8(before + bad + after), at) << at << testing::PrintToString(bad);
        }
    }
}

TEST(DecodeCatalogueText, MalformedUtf8AfterTheMarkGivesNoText) {
    EXPECT_EQ(Str(DecodeCatalogueText("\xEF\xBB\xBF[A]\r\nB=\xC0\x80")), QM_W(""));
    EXPECT_EQ(Str(DecodeCatalogueText("\xEF\xBB\xBF[A]")), QM_W("[A]"));
}

TEST(DecodeCatalogueText, UnmarkedBytesUseTheLegacyCodePage) {
    EXPECT_EQ(Str(DecodeLegacy("\xCF\xF0\xEE\xF1\xF2\xEE\xE9 \xF0\xE0\xF1\xF7\xE5\xF2", 1251)), QM_W("Простой расчет"));
    EXPECT_EQ(Str(DecodeLegacy("\x8F\xE0\xAE", 866)), QM_W("Про"));
    EXPECT_EQ(Str(DecodeLegacy("\xE9\x80\x81", 1252)), QM_W("é€\u0081"));
    EXPECT_EQ(Str(DecodeLegacy("\xD0\x9F\xFF", kUtf8CodePage)), QM_W("П\uFFFD"));
    EXPECT_TRUE(IsSupportedLegacyCodePage(866));
    EXPECT_FALSE(IsSupportedLegacyCodePage(1250));
}

}  // namespace
}  // namespace quillmark
