// Which control a splitter resizes, and to what size, from the alignment of
// the two controls beside it.
#pragma once

namespace velmaris {

enum class TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

// 0 none, 1 first control's height, 2 second control's height, 3 first
// control's width, 4 second control's width. Styles 1 and 3 need the
// splitter aligned as the first control, 2 and 4 as the second.
int SplitStyle(TAlign first, TAlign second, TAlign splitter);

// The new size of the resized control: its old size plus the movement along
// the axis (the movement counts negative for a right- or bottom-aligned
// control), at least 1, and 3 less than the room when it would fill it.
int SplitNewSize(int style, TAlign first, TAlign second, int oldSize, int dx, int dy, int room);

}  // namespace velmaris
