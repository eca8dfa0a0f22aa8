#include "ui/SplitterMath.h"

namespace quillmark {

int LargestTreeWidth(int clientWidth, int otherDockedWidths) {
    return clientWidth - kSmallestTreeWidth - otherDockedWidths;
}

int LimitedTreeWidth(int width, int largest) {
    if (width < kSmallestTreeWidth) return kSmallestTreeWidth;
    if (width > largest) return largest;
    return width;
}

int DraggedTreeWidth(int width, int largest) {
    const int limited = LimitedTreeWidth(width, largest);
    return limited <= kSmallestTreeWidth ? 0 : limited;
}

}  // namespace quillmark
