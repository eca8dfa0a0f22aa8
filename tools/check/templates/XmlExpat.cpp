#include <expat.h>

#include <algorithm>
#include <climits>
#include <deque>
#include <exception>
#include <memory>

#include "tools/check/templates/TemplateError.h"
#include "tools/check/templates/Xml.h"

namespace quillmark {

namespace {

// Expat joins a name's namespace and local part with this, which no URI holds.
constexpr char kSeparator = ' ';
constexpr size_t kCachedNamespaces = 32;

struct ParserDeleter {
    void operator()(XML_Parser parser) const { XML_ParserFree(parser); }
};
using ParserPtr = std::unique_ptr<std::remove_pointer_t<XML_Parser>, ParserDeleter>;

class ExpatReader {
public:
    ExpatReader(XmlHandler& handler, std::string_view bytes)
        : handler_(handler),
          parser_(XML_ParserCreateNS(nullptr, kSeparator)),
          cursor_(bytes),
          tracked_(handler.WantsSource()) {
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

    static std::pair<std::string_view, std::string_view> Split(const XML_Char* name) {
        const std::string_view whole(name);
        const size_t at = whole.find(kSeparator);
        if (at == std::string_view::npos) return {{}, whole};
        return {whole.substr(0, at), whole.substr(at + 1)};
    }

    // Into a buffer that keeps its capacity: a large template has millions of
    // names and runs of text, and most of them are ASCII.
    static void Assign(WString& out, std::string_view utf8) {
        if (std::all_of(utf8.begin(), utf8.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
            out.assign(utf8.begin(), utf8.end());
        } else {
            out = FromUtf8(utf8);
        }
    }

    // Namespaces are few and long: each is converted once.
    const WString& Namespace(std::string_view uri) {
        for (const auto& [utf8, utf16] : namespaces_) {
            if (utf8 == uri) return utf16;
        }
        if (namespaces_.size() >= kCachedNamespaces) {
            Assign(otherNamespace_, uri);
            return otherNamespace_;
        }
        return namespaces_.emplace_back(std::string(uri), FromUtf8(uri)).second;
    }

    // The handler is given exactly this element's attributes; the strings of
    // the ones beyond wait in the pool, capacity and all.
    XmlAttribute& NextAttribute(size_t count) {
        if (count == attributes_.size()) {
            attributes_.emplace_back();
            if (!pool_.empty()) {
                attributes_.back() = std::move(pool_.back());
                pool_.pop_back();
            }
        }
        return attributes_[count];
    }
    void KeepAttributes(size_t count) {
        for (; attributes_.size() > count; attributes_.pop_back()) pool_.push_back(std::move(attributes_.back()));
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
        if (++self.depth_ > kMaxXmlDepth && !self.Stopped()) {
            self.tooDeepLine_ = XML_GetCurrentLineNumber(self.parser_.get());
            XML_StopParser(self.parser_.get(), XML_FALSE);
        }
        self.Guard([&] {
            size_t count = 0;
            for (const XML_Char** a = attributes; *a; a += 2) {
                XmlAttribute& attribute = self.NextAttribute(count++);
                const auto [ns, local] = Split(a[0]);
                attribute.ns = self.Namespace(ns);
                Assign(attribute.name, local);
                Assign(attribute.value, a[1]);
            }
            self.KeepAttributes(count);
            const auto [ns, local] = Split(name);
            Assign(self.name_, local);
            if (self.tracked_) self.handler_.SetSource(self.cursor_.Start(self.name_));
            self.handler_.Start(self.Namespace(ns), self.name_, self.attributes_);
        });
    }
    static void XMLCALL OnEnd(void* data, const XML_Char*) {
        ExpatReader& self = Self(data);
        --self.depth_;
        self.Guard([&] {
            if (self.tracked_) self.cursor_.End();
            self.handler_.End();
        });
    }
    static void XMLCALL OnText(void* data, const XML_Char* text, int length) {
        ExpatReader& self = Self(data);
        self.Guard([&] {
            Assign(self.text_, std::string_view(text, static_cast<size_t>(length)));
            if (!self.tracked_) return self.handler_.Text(self.text_);
            size_t at = 0;
            for (const XmlTextUnit& unit : self.cursor_.Text(self.text_)) {
                self.handler_.SetSource(unit.source);
                self.handler_.Text(WStringView(self.text_).substr(at, unit.length));
                at += unit.length;
            }
        });
    }
    static void XMLCALL OnDoctype(void* data, const XML_Char*, const XML_Char*, const XML_Char*, int) {
        ExpatReader& self = Self(data);
        self.hasDoctype_ = true;
        XML_StopParser(self.parser_.get(), XML_FALSE);
    }

    XmlHandler& handler_;
    ParserPtr parser_;
    XmlCursor cursor_;
    const bool tracked_;
    std::vector<XmlAttribute> attributes_;
    std::vector<XmlAttribute> pool_;
    std::deque<std::pair<std::string, WString>> namespaces_;
    WString otherNamespace_;
    WString name_;
    WString text_;
    std::exception_ptr failure_;
    std::exception_ptr refused_;
    size_t depth_ = 0;
    XML_Size tooDeepLine_ = 0;
    bool hasDoctype_ = false;
};

}  // namespace

void ParseXml(std::string_view bytes, const std::string& part, XmlHandler& handler) {
    ExpatReader(handler, bytes).Parse(bytes, part);
}

}  // namespace quillmark
