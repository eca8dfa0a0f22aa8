// XmlLite is part of Windows, so the checker still needs no DLL of its own.
#include <windows.h>
#include <objidl.h>
#include <shlwapi.h>
#include <xmllite.h>

#include <algorithm>
#include <climits>
#include <exception>
#include <new>

#include "common/ComPtr.h"
#include "common/SystemLibrary.h"
#include "tools/check/templates/TemplateError.h"
#include "tools/check/templates/Xml.h"

namespace quillmark {

namespace {

using CreateXmlReaderFn = HRESULT(WINAPI*)(REFIID, void**, IMalloc*);

// Loaded at run time: MinGW ships no import library for it.
CreateXmlReaderFn CreateReaderFunction() {
    static const auto create = ProcAddress<CreateXmlReaderFn>(LoadSystemLibrary(L"xmllite.dll"), "CreateXmlReader");
    return create;
}

WStringView Current(HRESULT (STDMETHODCALLTYPE IXmlReader::*get)(LPCWSTR*, UINT*), IXmlReader* reader) {
    LPCWSTR text = nullptr;
    UINT length = 0;
    if (FAILED((reader->*get)(&text, &length)) || text == nullptr) return {};
    return {text, length};
}

void ReadAttributes(IXmlReader* reader, std::vector<XmlAttribute>& attributes) {
    attributes.clear();
    for (HRESULT hr = reader->MoveToFirstAttribute(); hr == S_OK; hr = reader->MoveToNextAttribute()) {
        attributes.push_back({WString(Current(&IXmlReader::GetNamespaceUri, reader)),
                              WString(Current(&IXmlReader::GetLocalName, reader)),
                              WString(Current(&IXmlReader::GetValue, reader))});
    }
    reader->MoveToElement();
}

UINT Line(IXmlReader* reader) {
    UINT line = 0;
    reader->GetLineNumber(&line);
    return line;
}

// A prohibited DTD may fail like any other error; a declaration before the
// root element, in whichever encoding, tells them apart.
bool DeclaresDoctype(std::string_view bytes) {
    constexpr std::string_view kDoctype = "<!DOCTYPE";
    std::string littleEndian, bigEndian;
    for (const char c : kDoctype) {
        littleEndian += {c, '\0'};
        bigEndian += {'\0', c};
    }
    return bytes.find(kDoctype) != std::string_view::npos || bytes.find(littleEndian) != std::string_view::npos ||
           bytes.find(bigEndian) != std::string_view::npos;
}

// XML has no NUL character, and Wine's XmlLite reads one for ever: the line
// of the first one, in the part's own code units, or 0 when there is none.
size_t NulLine(std::string_view bytes) {
    const auto starts = [&](std::string_view prefix) { return bytes.substr(0, 2) == prefix; };
    using namespace std::string_view_literals;
    if (!(starts("\xFF\xFE"sv) || starts("\xFE\xFF"sv) || starts("<\0"sv) || starts("\0<"sv))) {
        const size_t at = bytes.find('\0');
        return at == std::string_view::npos ? 0 : 1 + std::count(bytes.begin(), bytes.begin() + at, '\n');
    }
    size_t line = 1;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const char a = bytes[i], b = bytes[i + 1];
        if (a == '\0' && b == '\0') return line;
        if ((a == '\n' && b == '\0') || (a == '\0' && b == '\n')) ++line;
    }
    return 0;
}

void Deliver(IXmlReader* reader, XmlNodeType type, bool empty, XmlHandler& handler, XmlCursor& cursor,
             std::vector<XmlAttribute>& attributes) {
    switch (type) {
        case XmlNodeType_Element: {
            ReadAttributes(reader, attributes);
            const WStringView name = Current(&IXmlReader::GetLocalName, reader);
            handler.SetSource(cursor.Start(name));
            handler.Start(Current(&IXmlReader::GetNamespaceUri, reader), name, attributes);
            if (empty) {
                cursor.End();
                handler.End();
            }
            break;
        }
        case XmlNodeType_EndElement:
            cursor.End();
            handler.End();
            break;
        case XmlNodeType_Text:
        case XmlNodeType_CDATA:
        case XmlNodeType_Whitespace: {
            // In pieces as expat gives them, so that both editions change a template alike.
            const WStringView text = Current(&IXmlReader::GetValue, reader);
            size_t at = 0;
            for (const XmlTextUnit& unit : cursor.Text(text)) {
                handler.SetSource(unit.source);
                handler.Text(text.substr(at, unit.length));
                at += unit.length;
            }
            break;
        }
        default:
            break;
    }
}

}  // namespace

void ParseXml(std::string_view bytes, const std::string& part, XmlHandler& handler) {
    const CreateXmlReaderFn create = CreateReaderFunction();
    if (bytes.size() > UINT_MAX || create == nullptr) throw TemplateError{Message::BadXml, {part, "0"}};
    if (const size_t line = NulLine(bytes)) throw TemplateError{Message::BadXml, {part, std::to_string(line)}};
    ComPtr<IStream> stream;
    stream.Attach(::SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes.data()), static_cast<UINT>(bytes.size())));
    ComPtr<IXmlReader> reader;
    if (!stream || FAILED(create(__uuidof(IXmlReader), reader.PutVoid(), nullptr))) throw std::bad_alloc();
    reader->SetProperty(XmlReaderProperty_DtdProcessing, DtdProcessing_Prohibit);
    // One deeper than ours, so that our count, not XmlLite's, decides.
    reader->SetProperty(XmlReaderProperty_MaxElementDepth, static_cast<LONG_PTR>(kMaxXmlDepth + 1));
    if (FAILED(reader->SetInput(stream.Get()))) throw TemplateError{Message::BadXml, {part, "0"}};

    const auto tooDeep = [&] {
        return TemplateError{Message::XmlTooDeep,
                             {part, std::to_string(kMaxXmlDepth), std::to_string(Line(reader.Get()))}};
    };
    std::vector<XmlAttribute> attributes;
    XmlCursor cursor(bytes);
    std::exception_ptr refused;  // the handler's, reported once the part proves well-formed
    size_t depth = 0;
    bool rooted = false;
    XmlNodeType type = XmlNodeType_None;
    HRESULT hr = S_OK;
    while ((hr = reader->Read(&type)) == S_OK) {
        rooted = rooted || type == XmlNodeType_Element;
        if (type == XmlNodeType_Element && ++depth > kMaxXmlDepth) throw tooDeep();
        const bool empty = type == XmlNodeType_Element && reader->IsEmptyElement();
        if (empty || type == XmlNodeType_EndElement) --depth;
        if (refused) continue;
        try {
            Deliver(reader.Get(), type, empty, handler, cursor, attributes);
        } catch (const TemplateError&) {
            refused = std::current_exception();
        }
    }
    if (hr == static_cast<HRESULT>(SC_E_MAXELEMENTDEPTH)) throw tooDeep();
    // A part without a root element is not XML, though XmlLite may end it
    // quietly: Wine's does for blanks only, a comment only, or UTF-16BE.
    if (hr == S_FALSE && !rooted) hr = static_cast<HRESULT>(MX_E_INPUTEND);
    if (hr == static_cast<HRESULT>(WC_E_DTDPROHIBITED) || (FAILED(hr) && !rooted && DeclaresDoctype(bytes))) {
        throw TemplateError{Message::XmlDoctype, {part}};
    }
    if (FAILED(hr)) throw TemplateError{Message::BadXml, {part, std::to_string(Line(reader.Get()))}};
    if (refused) std::rethrow_exception(refused);
}

}  // namespace quillmark
