// XmlLite is part of Windows, so the checker still needs no DLL of its own.
#include <windows.h>
#include <objidl.h>
#include <shlwapi.h>
#include <xmllite.h>

#include <climits>
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

}  // namespace

void ParseXml(std::string_view bytes, const std::string& part, XmlHandler& handler) {
    const CreateXmlReaderFn create = CreateReaderFunction();
    if (bytes.size() > UINT_MAX || create == nullptr) throw TemplateError{Message::BadXml, {part, "0"}};
    ComPtr<IStream> stream;
    stream.Attach(::SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes.data()), static_cast<UINT>(bytes.size())));
    ComPtr<IXmlReader> reader;
    if (!stream || FAILED(create(__uuidof(IXmlReader), reader.PutVoid(), nullptr))) throw std::bad_alloc();
    reader->SetProperty(XmlReaderProperty_DtdProcessing, DtdProcessing_Prohibit);
    if (FAILED(reader->SetInput(stream.Get()))) throw TemplateError{Message::BadXml, {part, "0"}};

    std::vector<XmlAttribute> attributes;
    XmlNodeType type = XmlNodeType_None;
    HRESULT hr = S_OK;
    while ((hr = reader->Read(&type)) == S_OK) {
        switch (type) {
            case XmlNodeType_Element: {
                const bool empty = reader->IsEmptyElement();
                ReadAttributes(reader.Get(), attributes);
                handler.Start(Current(&IXmlReader::GetNamespaceUri, reader.Get()),
                              Current(&IXmlReader::GetLocalName, reader.Get()), attributes);
                if (empty) handler.End();
                break;
            }
            case XmlNodeType_EndElement:
                handler.End();
                break;
            case XmlNodeType_Text:
            case XmlNodeType_CDATA:
            case XmlNodeType_Whitespace:
                handler.Text(Current(&IXmlReader::GetValue, reader.Get()));
                break;
            default:
                break;
        }
    }
    if (FAILED(hr)) {
        // A prohibited DTD fails like any other error; the prolog tells them apart.
        if (bytes.find("<!DOCTYPE") != std::string_view::npos) {
            throw TemplateError{Message::XmlDoctype, {part}};
        }
        UINT line = 0;
        reader->GetLineNumber(&line);
        throw TemplateError{Message::BadXml, {part, std::to_string(line)}};
    }
}

}  // namespace quillmark
