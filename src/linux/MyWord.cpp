#include "MyWord.h"

#include <sys/stat.h>
#include <unistd.h>

#include <com/sun/star/awt/XWindow.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/bridge/UnoUrlResolver.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/lang/IllegalArgumentException.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <com/sun/star/text/XFootnote.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/text/XTextContent.hpp>
#include <com/sun/star/text/XTextCursor.hpp>
#include <com/sun/star/text/XTextFrame.hpp>
#include <com/sun/star/text/XTextRangeCompare.hpp>
#include <com/sun/star/text/XTextSection.hpp>
#include <com/sun/star/text/XTextSectionsSupplier.hpp>
#include <com/sun/star/text/XTextViewCursor.hpp>
#include <com/sun/star/text/XTextViewCursorSupplier.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <cppuhelper/bootstrap.hxx>
#include <rtl/bootstrap.hxx>

namespace quillmark {

namespace {

namespace css = com::sun::star;
using css::beans::XPropertySet;
using css::uno::Reference;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;
using css::uno::UNO_SET_THROW;
using rtl::OUString;

// The Word connection's counterpart: the controller of the Writer document
// that was in front at the last successful attach.
Reference<css::frame::XController> g_word;
// This process's own UNO runtime, brought up by the first attach.
Reference<css::uno::XComponentContext> g_local;
std::string g_pipe = "quillmark";

OUString ToOUString(const WString& text) {
    return OUString(reinterpret_cast<const sal_Unicode*>(text.data()), static_cast<sal_Int32>(text.size()));
}

// A pipe's socket that another user placed under our name would hand our
// codes to that user's process: only our own socket is used.
bool IsOurSocket(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISSOCK(info.st_mode) && info.st_uid == ::geteuid();
}

Reference<css::uno::XComponentContext> LocalContext() {
    if (!g_local.is()) {
        // Without the office's API types the runtime crashes instead of failing.
        rtl::Bootstrap::set("URE_MORE_TYPES", "file://" QM_OFFICE_PROGRAM "/types/offapi.rdb");
        g_local = cppu::defaultBootstrap_InitialComponentContext("file://" QM_OFFICE_PROGRAM "/unorc");
    }
    return g_local;
}

Reference<css::text::XTextViewCursor> Selection() {
    const Reference<css::text::XTextViewCursorSupplier> supplier(g_word, UNO_QUERY_THROW);
    return Reference<css::text::XTextViewCursor>(supplier->getViewCursor(), UNO_SET_THROW);
}

bool IsSet(const Reference<XPropertySet>& object, const OUString& property) {
    bool set = false;
    return object.is() && (object->getPropertyValue(property) >>= set) && set;
}

bool InProtectedSection(Reference<css::text::XTextSection> section) {
    for (; section.is(); section = section->getParentSection()) {
        if (IsSet(Reference<XPropertySet>(section, UNO_QUERY_THROW), "IsProtected")) return true;
    }
    return false;
}

// Writer protects a position in a protected section or cell, in a frame
// whose content is protected, and in a table, frame or footnote whose anchor
// it protects. A position in a cell names neither the frame nor the outer
// cell around its table, so the walk leaves the table by its anchor.
bool IsProtectedAt(Reference<css::text::XTextRange> at) {
    while (at.is()) {
        const Reference<XPropertySet> position(at, UNO_QUERY_THROW);
        if (InProtectedSection(
                Reference<css::text::XTextSection>(position->getPropertyValue("TextSection"), UNO_QUERY)) ||
            IsSet(Reference<XPropertySet>(position->getPropertyValue("Cell"), UNO_QUERY), "IsProtected"))
            return true;
        if (const Reference<css::text::XTextContent> table(position->getPropertyValue("TextTable"), UNO_QUERY);
            table.is()) {
            at = table->getAnchor();
        } else if (const Reference<css::text::XTextFrame> frame(position->getPropertyValue("TextFrame"), UNO_QUERY);
                   frame.is()) {
            if (IsSet(Reference<XPropertySet>(frame, UNO_QUERY_THROW), "ContentProtected")) return true;
            at = frame->getAnchor();
        } else if (const Reference<css::text::XFootnote> note(at->getText(), UNO_QUERY); note.is()) {
            at = note->getAnchor();
        } else {
            at.clear();
        }
    }
    return false;
}

// A protected section that starts inside the selection would go with it.
bool HoldsProtectedSection(const Reference<css::frame::XModel>& model,
                           const Reference<css::text::XTextViewCursor>& selection) {
    if (selection->isCollapsed()) return false;
    const Reference<css::text::XTextSectionsSupplier> supplier(model, UNO_QUERY_THROW);
    const auto sections = supplier->getTextSections();
    const Reference<css::text::XTextRangeCompare> order(selection->getText(), UNO_QUERY_THROW);
    for (const OUString& name : sections->getElementNames()) {
        const Reference<css::text::XTextSection> section(sections->getByName(name), UNO_QUERY_THROW);
        if (!IsSet(Reference<XPropertySet>(section, UNO_QUERY_THROW), "IsProtected")) continue;
        try {
            const auto start = section->getAnchor()->getStart();
            if (order->compareRegionStarts(selection->getStart(), start) >= 0 &&
                order->compareRegionStarts(start, selection->getEnd()) > 0)
                return true;
        } catch (const css::lang::IllegalArgumentException&) {
            // In another text, so not in the selection.
        }
    }
    return false;
}

// A text cursor over the selection, to write through: the view cursor's own
// setString does nothing in a table cell.
Reference<css::text::XTextCursor> Writable(const Reference<css::text::XTextViewCursor>& selection) {
    return selection->getText()->createTextCursorByRange(Reference<css::text::XTextRange>(selection, UNO_QUERY_THROW));
}

// Writing through the API passes over Writer's protection, so the bridge
// refuses wherever Writer would refuse typing or deleting.
bool RefusesEditing(const Reference<css::text::XTextViewCursor>& selection) {
    const Reference<css::frame::XModel> model(g_word->getModel(), UNO_SET_THROW);
    return Reference<css::frame::XStorable>(model, UNO_QUERY_THROW)->isReadonly() ||
           IsProtectedAt(selection->getStart()) || IsProtectedAt(selection->getEnd()) ||
           HoldsProtectedSection(model, selection);
}

}  // namespace

std::string OfficePipePath(const std::string& name) {
    return "/tmp/OSL_PIPE_" + std::to_string(::geteuid()) + "_" + name;
}

void UseOfficePipe(std::string name) { g_pipe = std::move(name); }

void InitializeUno() {}

bool AttachWord() noexcept {
    try {
        // Connecting never starts an office, unlike cppu::bootstrap().
        if (!IsOurSocket(OfficePipePath(g_pipe))) return false;
        const auto resolver = css::bridge::UnoUrlResolver::create(LocalContext());
        const OUString url =
            "uno:pipe,name=" + OUString::createFromAscii(g_pipe.c_str()) + ";urp;StarOffice.ComponentContext";
        const Reference<css::uno::XComponentContext> office(resolver->resolve(url), UNO_QUERY_THROW);
        const auto desktop = css::frame::Desktop::create(office);
        const Reference<css::lang::XServiceInfo> document(desktop->getCurrentComponent(), UNO_QUERY_THROW);
        if (!document->supportsService("com.sun.star.text.TextDocument")) return false;
        const Reference<css::frame::XModel> model(document, UNO_QUERY_THROW);
        g_word.set(model->getCurrentController(), UNO_SET_THROW);
        return true;
    } catch (...) {
        return false;
    }
}

bool SetWordVisible(bool visible) noexcept {
    try {
        if (!g_word.is()) return false;
        const Reference<css::frame::XFrame> frame(g_word->getFrame(), UNO_SET_THROW);
        const Reference<css::awt::XWindow> window(frame->getContainerWindow(), UNO_SET_THROW);
        window->setVisible(visible);
        return true;
    } catch (...) {
        return false;
    }
}

bool InsertCode(const WString& code) noexcept {
    try {
        if (!g_word.is()) return false;
        // Clearing a collapsed cursor is harmless, but Word's rule is kept:
        // only a selection is deleted.
        const auto first = Selection();
        if (RefusesEditing(first)) return false;
        if (!first->isCollapsed()) Writable(first)->setString(OUString());
        // A fresh cursor, as Word's second Selection.
        const auto second = Selection();
        const Reference<css::text::XTextRange> at(Writable(second), UNO_QUERY_THROW);
        second->getText()->insertString(at, ToOUString(code), true);
        // The inserted text is selected now; the next code must follow it.
        second->gotoRange(at->getEnd(), false);
        return true;
    } catch (...) {
        return false;
    }
}

void ReleaseWord() noexcept { g_word.clear(); }

void UninitializeUno() noexcept {
    try {
        const Reference<css::lang::XComponent> local(g_local, css::uno::UNO_QUERY);
        g_local.clear();
        if (local.is()) local->dispose();
    } catch (...) {
        // Shutting down: nothing is left to report to.
    }
}

ModuleHooks WordBridgeModule() {
    return {InitializeUno, [] {
                ReleaseWord();
                UninitializeUno();
            }};
}

}  // namespace quillmark
