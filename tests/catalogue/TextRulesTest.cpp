#include "catalogue/TextRules.h"

#include <gtest/gtest.h>

#include <vector>

namespace quillmark {
namespace {

std::vector<WString> Lines(WStringView text) {
    std::vector<WString> lines;
    LineReader reader(text);
    WStringView line;
    while (reader.Next(line)) lines.emplace_back(line);
    return lines;
}

TEST(Trim, RemovesOnlyControlCharactersAndSpace) {
    EXPECT_EQ(Trim(QM_W(" \t\x01\x1F CODE \r\x20")), QM_W("CODE"));
    EXPECT_EQ(Trim(QM_W("\u00A0CODE\uFEFF")), QM_W("\u00A0CODE\uFEFF"));
    EXPECT_EQ(Trim(QM_W("a b")), QM_W("a b"));
    EXPECT_EQ(Trim(QM_W(" \t ")), QM_W(""));
    EXPECT_EQ(Trim(QM_W("")), QM_W(""));
    EXPECT_EQ(Trim(QM_W("\x21!")), QM_W("!!"));
}

TEST(LineReader, SplitsAtCrLfAndCrLfPairs) {
    const std::vector<WString> expected = {QM_W("a"), QM_W("b"), QM_W("c"), QM_W("d")};
    EXPECT_EQ(Lines(QM_W("a\rb\nc\r\nd")), expected);
    EXPECT_EQ(Lines(QM_W("a\r\nb\r\nc\r\nd\r\n")), expected);
    // LF CR and CR CR are two ends each, with an empty line between.
    EXPECT_EQ(Lines(QM_W("a\n\rb")), (std::vector<WString>{QM_W("a"), QM_W(""), QM_W("b")}));
    EXPECT_EQ(Lines(QM_W("a\r\rb")), (std::vector<WString>{QM_W("a"), QM_W(""), QM_W("b")}));
}

TEST(LineReader, EndAtTheEndStartsNoLine) {
    EXPECT_TRUE(Lines(QM_W("")).empty());
    EXPECT_EQ(Lines(QM_W("a")), std::vector<WString>{QM_W("a")});
    EXPECT_EQ(Lines(QM_W("a\n")), std::vector<WString>{QM_W("a")});
    EXPECT_EQ(Lines(QM_W("\n")), std::vector<WString>{QM_W("")});
    EXPECT_EQ(Lines(QM_W("a\n\n")), (std::vector<WString>{QM_W("a"), QM_W("")}));
}

TEST(LineReader, NumbersLines) {
    LineReader reader(QM_W("a\r\n\nb"));
    WStringView line;
    ASSERT_TRUE(reader.Next(line));
    ASSERT_TRUE(reader.Next(line));
    ASSERT_TRUE(reader.Next(line));
    EXPECT_EQ(line, QM_W("b"));
    EXPECT_EQ(reader.Number(), 3u);
    EXPECT_FALSE(reader.Next(line));
}

TEST(UpToFirstNul, CutsAtTheFirstZero) {
    const WChar text[] = {'a', 'b', 0, 'c', 0};
    EXPECT_EQ(UpToFirstNul(WStringView(text, 5)), QM_W("ab"));
    EXPECT_EQ(UpToFirstNul(QM_W("abc")), QM_W("abc"));
}

TEST(ClassifyLine, HeadersNeedTheBracketLast) {
    auto header = ClassifyLine(QM_W("  [  простой РАСЧЕТ  ]  "));
    EXPECT_EQ(header.kind, LineKind::Header);
    EXPECT_EQ(header.name, QM_W("простой РАСЧЕТ"));

    EXPECT_EQ(ClassifyLine(QM_W("[]")).kind, LineKind::Header);
    EXPECT_EQ(ClassifyLine(QM_W("[]")).name, QM_W(""));
    EXPECT_EQ(ClassifyLine(QM_W("[a=b]")).name, QM_W("a=b"));

    const auto trailing = ClassifyLine(QM_W("[Простой расчет] ; note"));
    EXPECT_EQ(trailing.kind, LineKind::Key);
    EXPECT_FALSE(trailing.hasEquals);
    EXPECT_EQ(ClassifyLine(QM_W("[")).kind, LineKind::Key);
    EXPECT_EQ(ClassifyLine(QM_W("]")).kind, LineKind::Key);
}

TEST(ClassifyLine, OnlySemicolonStartsAComment) {
    EXPECT_EQ(ClassifyLine(QM_W("  ; note")).kind, LineKind::Comment);
    EXPECT_EQ(ClassifyLine(QM_W("# note")).kind, LineKind::Key);
    EXPECT_EQ(ClassifyLine(QM_W(" \t ")).kind, LineKind::Blank);
}

TEST(ClassifyLine, KeyLinesSplitAtTheFirstEquals) {
    const auto key = ClassifyLine(QM_W("  CODE1 =  x = y "));
    EXPECT_EQ(key.kind, LineKind::Key);
    EXPECT_TRUE(key.hasEquals);
    EXPECT_EQ(key.name, QM_W("CODE1"));
    EXPECT_EQ(key.value, QM_W("x = y"));

    const auto nameless = ClassifyLine(QM_W("=без имени"));
    EXPECT_TRUE(nameless.hasEquals);
    EXPECT_EQ(nameless.name, QM_W(""));

    const auto bare = ClassifyLine(QM_W(" CODE3 "));
    EXPECT_FALSE(bare.hasEquals);
    EXPECT_EQ(bare.text, QM_W("CODE3"));
}

TEST(PortableUpper, MapsLatinLatin1AndCyrillicOneForOne) {
    const WString lower = QM_W("abcxyzàéöþÿāőžабвгдеёжзийклмнопрстуфхцчшщъыьэюяђћџґάσςω");
    const WString upper = QM_W("ABCXYZÀÉÖÞŸĀŐŽАБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯЂЋЏҐΆΣςΩ");
    ASSERT_EQ(lower.size(), upper.size());
    for (size_t i = 0; i < lower.size(); ++i) {
        EXPECT_EQ(PortableUpper(lower[i]), upper[i]) << "at " << i;
        EXPECT_EQ(PortableUpper(upper[i]), upper[i]) << "upper at " << i;
    }
    EXPECT_EQ(PortableUpper(QM_W('÷')), QM_W('÷'));
    EXPECT_EQ(PortableUpper(QM_W('1')), QM_W('1'));
}

}  // namespace
}  // namespace quillmark
