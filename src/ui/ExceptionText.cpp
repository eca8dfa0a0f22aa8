#include "ui/ExceptionText.h"

#include "common/Exception.h"

namespace quillmark {

namespace {

WString OwnMessage(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const Exception& e) {
        return e.Message();
    } catch (const std::bad_alloc&) {
        return QM_W("Out of memory");
    } catch (const std::exception& e) {
        return FromUtf8(e.what());
    } catch (...) {
        return QM_W("Unknown exception");
    }
}

std::exception_ptr InnerOf(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::nested_exception& nested) {
        return nested.nested_ptr();
    } catch (...) {
        return nullptr;
    }
}

}  // namespace

WString WithFullStop(WString text) {
    if (!text.empty() && static_cast<unsigned>(text.back()) > '.') text += QM_W('.');
    return text;
}

WString MessageOf(const std::exception_ptr& error) {
    std::exception_ptr innermost = error;
    while (const std::exception_ptr inner = InnerOf(innermost)) innermost = inner;
    if (innermost != error) {
        WString message = OwnMessage(innermost);
        if (!message.empty()) return message;
    }
    return OwnMessage(error);
}

WString ApplicationTitleFrom(WStringView modulePath, WStringView separators, void (*lower)(WString&)) {
    const size_t slash = modulePath.find_last_of(separators);
    WStringView name = slash == WStringView::npos ? modulePath : modulePath.substr(slash + 1);
    name = name.substr(0, name.find(QM_W('.')));
    if (name.empty()) return WString();
    WString rest(name.substr(1));
    lower(rest);
    return WString(name.substr(0, 1)) + rest;
}

}  // namespace quillmark
