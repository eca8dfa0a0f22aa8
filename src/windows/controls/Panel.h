// A plain panel with a raised 1-pixel bevel. It hands its children's
// notifications on to the window it stands in.
#pragma once

#include <windows.h>

namespace quillmark {

HWND CreatePanel(HWND parent, int id, const RECT& bounds);

}  // namespace quillmark
