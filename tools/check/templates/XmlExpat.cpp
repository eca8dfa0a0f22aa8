#include <expat.h>

#include <climits>
#include <exception>
#include <memory>

#include "tools/check/templates/TemplateError.h"
#include "tools/check/templates/Xml.h"

namespace quillmark {

namespace {

// Expat joins a name's namespace and local part with this, which no URI holds.
constexpr char kSeparator = ' ';

struct ParserDeleter {
    void operator()(XML_Parser parser) const { XML_ParserFree(parser); }
};
using ParserPtr = std::unique_ptr<std::remove_pointer_t<XML_Parser>, ParserDeleter>;

class ExpatReader {
public:
    ExpatReader(XmlHandler& handler) : handler_(handler), parser_(XML_ParserCreateNS(nullptr, kSeparator)) {
        if (!parser_) throw std::bad_alloc();
        XML_SetUserData(parser_.get(), this);
        XML_SetElementHandler(parser_.get(), &ExpatReader::OnStart, &ExpatReader::OnEnd);
        XML_SetCharacterDataHandler(parser_.get(), &ExpatReader::OnText);
        XML_SetStartDoctypeDeclHandler(parser_.get(), &ExpatReader::OnDoctype);
    }

    void Parse(std::string_view bytes, const std::string& part) {
        if (bytes.size() > INT_MAX) throw TemplateError{Message::BadXml, {part, "0"}};
        const XML_Status status = XML_Parse(parser_.get(), bytes.data(), static_cast<int>(bytes.size()), XML_TRUE);
        if (failure_) std::rethrow_exception(failure_);
        if (hasDoctype_) throw TemplateError{Message::XmlDoctype, {part}};
        if (tooDeepLine_ != 0) {
            throw TemplateError{Message::XmlTooDeep,
                                {part, std::to_string(kMaxXmlDepth), std::to_string(tooDeepLine_)}};
        }
        if (status != XML_STATUS_OK) {
            throw TemplateError{Message::BadXml, {part, std::to_string(XML_GetCurrentLineNumber(parser_.get()))}};
        }
        if (refused_) std::rethrow_exception(refused_);
    }

private:
    static ExpatReader& Self(void* data) { return *static_cast<ExpatReader*>(data); }

    static std::pair<WString, WString> Split(const XML_Char* name) {
        const std::string_view whole(name);
        const size_t at = whole.find(kSeparator);
        if (at == std::string_view::npos) return {WString(), FromUtf8(whole)};
        return {FromUtf8(whole.substr(0, at)), FromUtf8(whole.substr(at + 1))};
    }

    bool Stopped() const { return failure_ || hasDoctype_ || tooDeepLine_ != 0; }

    // A handler that refuses the part leaves the rest to be checked for
    // well-formedness; any other failure must not unwind through C frames.
    template <class F>
    void Guard(F&& f) {
        if (Stopped() || refused_) return;
        try {
            f();
        } catch (const TemplateError&) {
            refused_ = std::current_exception();
        } catch (...) {
            failure_ = std::current_exception();
            XML_StopParser(parser_.get(), XML_FALSE);
        }
    }

    static void XMLCALL OnStart(void* data, const XML_Char* name, const XML_Char** attributes) {
        ExpatReader& self = Self(data);
        if (!self.Stopped() && ++self.depth_ > kMaxXmlDepth) {
            self.tooDeepLine_ = XML_GetCurrentLineNumber(self.parser_.get());
            XML_StopParser(self.parser_.get(), XML_FALSE);
        }
        self.Guard([&] {
            self.attributes_.clear();
            for (const XML_Char** a = attributes; *a; a += 2) {
                auto [ns, local] = Split(a[0]);
                self.attributes_.push_back({std::move(ns), std::move(local), FromUtf8(a[1])});
            }
            const auto [ns, local] = Split(name);
            self.handler_.Start(ns, local, self.attributes_);
        });
    }
    static void XMLCALL OnEnd(void* data, const XML_Char*) {
        ExpatReader& self = Self(data);
        --self.depth_;
        self.Guard([&] { self.handler_.End(); });
    }
    static void XMLCALL OnText(void* data, const XML_Char* text, int length) {
        ExpatReader& self = Self(data);
        self.Guard([&] { self.handler_.Text(FromUtf8(std::string_view(text, static_cast<size_t>(length)))); });
    }
    static void XMLCALL OnDoctype(void* data, const XML_Char*, const XML_Char*, const XML_Char*, int) {
        ExpatReader& self = Self(data);
        self.hasDoctype_ = true;
        XML_StopParser(self.parser_.get(), XML_FALSE);
    }

    XmlHandler& handler_;
    ParserPtr parser_;
    std::vector<XmlAttribute> attributes_;
    std::exception_ptr failure_;
    std::exception_ptr refused_;
    size_t depth_ = 0;
    XML_Size tooDeepLine_ = 0;
    bool hasDoctype_ = false;
};

}  // namespace

void ParseXml(std::string_view bytes, const std::string& part, XmlHandler& handler) {
    ExpatReader(handler).Parse(bytes, part);
}

}  // namespace quillmark
