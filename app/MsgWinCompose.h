// Opening a composed message in a message editor: the editor gets the
// uplinks, the origins of the text group, the header lines, the reply
// reference and, for an edit, the replaced message and the held area, then
// the mail; it is shown with the caret at the start of its text and the
// focus where the composition asks for it.
#pragma once

#include "app/EditorLinks.h"
#include "app/logic/Compose.h"

class QWidget;

namespace velmaris {

class TMessageEditor;
class TTextView;

// The reader pane of a text viewer: its paragraphs and its selection, the
// columns counted in the displayed paragraph (prefix and text).
TReaderPane ReaderPaneOf(const TTextView& view);

// heldArea: the area whose exclusive lock the caller took for the editor
// (edit), else null. The composition's mail is handed over.
TMessageEditor* ShowComposition(TComposition& composition, QWidget* owner,
                                const TEditorLinks& links, const TLinkList* uplinks,
                                TArea* heldArea = nullptr);

}  // namespace velmaris
