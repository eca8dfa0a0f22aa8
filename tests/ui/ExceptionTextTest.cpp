#include "ui/ExceptionText.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "common/Exception.h"

namespace quillmark {
namespace {

void AsciiLower(WString& text) {
    for (WChar& c : text) c = (c >= 'A' && c <= 'Z') ? static_cast<WChar>(c + 32) : c;
}

TEST(WithFullStop, AppendsAfterLettersAndDigitsOnly) {
    EXPECT_EQ(WithFullStop(QM_W("Access denied")), QM_W("Access denied."));
    EXPECT_EQ(WithFullStop(QM_W("Отказано в доступе")), QM_W("Отказано в доступе."));
    EXPECT_EQ(WithFullStop(QM_W("code 5")), QM_W("code 5."));
    EXPECT_EQ(WithFullStop(QM_W("Done.")), QM_W("Done."));
    EXPECT_EQ(WithFullStop(QM_W("Stop!")), QM_W("Stop!"));
    EXPECT_EQ(WithFullStop(QM_W("(x)")), QM_W("(x)"));
    EXPECT_EQ(WithFullStop(QM_W("trailing ")), QM_W("trailing "));
    EXPECT_EQ(WithFullStop(QM_W("path/")), QM_W("path/."));  // "/" comes after "."
    EXPECT_EQ(WithFullStop(QM_W("")), QM_W(""));
}

std::exception_ptr Nested(const WString& outer, const WString& inner) {
    try {
        try {
            throw Exception(inner);
        } catch (...) {
            std::throw_with_nested(Exception(outer));
        }
    } catch (...) {
        return std::current_exception();
    }
}

TEST(MessageOf, ShowsTheInnermostMessageUnlessItIsEmpty) {
    EXPECT_EQ(MessageOf(std::make_exception_ptr(Exception(QM_W("plain")))), QM_W("plain"));
    EXPECT_EQ(MessageOf(Nested(QM_W("outer"), QM_W("inner"))), QM_W("inner"));
    EXPECT_EQ(MessageOf(Nested(QM_W("outer"), QM_W(""))), QM_W("outer"));
    EXPECT_EQ(MessageOf(std::make_exception_ptr(std::runtime_error("narrow"))), QM_W("narrow"));
    EXPECT_EQ(MessageOf(std::make_exception_ptr(42)), QM_W("Unknown exception"));
}

TEST(ApplicationTitle, IsTheFileNameCutAtItsFirstDot) {
    EXPECT_EQ(ApplicationTitleFrom(QM_W("C:\\Tools\\MyTool.exe"), QM_W("\\:"), AsciiLower), QM_W("Mytool"));
    EXPECT_EQ(ApplicationTitleFrom(QM_W("C:\\a.b\\Quillmark.exe"), QM_W("\\:"), AsciiLower), QM_W("Quillmark"));
    EXPECT_EQ(ApplicationTitleFrom(QM_W("C:\\QUILL.MARK.EXE"), QM_W("\\:"), AsciiLower), QM_W("Quill"));
    EXPECT_EQ(ApplicationTitleFrom(QM_W("D:quill"), QM_W("\\:"), AsciiLower), QM_W("quill"));
    EXPECT_EQ(ApplicationTitleFrom(QM_W("C:\\.hidden"), QM_W("\\:"), AsciiLower), QM_W(""));
}

}  // namespace
}  // namespace quillmark
