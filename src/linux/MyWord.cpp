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
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/text/XTextContent.hpp>
#include <com/sun/star/text/XTextCursor.hpp>
#include <com/sun/star/text/XTextFrame.hpp>
#include <com/sun/star/text/XTextFramesSupplier.hpp>
#include <com/sun/star/text/XTextRangeCompare.hpp>
#include <com/sun/star/text/XTextSection.hpp>
#include <com/sun/star/text/XTextSectionsSupplier.hpp>
#include <com/sun/star/text/XTextTable.hpp>
#include <com/sun/star/text/XTextTablesSupplier.hpp>
#include <com/sun/star/text/XTextViewCursor.hpp>
#include <com/sun/star/text/XTextViewCursorSupplier.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <cppuhelper/bootstrap.hxx>
#include <rtl/bootstrap.hxx>

#include <algorithm>
#include <vector>

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

// The texts that hold a position, innermost first: its own, then the cells
// around it (a cell names the text its table is in), up to the body, a header,
// a frame or a footnote. The texts, not the position's properties: a position
// in a section inside a cell names neither the cell nor its table.
std::vector<Reference<css::text::XText>> TextsAround(const Reference<css::text::XTextRange>& at) {
    std::vector<Reference<css::text::XText>> texts{at->getText()};
    while (Reference<css::table::XCell>(texts.back(), UNO_QUERY).is()) {
        const Reference<XPropertySet> cell(texts.back(), UNO_QUERY_THROW);
        texts.emplace_back(cell->getPropertyValue("ParentText"), UNO_QUERY_THROW);
    }
    return texts;
}

// Where the frame or footnote that is the outermost of these texts is
// anchored; nothing for the body, a header or a frame anchored to a page.
Reference<css::text::XTextRange> AnchorAround(const std::vector<Reference<css::text::XText>>& texts) {
    const Reference<css::text::XTextContent> holder(texts.back(), UNO_QUERY);
    return holder.is() ? holder->getAnchor() : Reference<css::text::XTextRange>();
}

// A protected cell, or a frame whose content is protected.
bool ProtectsItsText(const Reference<css::text::XText>& text) {
    const Reference<XPropertySet> properties(text, UNO_QUERY);
    if (Reference<css::table::XCell>(text, UNO_QUERY).is()) return IsSet(properties, "IsProtected");
    return Reference<css::text::XTextFrame>(text, UNO_QUERY).is() && IsSet(properties, "ContentProtected");
}

// Writer protects a position in a protected section or cell, in a frame
// whose content is protected, and in a table, frame or footnote whose anchor
// it protects.
bool IsProtectedAt(Reference<css::text::XTextRange> at) {
    while (at.is()) {
        const Reference<XPropertySet> position(at, UNO_QUERY_THROW);
        if (InProtectedSection(
                Reference<css::text::XTextSection>(position->getPropertyValue("TextSection"), UNO_QUERY)))
            return true;
        const auto texts = TextsAround(at);
        if (std::any_of(texts.begin(), texts.end(), ProtectsItsText)) return true;
        at = AnchorAround(texts);
    }
    return false;
}

// The selection's text orders positions in it and in the tables it holds;
// content in a frame or footnote goes with the selection where the frame or
// footnote is anchored.
class SelectedRange {
public:
    explicit SelectedRange(const Reference<css::text::XTextViewCursor>& selection)
        : order_(selection->getText(), UNO_QUERY_THROW), start_(selection->getStart()), end_(selection->getEnd()) {}

    // Whether content that starts at the position goes with the selection.
    bool Holds(Reference<css::text::XTextRange> at) const {
        for (; at.is(); at = AnchorAround(TextsAround(at))) {
            try {
                return !Before(at, start_) && Before(at, end_);
            } catch (const css::lang::IllegalArgumentException&) {
                // In another text: it goes where that text is anchored.
            }
        }
        return false;
    }
    // Whether any of a range, both of whose ends lie in one text, goes with it.
    bool Meets(const Reference<css::text::XTextRange>& from, const Reference<css::text::XTextRange>& to) const {
        try {
            return Before(from, end_) && !Before(to, start_);
        } catch (const css::lang::IllegalArgumentException&) {
            return Holds(AnchorAround(TextsAround(from)));
        }
    }

private:
    bool Before(const Reference<css::text::XTextRange>& a, const Reference<css::text::XTextRange>& b) const {
        return order_->compareRegionStarts(a, b) > 0;
    }

    Reference<css::text::XTextRangeCompare> order_;
    Reference<css::text::XTextRange> start_, end_;
};

bool HoldsProtectedSection(const Reference<css::frame::XModel>& model, const SelectedRange& range) {
    const auto sections = Reference<css::text::XTextSectionsSupplier>(model, UNO_QUERY_THROW)->getTextSections();
    for (const OUString& name : sections->getElementNames()) {
        const Reference<css::text::XTextSection> section(sections->getByName(name), UNO_QUERY_THROW);
        if (IsSet(Reference<XPropertySet>(section, UNO_QUERY_THROW), "IsProtected") &&
            range.Holds(section->getAnchor()->getStart()))
            return true;
    }
    return false;
}

// Only the cells of tables that reach into the selection are read: a cell
// costs a call to the office.
bool HoldsProtectedCell(const Reference<css::frame::XModel>& model, const SelectedRange& range) {
    const auto tables = Reference<css::text::XTextTablesSupplier>(model, UNO_QUERY_THROW)->getTextTables();
    for (const OUString& name : tables->getElementNames()) {
        const Reference<css::text::XTextTable> table(tables->getByName(name), UNO_QUERY_THROW);
        const auto cells = table->getCellNames();
        if (cells.getLength() == 0) continue;
        const auto cellText = [&](const OUString& cell) {
            return Reference<css::text::XText>(table->getCellByName(cell), UNO_QUERY_THROW);
        };
        if (!range.Meets(cellText(cells[0])->getStart(), cellText(cells[cells.getLength() - 1])->getEnd())) continue;
        for (const OUString& cell : cells) {
            const Reference<XPropertySet> properties(table->getCellByName(cell), UNO_QUERY_THROW);
            if (IsSet(properties, "IsProtected") && range.Holds(cellText(cell)->getStart())) return true;
        }
    }
    return false;
}

bool HoldsProtectedFrame(const Reference<css::frame::XModel>& model, const SelectedRange& range) {
    const auto frames = Reference<css::text::XTextFramesSupplier>(model, UNO_QUERY_THROW)->getTextFrames();
    for (const OUString& name : frames->getElementNames()) {
        const Reference<css::text::XText> frame(frames->getByName(name), UNO_QUERY_THROW);
        if (IsSet(Reference<XPropertySet>(frame, UNO_QUERY_THROW), "ContentProtected") &&
            range.Holds(frame->getStart()))
            return true;
    }
    return false;
}

// Protected content anywhere inside the selection would go with it.
bool HoldsProtectedContent(const Reference<css::frame::XModel>& model,
                           const Reference<css::text::XTextViewCursor>& selection) {
    if (selection->isCollapsed()) return false;
    const SelectedRange range(selection);
    return HoldsProtectedSection(model, range) || HoldsProtectedCell(model, range) || HoldsProtectedFrame(model, range);
}

// With its form protected, Writer takes typing only in the form's fields, and
// a template's code never belongs in one.
bool ProtectsForm(const Reference<css::frame::XModel>& model) {
    const Reference<css::lang::XMultiServiceFactory> factory(model, UNO_QUERY_THROW);
    return IsSet(Reference<XPropertySet>(factory->createInstance("com.sun.star.document.Settings"), UNO_QUERY),
                 "ProtectForm");
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
    return Reference<css::frame::XStorable>(model, UNO_QUERY_THROW)->isReadonly() || ProtectsForm(model) ||
           IsProtectedAt(selection->getStart()) || IsProtectedAt(selection->getEnd()) ||
           HoldsProtectedContent(model, selection);
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
