#pragma once
// Rich text into and out of a Qt text document (the status box of an alert panel).

#include "rtf/RichText.h"

class QTextDocument;

namespace kestrova {

// Replaces the document's content; styles the runs leave unset take the document's defaults.
void LoadRichText(QTextDocument &document, const TRichText &text);
// The document's content; every run carries its size and colour explicitly, so that a file
// written from it looks the same elsewhere.
TRichText RichTextFromDocument(const QTextDocument &document);

} // namespace kestrova
