// The window whose docked control a splitter resizes.
#pragma once

namespace quillmark {

class ISplitterHost {
public:
    virtual int ResizedWidth() const = 0;
    // The largest width the resized control may take, computed at the press.
    virtual int LargestResizedWidth() const = 0;
    virtual void SetResizedWidth(int width) = 0;

protected:
    ~ISplitterHost() = default;
};

}  // namespace quillmark
