// The widths a drag of the splitter gives the tree.
#pragma once

namespace quillmark {

constexpr int kSmallestTreeWidth = 30;

// The largest width at the press: the client width, minus the smallest
// width, minus the widths of the other controls docked left or right.
int LargestTreeWidth(int clientWidth, int otherDockedWidths);

// The width kept within the limits; the press and a release without movement use it.
int LimitedTreeWidth(int width, int largest);

// The width during a drag: limited, and 0 (collapsed) at the smallest width.
int DraggedTreeWidth(int width, int largest);

}  // namespace quillmark
