// quillmark-check called as authors call it: the real executable, with a
// catalogue beside it, run through the system's shell. cmd /c leaves patterns
// to the program; sh expands them itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "check/Shell.h"
#include "support/TestFiles.h"

namespace quillmark {
namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
constexpr const char* kChecker = "bin\\quillmark-check.exe";
#else
constexpr const char* kChecker = "bin/quillmark-check";
#endif

TEST(CommandLine, TemplatesAsAuthorsHandThemOver) {
    const fs::path data = fs::u8path(QM_TEMPLATE_DATA);
    const test::TempDir tree;
#ifdef _WIN32
    const test::OnUnixSide unixSide{tree.Path()};
#endif
    const auto put = [&](const fs::path& from, const std::string& to) {
        fs::create_directories((tree.Path() / fs::u8path(to)).parent_path());
        fs::copy_file(from, tree.Path() / fs::u8path(to));
    };
    put(QM_CHECKER_EXE, "bin/" + fs::path(QM_CHECKER_EXE).filename().string());
    for (const auto& [from, to] : {std::pair{"params.ini", "params.ini"},
                                   {"params.ini", "bin/params.ini"},
                                   {"templates.docx", "a.docx"},
                                   {"templates.docx", "Иск.docx"},
                                   {"templates.odt", "b.odt"},
                                   {"templates.docx", "notes.zip"},
                                   {"templates.odt", "docs/b.odt"},
                                   {"templates.docx", "docs/sub-a.docx"},
                                   {"templates.docx", "docs/sub/c.docx"},
                                   {"templates.odt", "docs/sub/deeper/d.ott"},
                                   {"params.ini", "docs/empty/params.ini"}}) {
        put(data / from, to);
    }
    for (const char* lock : {"~$Иск.docx", "docs/~$b.docx", "docs/sub/.~lock.c.docx#"}) tree.Write(lock, "owner");
    std::string deep = "long";  // past MAX_PATH, which the runtime's folder listing cannot open
    for (int i = 0; i < 10; ++i) deep += "/Папка искового производства";
    put(data / "templates.docx", "long/a.docx");
    put(data / "templates.docx", deep + "/d.docx");
    fs::create_hard_link(tree.Path() / "docs/sub/c.docx", tree.Path() / "docs/sub/hard.docx");
#ifdef _WIN32
    unixSide.Run(L"/bin/ln -s .. \"%p/docs/sub/up\"", [&] { return fs::exists(tree.Path() / "docs/sub/up"); });
    unixSide.Run(L"/bin/ln -s c.docx \"%p/docs/sub/link.docx\"",
                 [&] { return fs::exists(tree.Path() / "docs/sub/link.docx"); });
#else
    fs::create_directory_symlink("..", tree.Path() / "docs/sub/up");
    fs::create_symlink("c.docx", tree.Path() / "docs/sub/link.docx");
    put(data / "templates.docx", "odd/\x1B]0;t\x07.docx");
    put(data / "templates.docx", "odd/\xC8\xF1\xEA.docx");  // CP1251
#endif

    struct Row {
        const char* arguments;
        int code;
        size_t templates;
        std::vector<std::string> inOrder;
        bool windowsOnly = false;
        bool linuxOnly = false;
    };
    const Row rows[] = {
        {"params.ini *.docx", 3, 2, {"Catalogue: ", "/a.docx", "/Иск.docx", "warning(s)."}},
        {"docs", 3, 4, {"bin/params.ini", "docs/b.odt", "docs/sub/c.docx", "docs/sub/deeper/d.ott", "docs/sub-a.docx"}},
        {"", 3, 0, {"File: ", "bin/params.ini", "4 warning(s)."}},
        {"params.ini a.docx nothing*.docx docs/empty b.odt",
         1,
         2,
         {"/a.docx", "nothing*.docx: error: ", "docs/empty: error: no template in this folder", "/b.odt"}},
        {"params.ini notes.zip", 1, 0, {"notes.zip: error: not a template: the templates read are .docx"}},
        {"notes.zip", 1, 0, {"bin/params.ini", "notes.zip: error: not a template"}},
        {"--json params.ini notes.zip", 1, 0, {"{\"template\":\"notes.zip\",\"error\":\"not a template"}},
        {"--json params.ini \"Нет такого\"", 3, 0, {"[]\n", "warning: \"Нет такого\" is none of the six kinds"}},
        {"params.ini \"*.odt\" docs/sub", 3, 3, {"/b.odt", "docs/sub/c.docx", "docs/sub/deeper/d.ott"}, true},
        {"params.ini \"docs/*.*\"", 3, 4, {"docs/b.odt", "docs/sub/c.docx", "deeper/d.ott", "sub-a.docx"}, true},
        // Backslashes read as separators: \xC8 comes out as /xC8.
        {"params.ini odd", 3, 2, {"odd//u001B]0;t/u0007.docx", "odd//xC8/xF1/xEA.docx"}, false, true},
        {"params.ini 'odd/\xC8\xF1\xEA.docx'", 3, 1, {"odd//xC8/xF1/xEA.docx"}, false, true},
        {"params.ini long", 1, 1, {"long/a.docx", "производства/Папка", "cannot be read"}, true},
        {"params.ini \"~$Иск.docx\"", 1, 0, {"~$Иск.docx: error: the file Word or LibreOffice keeps"}},
    };
    for (const Row& row : rows) {
#ifdef _WIN32
        if (row.linuxOnly) continue;
#else
        if (row.windowsOnly) continue;
#endif
        const test::Outcome run = test::InShell(tree.Path(), std::string(kChecker) + " " + row.arguments);
        SCOPED_TRACE(std::string(row.arguments) + "\n" + run.out);
        EXPECT_EQ(run.code, row.code);
        size_t at = 0, templates = 0;
        for (const std::string& part : row.inOrder) {
            at = run.out.find(part, at);
            ASSERT_NE(at, std::string::npos) << part;
        }
        for (at = 0; (at = run.out.find("Template: ", at)) != std::string::npos; ++at) ++templates;
        EXPECT_EQ(templates, row.templates);
        for (const char* never : {"/~$", "/.~lock", "Press any key", "\x1B"}) {
            EXPECT_EQ(run.out.find(never), std::string::npos);
        }
    }
}

}  // namespace
}  // namespace quillmark
