// The LibreOffice bridge against a real headless office, reached through a
// pipe of the test's own; the documents are read back over UNO.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "MyWord.h"
#include "linux/Office.h"

namespace quillmark::test {
namespace {

const std::string kPipe = "quillmark-test-" + std::to_string(::getpid());

std::string Profile() { return std::filesystem::absolute("office-profile").string(); }

class RealOffice : public testing::Test {
protected:
    static void SetUpTestSuite() {
        UseOfficePipe(kPipe);
        office_ = new Office(kPipe, Profile());
        ASSERT_TRUE(office_->Listening());
    }
    static void TearDownTestSuite() {
        ReleaseWord();
        delete office_;
        office_ = nullptr;
    }
    void TearDown() override { ReleaseWord(); }
    static Office* office_;
};
Office* RealOffice::office_ = nullptr;

// What OK does to a document: the selection replaced by the codes, in order,
// the caret after them, nothing eaten; twice, the codes twice.
struct DocumentCase {
    const char* name;
    const char16_t* text;
    int start, end;
    std::vector<WString> codes;
    int presses;
    const char* after;
};

TEST_F(RealOffice, TheDocumentAfterwards) {
    const DocumentCase cases[] = {
        {"selection", u"Hello World", 6, 11, {u"A", u"", u"Б"}, 1, "Document Hello AБ|"},
        {"caret", u"Hello World", 5, 5, {u"A"}, 1, "Document HelloA| World"},
        {"twice", u"Hello World", 6, 11, {u"A", u"Б"}, 2, "Document Hello AБAБ|"},
        {"empty document", u"", 0, 0, {u"#Сумма долга#"}, 1, "Document #Сумма долга#|"},
    };
    for (const DocumentCase& c : cases) {
        office_->NewDocument(c.text, c.start, c.end);
        for (int press = 0; press < c.presses; ++press) {
            ASSERT_TRUE(AttachWord()) << c.name;  // each press attaches afresh
            EXPECT_TRUE(SetWordVisible(true)) << c.name;
            for (const WString& code : c.codes) EXPECT_TRUE(InsertCode(code)) << c.name;
        }
        EXPECT_EQ(office_->Document(), c.after) << c.name;
    }
    office_->NewDocument(u"", 0, 0);
    office_->Put("TextTable");  // where the view cursor's own writes do nothing
    ASSERT_TRUE(AttachWord() && InsertCode(u"A"));
    EXPECT_EQ(office_->Document(), "Document A|");
}

// Where Writer refuses typing, OK fails and the text stays as it was: the selection in a protected section, around
// one, a read-only document; the caret in a section in a protected cell, in a protected frame, in a footnote in
// protected text; a protected section in a cell in a frame, a protected cell or frame inside it; a protected form.
TEST_F(RealOffice, ProtectedTextStaysAsItWas) {
    const struct {
        int start, end;
        bool readOnly, all;                                     // all: the whole body selected after the puts
        std::vector<std::pair<const char*, const char*>> puts;  // each inside the last; none: 6 to 11 protected
    } cases[] = {{6, 11, false},
                 {0, 12, false},
                 {6, 11, true},
                 {1, 1, false, false, {{"TextTable", "IsProtected"}, {"TextSection", nullptr}}},
                 {1, 1, false, false, {{"TextFrame", "ContentProtected"}}},
                 {1, 1, false, false, {{"TextSection", "IsProtected"}, {"Footnote", nullptr}}},
                 {1, 1, false, true, {{"TextFrame", nullptr}, {"TextTable", nullptr}, {"TextSection", "IsProtected"}}},
                 {1, 1, false, true, {{"TextTable", "IsProtected"}}},
                 {1, 1, false, true, {{"TextFrame", "ContentProtected"}}},
                 {1, 1, false, false, {{"DocumentSettings", "ProtectForm"}}}};
    for (const auto& c : cases) {
        office_->NewDocument(u"Hello World!", c.start, c.end);
        if (c.puts.empty()) c.readOnly ? office_->ReopenReadOnly(Profile() + ".odt") : office_->ProtectText(6, 11);
        for (const auto& [service, property] : c.puts) office_->Put(service, property);
        if (c.all) office_->SelectAll();
        const std::string before = office_->Document();
        ASSERT_TRUE(AttachWord());
        EXPECT_FALSE(InsertCode(u"A")) << "case " << &c - cases << ": " << before;
        EXPECT_EQ(office_->Document(), before);
    }
}

TEST_F(RealOffice, NothingIsSentBeforeAnAttach) {
    office_->NewDocument(u"Hello World", 6, 11);
    EXPECT_FALSE(SetWordVisible(true));
    EXPECT_FALSE(InsertCode(u"A"));
    EXPECT_EQ(office_->Document(), "Document Hello [World]");
}

TEST_F(RealOffice, ASocketOfAnotherOwnerIsRefused) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to hand the socket to another user";
    office_->NewDocument(u"Hello World", 6, 11);
    const std::string socket = OfficePipePath(kPipe);
    ASSERT_EQ(::chown(socket.c_str(), 65534, 65534), 0);
    const bool attached = AttachWord();
    ASSERT_EQ(::chown(socket.c_str(), 0, 0), 0);
    EXPECT_FALSE(attached);
    EXPECT_TRUE(AttachWord());  // the same office, once the socket is ours again
}

TEST(NoOffice, FailsFastAndStartsNothing) {
    UseOfficePipe("quillmark-test-nobody-" + std::to_string(::getpid()));
    const int before = OfficeProcessCount();
    EXPECT_FALSE(AttachWord());
    EXPECT_FALSE(SetWordVisible(true));
    EXPECT_FALSE(InsertCode(u"A"));
    EXPECT_EQ(OfficeProcessCount(), before);
}

TEST(OfficeRestarted, IsFoundByTheNextAttach) {
    const std::string pipe = kPipe + "-restart";
    UseOfficePipe(pipe);
    {
        Office office(pipe, Profile() + "-restart");
        ASSERT_TRUE(office.Listening());
        ASSERT_FALSE(AttachWord());  // an office with no document: nothing to type into
        office.NewDocument(u"", 0, 0);
        ASSERT_TRUE(AttachWord());
        EXPECT_TRUE(InsertCode(u"A"));
        EXPECT_EQ(office.Document(), "Document A|");
    }
    // The killed office leaves its socket behind; the old connection leads nowhere.
    EXPECT_FALSE(InsertCode(u"B"));
    EXPECT_FALSE(AttachWord());

    Office office(pipe, Profile() + "-restart");
    ASSERT_TRUE(office.Listening());
    office.NewDocument(u"", 0, 0);
    ASSERT_TRUE(AttachWord());
    EXPECT_TRUE(InsertCode(u"B"));
    EXPECT_EQ(office.Document(), "Document B|");
    ReleaseWord();
}

}  // namespace
}  // namespace quillmark::test
