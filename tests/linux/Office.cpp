#include "linux/Office.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/bridge/UnoUrlResolver.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/text/XTextDocument.hpp>
#include <com/sun/star/text/XTextTable.hpp>
#include <com/sun/star/text/XTextViewCursor.hpp>
#include <com/sun/star/text/XTextViewCursorSupplier.hpp>
#include <cppuhelper/bootstrap.hxx>
#include <rtl/bootstrap.hxx>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

namespace quillmark::test {

namespace css = com::sun::star;
using css::uno::Reference;
using css::uno::UNO_QUERY_THROW;
using css::uno::UNO_SET_THROW;
using rtl::OUString;

namespace {

std::string Utf8(const OUString& text) { return rtl::OUStringToOString(text, RTL_TEXTENCODING_UTF8).getStr(); }

Reference<css::uno::XComponentContext> TestContext() {
    static const Reference<css::uno::XComponentContext> local = [] {
        rtl::Bootstrap::set("URE_MORE_TYPES", "file://" QM_OFFICE_PROGRAM "/types/offapi.rdb");
        return cppu::defaultBootstrap_InitialComponentContext("file://" QM_OFFICE_PROGRAM "/unorc");
    }();
    return local;
}

}  // namespace

struct Office::Connection {
    Reference<css::frame::XDesktop2> desktop;
    Reference<css::lang::XComponent> document;

    Reference<css::text::XTextViewCursor> Cursor() const {
        const Reference<css::frame::XModel> model(document, UNO_QUERY_THROW);
        const Reference<css::text::XTextViewCursorSupplier> supplier(model->getCurrentController(), UNO_QUERY_THROW);
        return Reference<css::text::XTextViewCursor>(supplier->getViewCursor(), UNO_SET_THROW);
    }
};

Office::Office(std::string pipe, std::string profile, bool listen) : pipe_(std::move(pipe)) {
    std::vector<std::string> args = {
        "soffice",  "--headless",  "--invisible",   "--norestore",
        "--nologo", "--nodefault", "--nolockcheck", "-env:UserInstallation=file://" + profile};
    if (listen) args.push_back("--accept=pipe,name=" + pipe_ + ";urp;StarOffice.ComponentContext");
    const pid_t child = ::fork();
    if (child == 0) {
        ::setsid();  // its own group: soffice and soffice.bin are stopped together
        std::vector<char*> argv;
        for (std::string& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        ::execv(QM_OFFICE_PROGRAM "/soffice", argv.data());
        ::_exit(127);
    }
    group_ = child;
}

Office::~Office() { Stop(); }

bool Office::Listening(int milliseconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < end) {
        try {
            const auto resolver = css::bridge::UnoUrlResolver::create(TestContext());
            const Reference<css::uno::XComponentContext> office(
                resolver->resolve("uno:pipe,name=" + OUString::createFromAscii(pipe_.c_str()) +
                                  ";urp;StarOffice.ComponentContext"),
                UNO_QUERY_THROW);
            connection_ = std::make_unique<Connection>();
            connection_->desktop = css::frame::Desktop::create(office);
            return true;
        } catch (const css::uno::Exception&) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    return false;
}

void Office::Stop() {
    connection_.reset();
    if (group_ <= 0) return;
    ::kill(-group_, SIGTERM);
    for (int i = 0; i < 100 && ::waitpid(group_, nullptr, WNOHANG) == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ::kill(-group_, SIGKILL);
    ::waitpid(group_, nullptr, WNOHANG);
    group_ = 0;
}

void Office::NewDocument(const std::u16string& text, int start, int end) {
    const Reference<css::frame::XComponentLoader> loader(connection_->desktop, UNO_QUERY_THROW);
    connection_->document = loader->loadComponentFromURL("private:factory/swriter", "_blank", 0, {});
    const Reference<css::text::XTextDocument> document(connection_->document, UNO_QUERY_THROW);
    document->getText()->setString(
        OUString(reinterpret_cast<const sal_Unicode*>(text.data()), static_cast<sal_Int32>(text.size())));
    const auto cursor = connection_->Cursor();
    cursor->gotoStart(false);
    cursor->goRight(static_cast<sal_Int16>(start), false);
    cursor->goRight(static_cast<sal_Int16>(end - start), true);
}

void Office::ProtectText(int from, int to) {
    const Reference<css::text::XText> text =
        Reference<css::text::XTextDocument>(connection_->document, UNO_QUERY_THROW)->getText();
    const Reference<css::text::XTextCursor> range = text->createTextCursor();
    range->goRight(static_cast<sal_Int16>(from), false);
    range->goRight(static_cast<sal_Int16>(to - from), true);
    const Reference<css::lang::XMultiServiceFactory> factory(connection_->document, UNO_QUERY_THROW);
    const Reference<css::beans::XPropertySet> section(factory->createInstance("com.sun.star.text.TextSection"),
                                                      UNO_QUERY_THROW);
    section->setPropertyValue("IsProtected", css::uno::Any(true));
    text->insertTextContent(Reference<css::text::XTextRange>(range, UNO_QUERY_THROW),
                            Reference<css::text::XTextContent>(section, UNO_QUERY_THROW), true);
}

void Office::Put(const char* service, const char* property) {
    const Reference<css::lang::XMultiServiceFactory> factory(connection_->document, UNO_QUERY_THROW);
    const auto object = factory->createInstance("com.sun.star.text." + OUString::createFromAscii(service));
    Reference<css::beans::XPropertySet> holder(object, UNO_QUERY_THROW);
    if (const Reference<css::text::XTextContent> content(object, css::uno::UNO_QUERY); content.is()) {
        const Reference<css::text::XTextTable> table(object, css::uno::UNO_QUERY);
        if (table.is()) table->initialize(1, 1);
        const auto cursor = connection_->Cursor();
        cursor->getText()->insertTextContent(Reference<css::text::XTextRange>(cursor, UNO_QUERY_THROW), content, false);
        if (table.is()) holder.set(table->getCellByName("A1"), UNO_QUERY_THROW);
        const Reference<css::text::XText> inside(holder, css::uno::UNO_QUERY);
        cursor->gotoRange(inside.is() ? inside->getStart() : content->getAnchor()->getStart(), false);
    }
    if (property != nullptr) holder->setPropertyValue(OUString::createFromAscii(property), css::uno::Any(true));
}

void Office::SelectAll() {
    const auto text = Reference<css::text::XTextDocument>(connection_->document, UNO_QUERY_THROW)->getText();
    connection_->Cursor()->gotoRange(text->getStart(), false);
    connection_->Cursor()->gotoRange(text->getEnd(), true);
}

void Office::ReopenReadOnly(const std::string& path) {
    const OUString url = "file://" + OUString::createFromAscii(path.c_str());
    Reference<css::frame::XStorable>(connection_->document, UNO_QUERY_THROW)->storeToURL(url, {});
    const Reference<css::frame::XComponentLoader> loader(connection_->desktop, UNO_QUERY_THROW);
    const css::beans::PropertyValue readOnly("ReadOnly", 0, css::uno::Any(true), {});
    connection_->document = loader->loadComponentFromURL(url, "_blank", 0, {&readOnly, 1});
}

std::string Office::Document() {
    const auto cursor = connection_->Cursor();
    const Reference<css::text::XText> text = cursor->getText();
    const auto offsetOf = [&](const Reference<css::text::XTextRange>& at) {
        const auto before = text->createTextCursorByRange(at);
        before->gotoStart(true);
        return before->getString().getLength();
    };
    const OUString all = text->getString();
    const sal_Int32 start = offsetOf(cursor->getStart());
    const sal_Int32 end = offsetOf(cursor->getEnd());
    const sal_Int32 from = std::min(start, end), to = std::max(start, end);
    if (from == to) return "Document " + Utf8(all.copy(0, from)) + "|" + Utf8(all.copy(from));
    return "Document " + Utf8(all.copy(0, from)) + "[" + Utf8(all.copy(from, to - from)) + "]" + Utf8(all.copy(to));
}

int OfficeProcessCount() {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::ifstream comm(entry.path() / "comm");
        std::string name;
        if (std::getline(comm, name) && (name == "soffice.bin" || name == "oosplash")) ++count;
    }
    return count;
}

}  // namespace quillmark::test
