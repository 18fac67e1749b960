// The pictures of the message list window, drawn in code: the list's image
// strip, the thread tree's message and thread pictures and the sort glyphs
// of the column headers.
#pragma once

#include <QPixmap>

namespace velmaris {

// Tree images 0..3 are the message pictures (as list column 0); from 4 the
// thread pictures: 4 + marks (2 unread, 4 to the sysop, 8 both), + 1 open.
inline constexpr int kThreadImageBase = 4;

// The list's images 0..10: 0 unread, 1 read, 2 unread to the sysop, 3 read
// to the sysop, 6 to the sysop, 7 unread, 8 to send, 9 sent, 10 unread to
// the sysop (4 and 5 are unused).
QPixmap MailListStrip();
// The four message pictures of the tree.
QPixmap MailIconStrip();
// The sixteen thread pictures of the tree.
QPixmap ThreadIconStrip();
// The arrow of the sort column: down for ascending, up for descending.
QPixmap SortGlyph(bool ascending);

}  // namespace velmaris
