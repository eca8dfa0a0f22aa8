// A real LibreOffice for the tests: headless, in a profile of its own,
// listening on a pipe of the test's own, stopped by its process id. The test
// reaches its documents over UNO, as a second client beside the bridge.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>

namespace quillmark::test {

class Office {
public:
    // Starts soffice; listen = false leaves out --accept, for an office that
    // must listen through its configuration alone.
    Office(std::string pipe, std::string profile, bool listen = true);
    Office(const Office&) = delete;
    Office& operator=(const Office&) = delete;
    ~Office();

    // Whether a client can connect on the pipe within the time.
    bool Listening(int milliseconds = 60000);
    // Stops soffice and the soffice.bin it started.
    void Stop();

    // A new Writer document in front, holding text with [start, end) selected.
    void NewDocument(const std::u16string& text, int start, int end);
    // Puts [from, to) of the document in front in a protected section; the selection stays.
    void ProtectText(int from, int to);
    // A new com.sun.star.text.<service> at the caret, the caret in it, the boolean property set on what holds it.
    void Put(const char* service, const char* property = nullptr);
    // Selects the whole body text.
    void SelectAll();
    // Stores the document in front at the path and opens it from there again, read-only.
    void ReopenReadOnly(const std::string& path);
    // The text around the caret as "Document Hello [World]", "Document Hello|World" for a caret.
    std::string Document();

private:
    struct Connection;
    std::string pipe_;
    pid_t group_ = 0;
    std::unique_ptr<Connection> connection_;
};

// The soffice.bin processes running now.
int OfficeProcessCount();

}  // namespace quillmark::test
