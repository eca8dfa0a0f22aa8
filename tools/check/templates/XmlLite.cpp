// XmlLite is part of Windows, so the checker still needs no DLL of its own.
#include <windows.h>
#include <objidl.h>
#include <shlwapi.h>
#include <xmllite.h>

#include <algorithm>
#include <climits>
#include <exception>
#include <new>
#include <optional>
#include <utility>

#include "common/ComPtr.h"
#include "common/SystemLibrary.h"
#include "tools/check/templates/TemplateError.h"
#include "tools/check/templates/Xml.h"
#include "tools/check/templates/XmlPrecheck.h"

namespace quillmark {

namespace {

using CreateXmlReaderFn = HRESULT(WINAPI*)(REFIID, void**, IMalloc*);

// Loaded at run time: MinGW ships no import library for it.
CreateXmlReaderFn CreateReaderFunction() {
    static const auto create = ProcAddress<CreateXmlReaderFn>(LoadSystemLibrary(L"xmllite.dll"), "CreateXmlReader");
    return create;
}

// The part as XmlLite reads it, each read ending on an ASCII byte where one
// is in reach: Wine's XmlLite splits a character that the end of a read cuts
// through, and so garbles or loses text of a long part in Russian.
class AsciiEndedStream final : public ISequentialStream {
public:
    explicit AsciiEndedStream(std::string_view bytes) : bytes_(bytes) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** out) override {
        *out = id == __uuidof(IUnknown) || id == __uuidof(ISequentialStream) ? this : nullptr;
        if (*out == nullptr) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    // Not owned by its references: the parse that made it outlives the reader.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE Read(void* into, ULONG size, ULONG* read) override {
        size_t count = std::min<size_t>(size, bytes_.size() - at_);
        size_t ascii = count;
        while (ascii > 0 && static_cast<unsigned char>(bytes_[at_ + ascii - 1]) >= 0x80) --ascii;
        if (ascii > 0 && at_ + count < bytes_.size()) count = ascii;
        std::copy_n(bytes_.data() + at_, count, static_cast<char*>(into));
        at_ += count;
        if (read) *read = static_cast<ULONG>(count);
        return count > 0 ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override { return STG_E_ACCESSDENIED; }

private:
    std::string_view bytes_;
    size_t at_ = 0;
};

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

void Deliver(IXmlReader* reader, XmlNodeType type, bool empty, XmlHandler& handler, XmlCursor& cursor,
             std::vector<XmlAttribute>& attributes) {
    switch (type) {
        case XmlNodeType_Element: {
            ReadAttributes(reader, attributes);
            const WStringView name = Current(&IXmlReader::GetLocalName, reader);
            if (handler.WantsSource()) handler.SetSource(cursor.Start(name));
            handler.Start(Current(&IXmlReader::GetNamespaceUri, reader), name, attributes);
            if (empty) {
                if (handler.WantsSource()) cursor.End();
                handler.End();
            }
            break;
        }
        case XmlNodeType_EndElement:
            if (handler.WantsSource()) cursor.End();
            handler.End();
            break;
        case XmlNodeType_Text:
        case XmlNodeType_CDATA:
        case XmlNodeType_Whitespace: {
            // In pieces as expat gives them, so that both editions change a template alike.
            const WStringView text = Current(&IXmlReader::GetValue, reader);
            if (!handler.WantsSource()) {
                handler.Text(text);
                break;
            }
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
    // Wine's XmlLite reads a part cut short for ever, or aborts on one without
    // an element, and lets bad characters through: such a part never reaches it.
    if (std::optional<TemplateError> error = PrecheckXml(bytes, part)) throw std::move(*error);
    // The part's own bytes, where its text is found for a writer: what
    // XmlLite is given below may differ.
    const std::string_view original = bytes;
    // Wine's XmlLite loses its way in a UTF-16 part past its first few
    // kilobytes, and ends one in UTF-16BE at once: it gets the part in UTF-8.
    const std::optional<std::string> utf8 = Utf16AsUtf8(bytes);
    if (utf8) bytes = *utf8;
    // Nor does it read blanks before the root element unless a declaration
    // stands before them: one is added, on the same line.
    std::string declared;
    const size_t mark = bytes.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    if (bytes.size() > mark && std::string_view(" \t\r\n").find(bytes[mark]) != std::string_view::npos) {
        declared.append(bytes.substr(0, mark)).append("<?xml version=\"1.0\"?>").append(bytes.substr(mark));
        bytes = declared;
    }
    AsciiEndedStream stream(bytes);
    ComPtr<IXmlReader> reader;
    if (FAILED(create(__uuidof(IXmlReader), reader.PutVoid(), nullptr))) throw std::bad_alloc();
    reader->SetProperty(XmlReaderProperty_DtdProcessing, DtdProcessing_Prohibit);
    // One deeper than ours, so that our count, not XmlLite's, decides.
    reader->SetProperty(XmlReaderProperty_MaxElementDepth, static_cast<LONG_PTR>(kMaxXmlDepth + 1));
    if (FAILED(reader->SetInput(&stream))) throw TemplateError{Message::BadXml, {part, "0"}};

    const auto tooDeep = [&] {
        return TemplateError{Message::XmlTooDeep,
                             {part, std::to_string(kMaxXmlDepth), std::to_string(Line(reader.Get()))}};
    };
    std::vector<XmlAttribute> attributes;
    XmlCursor cursor(original);
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
    if (hr == static_cast<HRESULT>(WC_E_DTDPROHIBITED)) throw TemplateError{Message::XmlDoctype, {part}};
    if (FAILED(hr)) throw TemplateError{Message::BadXml, {part, std::to_string(Line(reader.Get()))}};
    if (refused) std::rethrow_exception(refused);
}

}  // namespace quillmark
