// The Linux edition in this process, against bare Qt and a bare UNO client in
// the same run: click to 10,000 codes listed, and OK with 10 ticked codes
// into a real headless office. Medians of 7, printed with their ratios.
#include <unistd.h>

#include <QApplication>
#include <QStringListModel>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string_view>
#include <vector>

#include "Main.h"
#include "app/Application.h"
#include "MyWord.h"
#include "catalogue/TemplateCatalogue.h"
#include "linux/Office.h"

namespace {

double MedianMilliseconds(const std::function<void()>& run, int times = 7) {
    std::vector<double> ms;
    for (int i = 0; i < times; ++i) {
        const auto start = std::chrono::steady_clock::now();
        run();
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

void Report(const char* what, double ours, const char* baseline, double theirs) {
    std::printf("%-34s %9.2f ms   %-36s %9.2f ms   ratio %.2f\n", what, ours, baseline, theirs, ours / theirs);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    quillmark::TApplication application(argc, argv);
    const std::string catalogue = quillmark::ToUtf8(quillmark::CataloguePath());
    {
        std::ofstream out(catalogue, std::ios::binary);
        out << "\xEF\xBB\xBF[Простой расчет]\r\n";
        for (int i = 0; i < 10000; ++i) out << "#Код" << i << "#=описание\r\n";
    }

    quillmark::TForm21 form;
    form.ShowCentred();
    QApplication::processEvents();
    form.TreeView2->setCurrentItem(form.TreeView2->topLevelItem(0));
    const double click = MedianMilliseconds([&] {
        form.TreeView2Click();
        form.CheckListBox1->viewport()->repaint();
    });
    QListView bare;
    QStringListModel model;
    bare.setModel(&model);
    bare.setUniformItemSizes(true);
    bare.resize(form.CheckListBox1->size());
    bare.show();
    QApplication::processEvents();
    const double fill = MedianMilliseconds([&] {
        QStringList codes;
        codes.reserve(10000);
        for (int i = 0; i < 10000; ++i) codes << QString("#Код%1#").arg(i);
        model.setStringList(codes);
        bare.viewport()->repaint();
    });
    Report("click to 10,000 codes listed", click, "bare QListView fill", fill);
    if (argc > 1 && std::string_view(argv[1]) == "--click") return 0;

    const std::string pipe = "quillmark-bench-" + std::to_string(::getpid());
    quillmark::test::Office office(pipe, "/tmp/" + pipe + "-profile");
    if (!office.Listening()) return 1;
    quillmark::UseOfficePipe(pipe);
    office.NewDocument(u"", 0, 0);
    for (int i = 0; i < 10; ++i) form.CheckListBox1->Toggle(i * 7);
    const double ok = MedianMilliseconds([&] { form.Button2Click(); });
    // The floor: ten insertions over a connection already open.
    quillmark::AttachWord();
    const double inserts = MedianMilliseconds([&] {
        for (int i = 0; i < 10; ++i) quillmark::InsertCode(u"#Код#");
    });
    Report("OK with 10 ticked codes", ok, "10 InsertCode on an open connection", inserts);
    quillmark::ReleaseWord();
    std::remove(catalogue.c_str());
    return 0;
}
