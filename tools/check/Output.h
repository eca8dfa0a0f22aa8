// Where quillmark-check's report goes as it is written, and what its exit
// code says of it.
#pragma once

#include <string>
#include <string_view>

namespace quillmark {

enum CheckerExit { kCheckOk = 0, kCheckCannotOpen = 1, kCheckUsage = 2, kCheckWarnings = 3 };

// A template's report reaches the screen as soon as the template is read, so
// that whatever happens to a later one leaves it there.
class Output {
public:
    virtual ~Output() = default;
    virtual void Out(std::string_view text) = 0;
    virtual void Err(std::string_view text) = 0;
};

// The whole report as text, for callers that take it at the end.
class StringOutput : public Output {
public:
    StringOutput(std::string& out, std::string& err) : out_(out), err_(err) {}
    void Out(std::string_view text) override { out_ += text; }
    void Err(std::string_view text) override { err_ += text; }

private:
    std::string& out_;
    std::string& err_;
};

}  // namespace quillmark
